// The data layer and the contacts file, against real encrypted files.
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/DataSource.h"
#include "platform/data/PageKey.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"
#include "store/samples/Samples.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <openssl/evp.h>

using txl::DataError;
using txl::Query;

namespace {

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const DataError &e) {
        return e.message();
    }
    return QString();
}

const QString kInsert = QStringLiteral("insert into data values('%1','%2','%3','%4','%5','%6','%7')");

} // namespace

class TestData : public QObject {
    Q_OBJECT
private slots:
    void openAndRead();
    void parameters();
    void closedQueryMessage();
    void openFailures_data();
    void openFailures();
    void lockedFileIsWaitedForThenReported();
    void openAheadGivesTheSameOutcome_data();
    void openAheadGivesTheSameOutcome();
    void openAheadForAnotherFileOrKeyIsDropped();
    void pageKeyAsTheLibraryDerivesIt_data();
    void pageKeyAsTheLibraryDerivesIt();
    void editPostAndDeleteReachTheFile();
    void optimisticConflictWritesNothing();
    void identicalRowsOnlyOneChanged();
    void walkAndDisabledControls();
    void modelFollowsQuery();
    void twoConnectionsOnOneFile();
    void tool();
    void toolMakesPrivateFiles();
    void onlySqlcipherIsLinked();
    void samplesStayOutOfTheWindow();
};

void TestData::openAndRead()
{
    ContactsFixture fx(0);
    TDm *dm = fx.createDm();
    QVERIFY(!dm->addquery->isActive());
    QVERIFY(!dm->scon->isOpen()); // opens with the first query open
    reload(dm->addquery);
    QVERIFY(dm->scon->isOpen());
    QCOMPARE(dm->addquery->recordCount(), 0);
    QVERIFY(dm->addquery->eof());
    QCOMPARE(dm->addquery->fieldByName(QStringLiteral("姓名")), QString());

    fx.exec(kInsert.arg(QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("12345"),
        QStringLiteral("13800000000"), QStringLiteral("a@b.c"), QStringLiteral("北京"), QStringLiteral("朋友")));
    fx.exec(kInsert.arg(QStringLiteral("李四"), QStringLiteral("女"), QString(), QStringLiteral("139"), QString(),
        QString(), QStringLiteral("同事")));
    // Changes by others show only after the next open.
    QCOMPARE(dm->addquery->recordCount(), 0);
    reload(dm->addquery);
    Query *q = dm->addquery;
    QCOMPARE(q->recordCount(), 2);
    QCOMPARE(q->fieldCount(), 7);
    QCOMPARE(q->fieldName(6), QStringLiteral("组名"));
    QCOMPARE(q->recNo(), 0);
    QCOMPARE(q->fieldByName(QStringLiteral("姓名")), QStringLiteral("张三"));
    QCOMPARE(q->fieldByName(QStringLiteral("qq号码")), QStringLiteral("12345")); // names regardless of case
    QCOMPARE(q->field(3), QStringLiteral("13800000000"));
    q->next();
    QCOMPARE(q->field(0), QStringLiteral("李四"));
    QVERIFY(!q->eof());
    q->next(); // past the last row: eof, the last row stays current
    QVERIFY(q->eof());
    QCOMPARE(q->recNo(), 1);
    QVERIFY(
        errorOf([&] { q->fieldByName(QStringLiteral("nope")); }).contains(QStringLiteral("Field 'nope' not found")));
}

void TestData::parameters()
{
    ContactsFixture fx(0);
    TDm *dm = fx.createDm();
    Query *q = dm->addquery;
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("insert into data  values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
    const QStringList values { QStringLiteral("O'Brien"), QString(), QStringLiteral(":p1"),
        QStringLiteral("1'); drop table data;--"), QStringLiteral("x@y"), QStringLiteral("地址"),
        QStringLiteral("朋友") };
    for (int i = 0; i < 7; ++i)
        q->setParam(QStringLiteral("p%1").arg(i), values.at(i));
    q->execSql();
    QVERIFY(!q->isActive());
    QCOMPARE(fx.rows(), QStringList { values.join(QLatin1Char('|')) });

    QVERIFY(errorOf([&] {
        q->setParam(QStringLiteral("p7"), QString());
    }).contains(QStringLiteral("Parameter 'p7' not found")));
    // A parameter inside a string literal is text, not a parameter.
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 姓名 like :p0 or 姓名 = ':p9'"));
    QVERIFY(!errorOf([&] { q->setParam(QStringLiteral("p9"), QString()); }).isEmpty());
    q->setParam(QStringLiteral("p0"), QStringLiteral("%'B%"));
    q->open();
    QCOMPARE(q->recordCount(), 1);
    // A statement that gives no rows cannot be opened, and is not run.
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("delete from data"));
    QVERIFY(!errorOf([&] { q->open(); }).isEmpty());
    QCOMPARE(fx.rows().size(), 1);
    // Clearing the statement forgets the parameters.
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 姓名 = :p0"));
    q->open();
    QCOMPARE(q->recordCount(), 0);
}

