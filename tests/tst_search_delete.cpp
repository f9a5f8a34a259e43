// Search, reset and deletion on the main window, against a real contacts
// file: what the list, status panel 1 and the search box show afterwards,
// which boxes appear, and what is left in the stored table.
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/grid/DBGrid.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using txl::ui::ShownBox;

namespace {

// Stored order: name, sex, QQ, mobile, e-mail, address, group.
const char *const contactsSql = R"(
insert into data values ('张三', '男', '10001', '13812345678', 'zs@example.com', '北京市海淀区', '朋友');
insert into data values ('张三丰', '男', '10002', '13900001111', 'zsf@example.com', '武当山', '同事');
insert into data values ('李四', '女', '13899', '15013800000', 'ls@example.com', '上海市', '家人');
insert into data values ('王五', '男', '10004', '18600002222', '', '广州市', '一般');
insert into data values ('Tom Lee', '男', '10005', '17700003333', 'tom@example.com', 'Hong Kong', '朋友');
insert into data values ('百分之百', '女', '10006', '100%', '', '深圳市', '同学');
insert into data (姓名, 性别, 组名) values ('孙七', '男', '一般');
)";
const int contactCount = 7;

QStringList sortedNames(const QStringList &names)
{
    QStringList out = names;
    std::sort(out.begin(), out.end());
    return out;
}

// The names the grid shows, in its order.
QStringList gridNames(Tfrm_Main &window)
{
    QAbstractItemModel *model = window.DBGrid1->model();
    QStringList names;
    for (int r = 0; r < model->rowCount(); ++r)
        names << model->index(r, 0).data().toString();
    return names;
}

QStringList storedNames(const ContactsFixture &fixture)
{
    QStringList names;
    for (const QString &row : fixture.rows())
        names << row.section(QLatin1Char('|'), 0, 0);
    return sortedNames(names);
}

QStringList names(std::initializer_list<const char *> utf8)
{
    QStringList out;
    for (const char *n : utf8)
        out << QString::fromUtf8(n);
    return out;
}

const QStringList allNames = sortedNames(names({ "张三", "张三丰", "李四", "王五", "Tom Lee", "百分之百", "孙七" }));
// 孙七 has no mobile number at all.
const QStringList withMobile = sortedNames(names({ "张三", "张三丰", "李四", "王五", "Tom Lee", "百分之百" }));

void search(Tfrm_Main &window, int item, const QString &text)
{
    window.RadioGroup1->setItemIndex(item);
    window.Edit1->setText(text);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
}

void selectName(Tfrm_Main &window, const QString &name)
{
    const int row = int(gridNames(window).indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    QTest::mouseClick(window.DBGrid1->viewport(), Qt::LeftButton, Qt::NoModifier,
        window.DBGrid1->visualRect(window.DBGrid1->model()->index(row, 1)).center());
    QCOMPARE(Dm->addquery->fieldByName(QStringLiteral("姓名")), name);
}

} // namespace

class TestSearchDelete : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void search_data();
    void search();
    void searchStatement();
    void resetAfterSearch();
    void searchDatabaseError();

    void deleteAnsweredNo();
    void deleteFromSearchResult();
    void deleteLastRowThenEmptyList();
    void deleteWithClosedQuery_data();
    void deleteWithClosedQuery();
    void deleteRefusedByStore();

private:
    std::unique_ptr<ContactsFixture> makeFixture() const;
    std::unique_ptr<ContactsFixture> m_shared; // searches only read it
};

std::unique_ptr<ContactsFixture> TestSearchDelete::makeFixture() const
{
    auto fixture = std::make_unique<ContactsFixture>(0);
    fixture->exec(QString::fromUtf8(contactsSql));
    fixture->createDm();
    return fixture;
}

void TestSearchDelete::initTestCase()
{
    m_shared = makeFixture();
}

void TestSearchDelete::init()
{
    if (!Dm)
        m_shared->createDm();
}

