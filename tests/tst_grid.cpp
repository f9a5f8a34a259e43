// The data grid's column model: a proxy that picks, orders and titles the
// source's fields, kept consistent (QAbstractItemModelTester) through every
// change a source can make, and over the contacts query as the window uses it.
#include "TestSupport.h"

#include "platform/data/DataSource.h"
#include "platform/data/Query.h"
#include "platform/grid/DBGrid.h"
#include "store/Unit_Dm.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

using txl::ui::GridColumn;
using txl::ui::GridColumnsModel;

namespace {

const QList<GridColumn> gridColumns {
    { QStringLiteral("姓名"), QStringLiteral("姓名"), 20 }, { QStringLiteral("组名"), QStringLiteral("关系"), 50 },
    { QStringLiteral("手机号码"), QStringLiteral("手机号码"), 80 },
    { QStringLiteral("生日"), QStringLiteral("生日"), 40 }, // a field no source here has
};

// A plain item model that also moves rows and columns, told as moves.
class Source : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;

    // Moves row `from` to stand before row `to` (the rows as before the move).
    bool moveRowBefore(int from, int to)
    {
        if (!beginMoveRows(QModelIndex(), from, from, QModelIndex(), to))
            return false;
        QList<QStringList> rows = texts();
        rows.insert(to > from ? to - 1 : to, rows.takeAt(from));
        rewrite(rows, headers());
        endMoveRows();
        return true;
    }
    bool moveColumnBefore(int from, int to)
    {
        if (!beginMoveColumns(QModelIndex(), from, from, QModelIndex(), to))
            return false;
        QList<QStringList> rows = texts();
        QStringList titles = headers();
        const int at = to > from ? to - 1 : to;
        for (QStringList &row : rows)
            row.insert(at, row.takeAt(from));
        titles.insert(at, titles.takeAt(from));
        rewrite(rows, titles);
        endMoveColumns();
        return true;
    }

private:
    QList<QStringList> texts() const
    {
        QList<QStringList> rows;
        for (int r = 0; r < rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < columnCount(); ++c)
                row << item(r, c)->text();
            rows << row;
        }
        return rows;
    }
    QStringList headers() const
    {
        QStringList titles;
        for (int c = 0; c < columnCount(); ++c)
            titles << headerData(c, Qt::Horizontal).toString();
        return titles;
    }
    // The items stay where they are (the move is told already); their texts
    // take the new places.
    void rewrite(const QList<QStringList> &rows, const QStringList &titles)
    {
        const QSignalBlocker quiet(this);
        setHorizontalHeaderLabels(titles);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows.at(r).size(); ++c)
                item(r, c)->setText(rows.at(r).at(c));
    }
};

// A source in another order than the grid's, with a field the grid leaves
// out (电子邮件).
std::unique_ptr<Source> makeSource()
{
    auto source = std::make_unique<Source>(0, 4);
    source->setHorizontalHeaderLabels(
        { QStringLiteral("手机号码"), QStringLiteral("姓名"), QStringLiteral("电子邮件"), QStringLiteral("组名") });
    for (int r = 0; r < 5; ++r) {
        QList<QStandardItem *> row;
        for (const char *prefix : { "m", "n", "e", "g" })
            row << new QStandardItem(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(r));
        source->appendRow(row);
    }
    return source;
}

// What the grid must show: each grid column the cell of its field, by name.
QStringList expectedCells(const QAbstractItemModel &source)
{
    QStringList out;
    for (int r = 0; r < source.rowCount(); ++r) {
        QStringList row;
        for (const GridColumn &c : gridColumns) {
            QString cell;
            for (int s = 0; s < source.columnCount(); ++s)
                if (source.headerData(s, Qt::Horizontal).toString() == c.field)
                    cell = source.index(r, s).data().toString();
            row << cell;
        }
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

QStringList shownCells(const QAbstractItemModel &grid)
{
    QStringList out;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid.columnCount(); ++c)
            row << grid.index(r, c).data().toString();
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
private slots:
    void columnsByName();
    void sourceChanges_data();
    void sourceChanges();
    void changedCells_data();
    void changedCells();
    void overTheContactsQuery();
};

void TestGrid::columnsByName()
{
    auto source = makeSource();
    GridColumnsModel grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setColumns(gridColumns);
    grid.setSourceModel(source.get());

    QCOMPARE(grid.columnCount(), 4);
    QCOMPARE(grid.rowCount(), 5);
    QStringList titles;
    for (int c = 0; c < grid.columnCount(); ++c)
        titles << grid.headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles,
        QStringList(
            { QStringLiteral("姓名"), QStringLiteral("关系"), QStringLiteral("手机号码"), QStringLiteral("生日") }));
    QCOMPARE(shownCells(grid).first(), QStringLiteral("n0|g0|m0|"));
    QCOMPARE(shownCells(grid), expectedCells(*source));
    // Both ways between grid and source cells; the absent field maps nowhere.
    QCOMPARE(grid.mapToSource(grid.index(2, 1)), source->index(2, 3));
    QCOMPARE(grid.mapFromSource(source->index(2, 3)), grid.index(2, 1));
    QVERIFY(!grid.mapToSource(grid.index(2, 3)).isValid());
    QVERIFY(!grid.mapFromSource(source->index(2, 2)).isValid());
    QVERIFY(!(grid.flags(grid.index(0, 0)) & Qt::ItemIsEditable));

    grid.setSourceModel(nullptr);
    QCOMPARE(grid.rowCount(), 0);
    QCOMPARE(grid.columnCount(), 4);
}