void TestData::closedQueryMessage()
{
    ContactsFixture fx(3);
    TDm *dm = fx.createDm();
    const QString expected = QStringLiteral("addquery: Cannot perform this operation on a closed dataset");
    Query *q = dm->addquery;
    const QList<std::function<void()>> ops {
        [&] { q->recordCount(); },
        [&] { q->first(); },
        [&] { q->next(); },
        [&] { q->fieldByName(QStringLiteral("姓名")); },
        [&] { q->edit(); },
        [&] { q->post(); },
        [&] { q->deleteRecord(); },
        [&] { q->recNo(); },
    };
    for (const auto &op : ops)
        QCOMPARE(errorOf(op), expected);
    // A closed query is empty to views and never throws there.
    QCOMPARE(q->value(0, 0), QString());
    q->close();
}

void TestData::openFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("no DataBase folder") << "none"
                                        << "Could not find file '%1'.";
    QTest::newRow("folder without file") << "folder"
                                         << "Could not find file '%1'.";
    QTest::newRow("wrong password") << "password"
                                    << "Not a valid password";
    QTest::newRow("plain sqlite file") << "plain"
                                       << "Unrecognized database format '%1'";
    QTest::newRow("text file") << "text"
                               << "Unrecognized database format '%1'";
    QTest::newRow("empty file") << "empty"
                                << "Unrecognized database format '%1'";
}

void TestData::openFailures()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    ContactsFixture fx(-1);
    const QString path = fx.databasePath();
    if (setup != QStringLiteral("none"))
        QDir().mkpath(QFileInfo(path).absolutePath());
    if (setup == QStringLiteral("password")) {
        txl::Connection::createDatabase(path, QStringLiteral("12345678901"), ContactFile::schemaSql());
    } else if (setup == QStringLiteral("plain") || setup == QStringLiteral("text")
        || setup == QStringLiteral("empty")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (setup == QStringLiteral("plain"))
            f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4096 - 16, '\0'));
        else if (setup == QStringLiteral("text"))
            f.write("name,phone\n张三,138\n");
    }
    const bool existed = QFile::exists(path);
    const QByteArray before = existed ? [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }() : QByteArray();

    TDm *dm = fx.createDm();
    const QString error = errorOf([&] { reload(dm->addquery); });
    QCOMPARE(error, message.contains(QStringLiteral("%1")) ? message.arg(path) : message);
    QVERIFY(!dm->addquery->isActive());
    QVERIFY(!dm->scon->isOpen());
    // Opening never makes a file or a folder, and leaves a foreign file alone.
    QCOMPARE(QFile::exists(path), existed);
    if (setup == QStringLiteral("none"))
        QVERIFY(!QDir(fx.dir()).exists(QStringLiteral("DataBase")));
    if (existed) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
}

void TestData::lockedFileIsWaitedForThenReported()
{
    ContactsFixture fx(2);
    txl::Connection holder;
    holder.setDatabaseFile(fx.databasePath());
    holder.setPassword(ContactFile::password());
    holder.executeScript(QStringLiteral("begin exclusive;"));

    TDm *dm = fx.createDm();
    dm->scon->setBusyTimeout(300);
    QElapsedTimer timer;
    timer.start();
    const QString error = errorOf([&] { reload(dm->addquery); });
    QVERIFY2(timer.elapsed() >= 250, "a lock is waited for before it is reported");
    QVERIFY2(error.contains(QStringLiteral("already in use")), qPrintable(error));

    holder.executeScript(QStringLiteral("commit;"));
    reload(dm->addquery);
    QCOMPARE(dm->addquery->recordCount(), 2);
}