void TestSearchDelete::search_data()
{
    QTest::addColumn<int>("item"); // 0 name, 1 telephone
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("listed"); // what the grid shows afterwards
    QTest::addColumn<int>("count"); // reported in panel 1; -1: panel untouched
    QTest::addColumn<QStringList>("boxes");

    const QStringList none;
    const QStringList noMatch { QStringLiteral("对不起!没有查到！") };
    QTest::newRow("name, part") << 0 << "张" << names({ "张三", "张三丰" }) << 2 << none;
    QTest::newRow("name, whole") << 0 << "张三丰" << names({ "张三丰" }) << 1 << none;
    QTest::newRow("name, trimmed") << 0 << "  张三\t" << names({ "张三", "张三丰" }) << 2 << none;
    QTest::newRow("name, ASCII without case") << 0 << "tom" << names({ "Tom Lee" }) << 1 << none;
    QTest::newRow("telephone, partial number") << 1 << "138" << names({ "张三", "李四" }) << 2 << none;
    QTest::newRow("telephone, whole number") << 1 << "13812345678" << names({ "张三" }) << 1 << none;
    // The QQ number holds 10001 and 13899, but only the mobile is searched.
    QTest::newRow("telephone, not the QQ column") << 1 << "10001" << allNames << 0 << noMatch;
    QTest::newRow("name, not the mobile column") << 0 << "138" << allNames << 0 << noMatch;
    QTest::newRow("no match") << 0 << "赵" << allNames << 0 << noMatch;
    // Spaces trim to nothing: "%%" matches every value that is not null.
    QTest::newRow("spaces, name") << 0 << "   " << allNames << contactCount << none;
    QTest::newRow("spaces, telephone") << 1 << " " << withMobile << contactCount - 1 << none;
    // Wildcards keep their meaning.
    QTest::newRow("wildcard _") << 0 << "张_" << names({ "张三", "张三丰" }) << 2 << none;
    QTest::newRow("wildcard %") << 1 << "%" << withMobile << contactCount - 1 << none;
    QTest::newRow("wildcard between") << 1 << "139%111" << names({ "张三丰" }) << 1 << none;
    QTest::newRow("empty text") << 0 << "" << allNames << -1 << QStringList { QStringLiteral("请你输入查询条件！") };
}

void TestSearchDelete::search()
{
    QFETCH(int, item);
    QFETCH(QString, text);
    QFETCH(QStringList, listed);
    QFETCH(int, count);
    QFETCH(QStringList, boxes);

    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString before = QStringLiteral("欢迎你使用本软件！");
    window.setPanelText(1, before);

    ::search(window, item, text);

    QCOMPARE(recorder.texts(), boxes);
    for (const ShownBox &box : recorder.boxes()) {
        QCOMPARE(box.kind, ShownBox::Notice);
        QCOMPARE(box.icon, txl::ui::Icon::Information);
        // The no-match notice is the one without a caption.
        QCOMPARE(box.caption, count == 0 ? QString() : QStringLiteral("提示"));
    }
    QCOMPARE(sortedNames(gridNames(window)), sortedNames(listed));
    QCOMPARE(Dm->addquery->recordCount(), int(listed.size()));
    if (count < 0) {
        QCOMPARE(window.panelText(1), before);
        QCOMPARE(window.Edit1->text(), text);
        QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));
    } else {
        QCOMPARE(window.panelText(1), QStringLiteral("总共查到%1条记录！").arg(count));
        QCOMPARE(window.Edit1->text(), QString());
    }
    // The radio group keeps its choice.
    QCOMPARE(window.RadioGroup1->itemIndex(), item);
    // The grid's current row is the query's.
    if (!listed.isEmpty())
        QCOMPARE(window.DBGrid1->currentRow(), Dm->addquery->recNo());
}

void TestSearchDelete::searchStatement()
{
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    ::search(window, 0, QStringLiteral("张"));
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data where 姓名 like :p0"));
    ::search(window, 1, QStringLiteral("186"));
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data where 手机号码 like :p0"));
    QCOMPARE(gridNames(window), QStringList { QStringLiteral("王五") });
    // A no-match search ends on the full list again.
    ::search(window, 1, QStringLiteral("999999"));
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));
    QVERIFY(recorder.boxes().size() == 1);
}

void TestSearchDelete::resetAfterSearch()
{
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    ::search(window, 0, QStringLiteral("张"));
    QCOMPARE(gridNames(window).size(), 2);
    window.Edit1->setText(QStringLiteral("typed"));

    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QCOMPARE(sortedNames(gridNames(window)), allNames);
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));
    // Reset leaves the panel and the search box alone.
    QCOMPARE(window.panelText(1), QStringLiteral("总共查到2条记录！"));
    QCOMPARE(window.Edit1->text(), QStringLiteral("typed"));
    QVERIFY(recorder.boxes().isEmpty());
}

void TestSearchDelete::searchDatabaseError()
{
    auto fixture = makeFixture();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.setPanelText(1, QStringLiteral("before"));
    // Another program replaces the table under the running window.
    fixture->exec(QStringLiteral("drop table data; create table data (x text);"));

    ::search(window, 0, QStringLiteral("张"));
    QCOMPARE(recorder.boxes().size(), 1);
    QCOMPARE(recorder.boxes().first().kind, ShownBox::ErrorReport);
    QVERIFY2(recorder.boxes().first().text.contains(QStringLiteral("姓名")), qPrintable(recorder.texts().first()));
    // Abandoned where it failed: panel and search box untouched, list empty.
    QCOMPARE(window.panelText(1), QStringLiteral("before"));
    QCOMPARE(window.Edit1->text(), QStringLiteral("张"));
    QCOMPARE(window.DBGrid1->model()->rowCount(), 0);
}