void TestGrid::sourceChanges_data()
{
    QTest::addColumn<QString>("change");
    for (const char *c : { "reset", "insert rows", "remove rows", "move rows", "sort", "insert column",
             "remove a shown column", "move a column", "rename a column", "set a cell" })
        QTest::newRow(c) << QString::fromLatin1(c);
}

// Whatever the source does, the grid stays a consistent model that shows
// each field under its own title.
void TestGrid::sourceChanges()
{
    QFETCH(QString, change);
    auto source = makeSource();
    GridColumnsModel grid;
    grid.setColumns(gridColumns);
    grid.setSourceModel(source.get());
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QPersistentModelIndex kept(grid.index(3, 0)); // n3

    if (change == u"reset") {
        source->clear();
        source->setHorizontalHeaderLabels({ QStringLiteral("组名"), QStringLiteral("姓名") });
        source->appendRow({ new QStandardItem(QStringLiteral("g9")), new QStandardItem(QStringLiteral("n9")) });
    } else if (change == u"insert rows") {
        source->insertRow(1,
            { new QStandardItem(QStringLiteral("mx")), new QStandardItem(QStringLiteral("nx")),
                new QStandardItem(QStringLiteral("ex")), new QStandardItem(QStringLiteral("gx")) });
    } else if (change == u"remove rows") {
        source->removeRows(0, 2);
    } else if (change == u"move rows") {
        QVERIFY(source->moveRowBefore(3, 0));
    } else if (change == u"sort") {
        source->sort(1, Qt::DescendingOrder);
    } else if (change == u"insert column") {
        source->insertColumn(0, { new QStandardItem(QStringLiteral("x")) });
        source->setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("QQ号码")));
    } else if (change == u"remove a shown column") {
        source->removeColumn(3); // 组名
    } else if (change == u"move a column") {
        QVERIFY(source->moveColumnBefore(1, 4)); // 姓名 last
    } else if (change == u"rename a column") {
        source->setHorizontalHeaderItem(2, new QStandardItem(QStringLiteral("生日"))); // 电子邮件 becomes 生日
    } else {
        source->setData(source->index(4, 0), QStringLiteral("13800000000"));
    }

    QCOMPARE(grid.columnCount(), 4);
    QCOMPARE(shownCells(grid), expectedCells(*source));
    // A row kept by a view follows its row through moves and sorts.
    if (change == u"move rows" || change == u"sort" || change == u"insert rows" || change == u"remove rows") {
        QVERIFY(kept.isValid());
        QCOMPARE(kept.data().toString(), QStringLiteral("n3"));
    }
}

void TestGrid::changedCells_data()
{
    QTest::addColumn<int>("sourceFirst");
    QTest::addColumn<int>("sourceLast");
    QTest::addColumn<QList<int>>("told"); // first and last grid column told; empty: none
    QTest::newRow("mobile") << 0 << 0 << QList<int> { 2, 2 };
    QTest::newRow("e-mail, not shown") << 2 << 2 << QList<int> {};
    QTest::newRow("whole row") << 0 << 3 << QList<int> { 0, 2 };
    QTest::newRow("name to e-mail") << 1 << 2 << QList<int> { 0, 0 };
}

// A changed source cell is told for the grid column showing it, so the view
// repaints what changed and nothing more.
void TestGrid::changedCells()
{
    QFETCH(int, sourceFirst);
    QFETCH(int, sourceLast);
    QFETCH(QList<int>, told);
    auto source = makeSource();
    GridColumnsModel grid;
    grid.setColumns(gridColumns);
    grid.setSourceModel(source.get());
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);

    emit source->dataChanged(source->index(1, sourceFirst), source->index(3, sourceLast));
    if (told.isEmpty()) {
        QCOMPARE(changed.size(), 0);
        return;
    }
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), grid.index(1, told.at(0)));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), grid.index(3, told.at(1)));
}

// The window's own pairing: the contacts query, its data source, the grid.
void TestGrid::overTheContactsQuery()
{
    ContactsFixture fixture(12);
    fixture.createDm();
    txl::ui::DBGrid view;
    view.setColumns(gridColumns);
    view.setDataSource(Dm->addsource);
    Dm->reloadAll();
    QAbstractItemModelTester tester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    txl::Query *query = Dm->addquery;
    QCOMPARE(shownCells(*view.model()), expectedCells(*Dm->addsource));
    QCOMPARE(view.model()->rowCount(), 12);

    // Modify a row: the grid shows the new value.
    query->setRecNo(4);
    query->edit();
    query->setFieldByName(QStringLiteral("组名"), QStringLiteral("同学"));
    query->post();
    QCOMPARE(view.model()->index(4, 1).data().toString(), QStringLiteral("同学"));

    // Delete a row: the grid loses it and marks the data set's current row.
    const QString next = query->value(6, query->fieldIndex(QStringLiteral("姓名")));
    query->setRecNo(5);
    query->deleteRecord();
    QCOMPARE(view.model()->rowCount(), 11);
    QCOMPARE(view.model()->index(5, 0).data().toString(), next);
    QCOMPARE(view.currentRow(), query->recNo());

    // Reload, then close: a reset each time.
    Dm->reloadAll();
    QCOMPARE(shownCells(*view.model()), expectedCells(*Dm->addsource));
    query->close();
    QCOMPARE(view.model()->rowCount(), 0);
    QCOMPARE(view.currentRow(), -1);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