// The open begun on a worker ends as the connection's own open would: the
// same rows or the same message, with the lock waited for on the worker.
// Taken once: the open after a failed one tries the file afresh.
void TestData::openAheadGivesTheSameOutcome_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("contacts") << "ok";
    QTest::newRow("no DataBase folder") << "none";
    QTest::newRow("wrong password") << "password";
    QTest::newRow("plain sqlite file") << "plain";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("locked") << "locked";
}

void TestData::openAheadGivesTheSameOutcome()
{
    QFETCH(QString, setup);
    ContactsFixture fx(setup == QStringLiteral("ok") || setup == QStringLiteral("locked") ? 3 : -1);
    const QString path = fx.databasePath();
    if (setup != QStringLiteral("none"))
        QDir().mkpath(QFileInfo(path).absolutePath());
    if (setup == QStringLiteral("password"))
        txl::Connection::createDatabase(path, QStringLiteral("12345678901"), ContactFile::schemaSql());
    if (setup == QStringLiteral("plain") || setup == QStringLiteral("empty")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (setup == QStringLiteral("plain"))
            f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4096 - 16, '\0'));
    }
    txl::Connection holder;
    if (setup == QStringLiteral("locked")) {
        holder.setDatabaseFile(path);
        holder.setPassword(ContactFile::password());
        holder.executeScript(QStringLiteral("begin exclusive;"));
    }
    const int busyMs = 300;
    // Each way: the first open's message (empty: opened) and the rows read.
    auto outcome = [&](std::unique_ptr<txl::OpeningAhead> ahead) {
        txl::Connection c;
        c.setDatabaseFile(ContactFile::relativePath());
        c.setPassword(ContactFile::password());
        c.setBusyTimeout(busyMs);
        c.takeOpenFrom(std::move(ahead));
        Query q;
        q.setObjectName(QStringLiteral("q"));
        q.setConnection(&c);
        q.addSql(QStringLiteral("select 姓名 from data"));
        QStringList seen { errorOf([&] { q.open(); }) };
        for (int r = 0; q.isActive() && r < q.recordCount(); ++r)
            seen << q.value(r, 0);
        return seen;
    };
    const QStringList inLine = outcome(nullptr);
    QElapsedTimer timer;
    timer.start();
    auto ahead = std::make_unique<txl::OpeningAhead>(ContactFile::relativePath(), ContactFile::password(), busyMs);
    QCOMPARE(outcome(std::move(ahead)), inLine);
    if (setup == QStringLiteral("locked")) {
        QVERIFY2(timer.elapsed() >= busyMs - 50, "the worker waits for the lock as an open does");
        QVERIFY2(inLine.value(0).contains(QStringLiteral("already in use")), qPrintable(inLine.value(0)));
    }
    if (setup == QStringLiteral("ok"))
        QCOMPARE(inLine.size(), 4);

    // A failure is reported once; the next open looks at the file again.
    if (setup != QStringLiteral("none") && setup != QStringLiteral("locked"))
        return;
    txl::Connection c;
    c.setDatabaseFile(ContactFile::relativePath());
    c.setPassword(ContactFile::password());
    c.setBusyTimeout(busyMs);
    c.takeOpenFrom(std::make_unique<txl::OpeningAhead>(ContactFile::relativePath(), ContactFile::password(), busyMs));
    QVERIFY(!errorOf([&] { c.open(); }).isEmpty());
    if (setup == QStringLiteral("none"))
        samples::createContactsFile(fx.dir(), 2);
    else
        holder.executeScript(QStringLiteral("commit;"));
    c.open();
    QVERIFY(c.isOpen());
}