void TestSearchDelete::deleteAnsweredNo()
{
    auto fixture = makeFixture();
    txl::ui::BoxRecorder recorder;
    recorder.queueAnswer(false);
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectName(window, QStringLiteral("李四"));

    QTest::mouseClick(window.ToolButton3, Qt::LeftButton);
    QCOMPARE(recorder.boxes().size(), 1);
    const ShownBox question = recorder.boxes().first();
    QCOMPARE(question.kind, ShownBox::Question);
    QCOMPARE(question.text, QStringLiteral("你是否真的要删除此用户？"));
    QCOMPARE(question.caption, QStringLiteral("Information"));
    QCOMPARE(question.icon, txl::ui::Icon::Information);
    QCOMPARE(storedNames(*fixture), allNames);
    QCOMPARE(gridNames(window).size(), contactCount);
    QCOMPARE(Dm->addquery->fieldByName(QStringLiteral("姓名")), QStringLiteral("李四"));
}

void TestSearchDelete::deleteFromSearchResult()
{
    auto fixture = makeFixture();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ::search(window, 0, QStringLiteral("张"));
    selectName(window, QStringLiteral("张三丰"));
    recorder.clear();
    recorder.queueAnswer(true);

    window.N6->trigger(); // the main menu's entry
    QCOMPARE(recorder.boxes().size(), 1); // the question only
    QCOMPARE(gridNames(window), QStringList { QStringLiteral("张三") });
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data where 姓名 like :p0"));
    QCOMPARE(window.panelText(1), QStringLiteral("总共查到2条记录！"));
    QCOMPARE(window.DBGrid1->currentRow(), 0);
    QVERIFY(!storedNames(*fixture).contains(QStringLiteral("张三丰")));
    QCOMPARE(storedNames(*fixture).size(), contactCount - 1);

    window.BitBtn2Click();
    QVERIFY(!gridNames(window).contains(QStringLiteral("张三丰")));
    QCOMPARE(gridNames(window).size(), contactCount - 1);
}

void TestSearchDelete::deleteLastRowThenEmptyList()
{
    auto fixture = makeFixture();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    ::search(window, 1, QStringLiteral("186"));
    QCOMPARE(gridNames(window), QStringList { QStringLiteral("王五") });
    recorder.clear();
    recorder.queueAnswer(true);
    window.ToolButton3Click();
    QCOMPARE(window.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(window.DBGrid1->currentRow(), -1);
    QCOMPARE(storedNames(*fixture).size(), contactCount - 1);

    // On the empty list: the question first, then the notice; nothing else.
    recorder.clear();
    recorder.queueAnswer(true);
    window.ToolButton3Click();
    QCOMPARE(recorder.texts(),
        (QStringList { QStringLiteral("你是否真的要删除此用户？"), QStringLiteral("通讯录记录为空!") }));
    const ShownBox notice = recorder.boxes().at(1);
    QCOMPARE(notice.kind, ShownBox::Notice);
    QCOMPARE(notice.caption, QStringLiteral("提示"));
    QCOMPARE(notice.icon, txl::ui::Icon::Information);
    QCOMPARE(storedNames(*fixture).size(), contactCount - 1);

    // Answered No, the emptiness is never looked at.
    recorder.clear();
    recorder.queueAnswer(false);
    window.ToolButton3Click();
    QCOMPARE(recorder.texts(), QStringList { QStringLiteral("你是否真的要删除此用户？") });
}

void TestSearchDelete::deleteWithClosedQuery_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("yes") << true
                         << QStringList { QStringLiteral("你是否真的要删除此用户？"),
                                QStringLiteral("addquery: Cannot perform this operation on a closed dataset.") };
    QTest::newRow("no") << false << QStringList { QStringLiteral("你是否真的要删除此用户？") };
}

void TestSearchDelete::deleteWithClosedQuery()
{
    QFETCH(bool, yes);
    QFETCH(QStringList, boxes);

    ContactsFixture missing(-1);
    missing.createDm();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window; // start-up fails: the query stays closed
    QVERIFY(!Dm->addquery->isActive());
    recorder.clear();
    recorder.queueAnswer(yes);
    window.ToolButton3Click();
    QCOMPARE(recorder.texts(), boxes);
    if (yes)
        QCOMPARE(recorder.boxes().at(1).kind, ShownBox::ErrorReport);
}

void TestSearchDelete::deleteRefusedByStore()
{
    auto fixture = makeFixture();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectName(window, QStringLiteral("李四"));
    // Another program changes the row after it was read.
    fixture->exec(QStringLiteral("update data set 家庭住址 = '南京市' where 姓名 = '李四'"));
    recorder.queueAnswer(true);

    window.ToolButton3Click();
    QCOMPARE(recorder.boxes().size(), 2);
    QCOMPARE(recorder.boxes().at(1).kind, ShownBox::ErrorReport);
    QCOMPARE(recorder.boxes().at(1).text,
        QStringLiteral("Row cannot be located for deleting. Some values may have been changed since it was last "
                       "read."));
    QCOMPARE(storedNames(*fixture), allNames);
    QCOMPARE(gridNames(window).size(), contactCount);
    QVERIFY(gridNames(window).contains(QStringLiteral("李四")));
}

QTEST_MAIN(TestSearchDelete)
#include "tst_search_delete.moc"