// An open begun for another file or with another key is not taken: the
// connection opens its own file with its own password, and the handle the
// worker made is closed (the leak check of the sanitizer build sees it).
void TestData::openAheadForAnotherFileOrKeyIsDropped()
{
    ContactsFixture own(2);
    ContactsFixture other(5);
    txl::Connection::createDatabase(QDir(own.dir()).absoluteFilePath(QStringLiteral("keyed.db")),
        QStringLiteral("12345678901"), ContactFile::schemaSql());
    struct Case {
        QString aheadPath;
        QString aheadPassword;
        QString path;
        QString password;
        int rows; // -1: the open fails with the wrong key
    };
    const QString keyed = QDir(own.dir()).absoluteFilePath(QStringLiteral("keyed.db"));
    const Case cases[] = {
        { other.databasePath(), ContactFile::password(), own.databasePath(), ContactFile::password(), 2 },
        { keyed, ContactFile::password(), keyed, QStringLiteral("12345678901"), 0 },
        { keyed, QStringLiteral("12345678901"), keyed, ContactFile::password(), -1 },
    };
    for (const Case &k : cases) {
        txl::Connection c;
        c.setDatabaseFile(k.path);
        c.setPassword(k.password);
        c.takeOpenFrom(std::make_unique<txl::OpeningAhead>(k.aheadPath, k.aheadPassword));
        const QString error = errorOf([&] { c.open(); });
        if (k.rows < 0) {
            QCOMPARE(error, QStringLiteral("Not a valid password"));
            continue;
        }
        QCOMPARE(error, QString());
        Query q;
        q.setConnection(&c);
        q.addSql(QStringLiteral("select * from data"));
        q.open();
        QCOMPARE(q.recordCount(), k.rows);
    }
}

// The page key derived in our own loop is the one OpenSSL's PBKDF2 gives
// with SQLCipher 3's settings: passwords short, empty, Chinese, and longer
// than a SHA-1 block (hashed first), on the salt of a real file.
void TestData::pageKeyAsTheLibraryDerivesIt_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("built-in") << ContactFile::password().toUtf8();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("chinese") << QStringLiteral("通讯录Pa55-word").toUtf8();
    QTest::newRow("one block") << QByteArray(64, 'k');
    QTest::newRow("longer than a block") << QByteArray(65, 'k');
    QTest::newRow("long") << QStringLiteral("很长的密码").repeated(20).toUtf8();
}

void TestData::pageKeyAsTheLibraryDerivesIt()
{
    QFETCH(QByteArray, password);
    ContactsFixture fx(0);
    QFile file(fx.databasePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray salt = file.read(txl::kPageKeySaltBytes);
    QCOMPARE(salt.size(), txl::kPageKeySaltBytes);
    unsigned char expected[32];
    QVERIFY(PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()), 64000, sizeof expected,
                expected)
        == 1);
    const QByteArray derived = txl::derivePageKey(password, salt);
    QCOMPARE(derived.toHex(), QByteArray(reinterpret_cast<const char *>(expected), sizeof expected).toHex());

    // Given as the raw key it opens the file (SQLCipher takes "x'<hex>'" as
    // the page key itself): the form the fast open hands the library.
    if (password == ContactFile::password().toUtf8()) {
        txl::Connection c;
        c.setDatabaseFile(fx.databasePath());
        c.setPassword(QStringLiteral("x'%1'").arg(QString::fromLatin1(derived.toHex())));
        c.open();
        QVERIFY(c.isOpen());
    }
}

void TestData::editPostAndDeleteReachTheFile()
{
    ContactsFixture fx(0);
    fx.exec(kInsert.arg(QStringLiteral("甲"), QStringLiteral("男"), QStringLiteral("1"), QStringLiteral("2"),
        QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("朋友")));
    fx.exec(kInsert.arg(QStringLiteral("乙"), QStringLiteral("女"), QStringLiteral("5"), QStringLiteral("6"),
        QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("家人")));
    TDm *dm = fx.createDm();
    Query *q = dm->addquery;
    reload(q);
    q->setRecNo(1);
    q->edit();
    q->setField(3, QStringLiteral("13912345678"));
    q->setField(6, QStringLiteral("同事"));
    QCOMPARE(q->value(1, 3), QStringLiteral("13912345678")); // the grid shows the edit
    QVERIFY(fx.rows().contains(QStringLiteral("乙|女|5|6|7|8|家人"))); // not stored before post
    q->post();
    QCOMPARE(q->state(), Query::State::Browse);
    QCOMPARE(fx.rows(),
        (QStringList { QStringLiteral("甲|男|1|2|3|4|朋友"), QStringLiteral("乙|女|5|13912345678|7|8|同事") }));

    // cancel forgets the edit buffer
    q->edit();
    q->setField(1, QStringLiteral("男"));
    q->cancel();
    QCOMPARE(q->field(1), QStringLiteral("女"));

    QVERIFY(!errorOf([&] { q->setField(1, QString()); }).isEmpty()); // not editing

    q->first();
    q->deleteRecord();
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(q->field(0), QStringLiteral("乙"));
    QCOMPARE(fx.rows(), QStringList { QStringLiteral("乙|女|5|13912345678|7|8|同事") });
    q->deleteRecord();
    QCOMPARE(q->recordCount(), 0);
    QCOMPARE(q->recNo(), -1);
    QVERIFY(fx.rows().isEmpty());
    QVERIFY(!errorOf([&] { q->deleteRecord(); }).isEmpty());

    // A narrowed result writes to the table too.
    fx.exec(kInsert.arg(QStringLiteral("丙"), QString(), QString(), QStringLiteral("138"), QString(), QString(),
        QStringLiteral("一般")));
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 手机号码 like :p0"));
    q->setParam(QStringLiteral("p0"), QStringLiteral("%38%"));
    q->open();
    q->edit();
    q->setField(5, QStringLiteral("上海"));
    q->post();
    QCOMPARE(fx.rows(), QStringList { QStringLiteral("丙|||138||上海|一般") });
}

void TestData::optimisticConflictWritesNothing()
{
    ContactsFixture fx(0);
    fx.exec(kInsert.arg(QStringLiteral("甲"), QStringLiteral("男"), QStringLiteral("1"), QStringLiteral("2"),
        QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("朋友")));
    TDm *dm = fx.createDm();
    Query *q = dm->addquery;
    reload(q);
    fx.exec(QStringLiteral("update data set 家庭住址 = '另一个程序写的' where 姓名 = '甲'"));
    q->edit();
    q->setField(3, QStringLiteral("999"));
    const QString error = errorOf([&] { q->post(); });
    QVERIFY2(error.startsWith(QStringLiteral("Row cannot be located for updating")), qPrintable(error));
    QCOMPARE(q->state(), Query::State::Edit); // confirming again retries
    QCOMPARE(fx.rows(), QStringList { QStringLiteral("甲|男|1|2|3|另一个程序写的|朋友") });
    q->cancel();

    QVERIFY(errorOf([&] { q->deleteRecord(); }).startsWith(QStringLiteral("Row cannot be located for deleting")));
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(fx.rows().size(), 1);

    fx.exec(QStringLiteral("delete from data"));
    q->edit();
    q->setField(3, QStringLiteral("999"));
    QVERIFY(!errorOf([&] { q->post(); }).isEmpty());
    QVERIFY(fx.rows().isEmpty()); // not written back as a new row
}

void TestData::identicalRowsOnlyOneChanged()
{
    ContactsFixture fx(0);
    for (int i = 0; i < 3; ++i)
        fx.exec(QStringLiteral("insert into data values('同名', null, '', '1', '', '', '朋友')"));
    TDm *dm = fx.createDm();
    Query *q = dm->addquery;
    reload(q);
    QVERIFY(q->isNull(0, 1));
    q->setRecNo(1);
    q->edit();
    q->setField(2, QStringLiteral("777"));
    q->post();
    QCOMPARE(fx.rows(QStringLiteral("QQ号码 = '777'")).size(), 1);
    QCOMPARE(fx.rows(QStringLiteral("性别 is null")).size(), 3); // null matched, untouched
    q->deleteRecord();
    QCOMPARE(fx.rows().size(), 2);
    QCOMPARE(fx.rows(QStringLiteral("QQ号码 = '777'")).size(), 0);
}

void TestData::walkAndDisabledControls()
{
    ContactsFixture fx(30);
    TDm *dm = fx.createDm();
    Query *q = dm->addquery;
    reload(q);
    QSignalSpy moves(q, &Query::currentRowChanged);
    q->disableControls();
    int seen = 0;
    for (q->first(); !q->eof(); q->next())
        ++seen;
    QCOMPARE(seen, 30);
    QCOMPARE(moves.count(), 0);
    q->enableControls();
    QCOMPARE(moves.count(), 1);
    QCOMPARE(moves.last().at(0).toInt(), 29);
    QCOMPARE(q->recNo(), 29);

    const quint64 before = q->generation();
    reload(q);
    QVERIFY(q->generation() != before);
}

void TestData::modelFollowsQuery()
{
    ContactsFixture fx(20);
    TDm *dm = fx.createDm();
    txl::DataSource *source = dm->addsource;
    QAbstractItemModelTester tester(source, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(source->rowCount(), 0);
    reload(dm->addquery);
    QCOMPARE(source->rowCount(), 20);
    QCOMPARE(source->columnCount(), 7);
    QCOMPARE(source->headerData(0, Qt::Horizontal).toString(), QStringLiteral("姓名"));
    QCOMPARE(source->data(source->index(3, 0)).toString(), dm->addquery->value(3, 0));

    // A cell shows the first line of a value, by the rule the report prints
    // with; editing sees the whole value.
    for (const QString &address : { QStringLiteral("上海\n浦东"), QStringLiteral("上海\r\n浦东"),
             QStringLiteral("上海\r浦东"), QStringLiteral("上海\u2028浦东") }) {
        dm->addquery->edit();
        dm->addquery->setFieldByName(QStringLiteral("家庭住址"), address);
        const QModelIndex cell
            = source->index(dm->addquery->recNo(), dm->addquery->fieldIndex(QStringLiteral("家庭住址")));
        QCOMPARE(source->data(cell).toString(), QStringLiteral("上海"));
        QCOMPARE(source->data(cell, Qt::EditRole).toString(), address);
        dm->addquery->cancel();
    }

    QSignalSpy current(source, &txl::DataSource::currentRowChanged);
    source->setCurrentRow(5);
    QCOMPARE(dm->addquery->recNo(), 5);
    dm->addquery->setRecNo(7);
    QCOMPARE(current.last().at(0).toInt(), 7);
    QCOMPARE(source->currentRow(), 7);

    const QString eighth = source->data(source->index(8, 0)).toString();
    dm->addquery->deleteRecord();
    QCOMPARE(source->rowCount(), 19);
    QCOMPARE(source->data(source->index(7, 0)).toString(), eighth);

    dm->addquery->edit();
    QSignalSpy changed(source, &QAbstractItemModel::dataChanged);
    dm->addquery->setField(5, QStringLiteral("第一行\n第二行"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(source->data(source->index(7, 5)).toString(), QStringLiteral("第一行"));
    dm->addquery->cancel();

    dm->addquery->close();
    QCOMPARE(source->rowCount(), 0);
    QCOMPARE(source->currentRow(), -1);
    source->setCurrentRow(3); // harmless on a closed query
}

void TestData::twoConnectionsOnOneFile()
{
    ContactsFixture fx(5);
    TDm first;
    TDm second;
    reload(first.addquery);
    reload(second.addquery);
    first.addquery->deleteRecord();
    QCOMPARE(second.addquery->recordCount(), 5); // static result
    reload(second.addquery);
    QCOMPARE(second.addquery->recordCount(), 4);
    Dm = nullptr;
}

void TestData::tool()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    QTemporaryDir dir;
    QProcess p;
    p.start(tool, { QStringLiteral("create"), QStringLiteral("--sample"), QStringLiteral("250"), dir.path() });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);

    const QString path = QDir(dir.path()).absoluteFilePath(ContactFile::relativePath());
    txl::Connection c;
    c.setDatabaseFile(path);
    c.setPassword(ContactFile::password());
    Query q;
    q.setObjectName(QStringLiteral("q"));
    q.setConnection(&c);
    q.addSql(
        QStringLiteral("select count(*), count(distinct 姓名), count(distinct 性别), count(distinct 组名), "
                       "min(length(手机号码)), max(length(手机号码)), min(length(姓名)), max(length(姓名)) from data"));
    q.open();
    QCOMPARE(q.field(0).toInt(), 250);
    QCOMPARE(q.field(1).toInt(), 250); // names are unique
    QCOMPARE(q.field(2).toInt(), 2);
    QCOMPARE(q.field(3).toInt(), 7);
    QCOMPARE(q.field(4), QStringLiteral("11"));
    QCOMPARE(q.field(5), QStringLiteral("11"));
    QVERIFY(q.field(6).toInt() >= 2 && q.field(7).toInt() <= 4);

    // The usage text shows the command that opens such a file with the
    // sqlcipher shell; where that shell is installed, the command works.
    p.start(tool, {});
    QVERIFY(p.waitForFinished(60000));
    const QString usage = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpression shown(QStringLiteral("\"(PRAGMA key='[^']*'; .* select \\* from data;)\""));
    const QRegularExpressionMatch command = shown.match(usage);
    QVERIFY2(command.hasMatch(), qPrintable(usage));
    QVERIFY(command.captured(1).startsWith(QStringLiteral("PRAGMA key='%1';").arg(ContactFile::password())));
    QVERIFY(command.captured(1).contains(txl::Connection::cipherPragmas()));
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
    if (!shell.isEmpty()) {
        QProcess sqlcipher;
        sqlcipher.start(shell, { path, command.captured(1) });
        QVERIFY(sqlcipher.waitForFinished(60000));
        const QByteArray listed = sqlcipher.readAllStandardOutput();
        QCOMPARE(listed.count('\n'), 250);
    }

    // Refuses an existing file and leaves it as it was.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    p.start(tool, { QStringLiteral("create"), dir.path() });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("exists already"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);

    // The same count gives the same contacts.
    QTemporaryDir other;
    p.start(tool, { QStringLiteral("create"), QStringLiteral("--sample"), QStringLiteral("250"), other.path() });
    QVERIFY(p.waitForFinished(60000));
    ContactsFixture a(-1);
    Q_UNUSED(a);
    auto dump = [](const QString &file) {
        txl::Connection con;
        con.setDatabaseFile(file);
        con.setPassword(ContactFile::password());
        Query all;
        all.setConnection(&con);
        all.addSql(QStringLiteral("select * from data"));
        all.open();
        QStringList out;
        for (int r = 0; r < all.recordCount(); ++r)
            for (int col = 0; col < 7; ++col)
                out << all.value(r, col);
        return out;
    };
    QCOMPARE(dump(QDir(other.path()).absoluteFilePath(ContactFile::relativePath())), dump(path));
}

void TestData::toolMakesPrivateFiles()
{
    // The built-in password is no secret: only the file's mode keeps other
    // local users out, whatever the umask.
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    useUsualUmask();
    QTemporaryDir home;
    QVERIFY(QFile::setPermissions(home.path(), QFile::permissions(home.path()) | QFileDevice::ReadOther));
    const QString before = permissionBits(home.path());
    const QString dir = home.filePath(QStringLiteral(".local/share/tongxunlu"));
    QProcess p;
    p.start(tool, { QStringLiteral("create"), QStringLiteral("--sample"), QStringLiteral("3"), dir });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("anyone who has the file can read it")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("tongxunlu-db passwd")), qPrintable(out));

    QCOMPARE(permissionBits(QDir(dir).filePath(ContactFile::relativePath())), QStringLiteral("600"));
    for (const char *folder : { ".local", ".local/share", ".local/share/tongxunlu", ".local/share/tongxunlu/DataBase" })
        QCOMPARE(permissionBits(home.filePath(QLatin1String(folder))), QStringLiteral("700"));
    // The folder that was there is the user's own.
    QCOMPARE(permissionBits(home.path()), before);
}

void TestData::onlySqlcipherIsLinked()
{
    QStringList programs;
    for (const char *var : { "TXL_PROGRAM", "TXL_DB_TOOL" })
        if (const QString program = qEnvironmentVariable(var); !program.isEmpty())
            programs << program;
    if (programs.isEmpty())
        QSKIP("TXL_PROGRAM and TXL_DB_TOOL not set");
    for (const QString &program : std::as_const(programs)) {
        QVERIFY2(QFile::exists(program), qPrintable(program));
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), { program });
        QVERIFY(ldd.waitForFinished(30000));
        const QByteArray libs = ldd.readAllStandardOutput();
        QVERIFY2(libs.contains("libsqlcipher"), libs.constData());
        QVERIFY2(!libs.contains("libsqlite3"), libs.constData());
        QVERIFY2(!libs.contains("Qt6Sql"), libs.constData());
    }
}

// The sample generator is the tool's: its name pool (kept as UTF-16 text)
// is in the tool and nowhere in the window program.
void TestData::samplesStayOutOfTheWindow()
{
    const QString program = qEnvironmentVariable("TXL_PROGRAM");
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (program.isEmpty() || tool.isEmpty())
        QSKIP("TXL_PROGRAM and TXL_DB_TOOL not set");
    const QString pool = QStringLiteral("欧阳 司马 诸葛 上官");
    const QByteArray text(reinterpret_cast<const char *>(pool.utf16()), pool.size() * 2);
    auto holds = [&text](const QString &path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
        return f.readAll().contains(text);
    };
    QVERIFY(holds(tool));
    QVERIFY(!holds(program));
}

QTEST_MAIN(TestData)
#include "tst_data.moc"
