// The contacts table as the bulk readers and writers see it: the duplicate
// rule, all-or-nothing writes, and two writers at once.
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"
#include "store/NewContacts.h"
#include "store/SyncState.h"
#include "store/samples/Samples.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

store::Contact contact(const QString &name, const QString &mobile = QString())
{
    store::Contact c;
    c.name = name;
    c.sex = QStringLiteral("男");
    c.mobile = mobile;
    c.group = QStringLiteral("朋友");
    return c;
}

QStringList names(const store::Contacts &contacts)
{
    QStringList out;
    for (const store::Contact &c : contacts)
        out << c.name;
    return out;
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT
private slots:
    void fieldsFollowTheStoredColumns();
    void insertKeepsOutDuplicates();
    void dryRunWritesNothing();
    void failedOrCancelledInsertStoresNothing();
    void updateAndRemove();
    void syncStateAppliesAllOrNothing();
    void rowsOfAQuery();
    void twoImportsAtOnceStoreEachNameOnce();
    void contactsStoredAsTheyCome();
};

void TestStore::fieldsFollowTheStoredColumns()
{
    ContactsFixture fixture(0);
    fixture.exec(QStringLiteral("insert into data values('甲','女','123','13800000000','a@b.cn','北京','家人')"));
    OpenedContacts db(fixture);
    const store::Contacts all = db.table.all();
    QCOMPARE(all.size(), size_t(1));
    const QStringList expected { QStringLiteral("甲"), QStringLiteral("女"), QStringLiteral("123"),
        QStringLiteral("13800000000"), QStringLiteral("a@b.cn"), QStringLiteral("北京"), QStringLiteral("家人") };
    for (int column = 0; column < store::Contact::fieldCount; ++column)
        QCOMPARE(all.front().field(column), expected.at(column));
    QCOMPARE(store::columnNames().size(), store::Contact::fieldCount);
}

void TestStore::insertKeepsOutDuplicates()
{
    ContactsFixture fixture(0);
    fixture.exec(QStringLiteral("insert into data values('张三','男','','','','','朋友')"));
    OpenedContacts db(fixture);
    const store::Contacts in { contact(QStringLiteral("李四")), contact(QStringLiteral("张三")),
        contact(QStringLiteral("王五")), contact(QStringLiteral("李四"), QStringLiteral("13900000000")) };
    const store::ContactTable::InsertResult result = db.table.insertNew(in);
    QCOMPARE(result.inserted, 2);
    QVERIFY(!result.cancelled);
    QCOMPARE(result.duplicates.size(), size_t(2));
    QCOMPARE(result.duplicates[0].index, size_t(1)); // stored already
    QVERIFY(!result.duplicates[0].earlier);
    QCOMPARE(result.duplicates[1].index, size_t(3)); // given earlier: the first one wins
    QCOMPARE(result.duplicates[1].earlier.value(), size_t(0));
    QCOMPARE(fixture.rows(QStringLiteral("姓名='李四'")), QStringList { QStringLiteral("李四|男|||||朋友") });
    QCOMPARE(
        db.table.names(), (QSet<QString> { QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五") }));
    QVERIFY(db.table.find(QStringLiteral("王五")));
    QVERIFY(!db.table.find(QStringLiteral("赵六")));
}

void TestStore::dryRunWritesNothing()
{
    ContactsFixture fixture(3);
    const QStringList before = fixture.rows();
    OpenedContacts db(fixture);
    const QString taken = db.table.all().front().name;
    const store::ContactTable::InsertResult result
        = db.table.insertNew({ contact(taken), contact(QStringLiteral("新人")) }, true);
    QCOMPARE(result.inserted, 1);
    QCOMPARE(result.duplicates.size(), size_t(1));
    QCOMPARE(fixture.rows(), before);
}

void TestStore::failedOrCancelledInsertStoresNothing()
{
    ContactsFixture fixture(5);
    fixture.exec(QStringLiteral("create trigger refuse before insert on data when new.姓名 = '坏' "
                                "begin select raise(abort, 'refused by the file'); end;"));
    const QStringList before = fixture.rows();
    OpenedContacts db(fixture);
    QVERIFY_THROWS_EXCEPTION(txl::DataError,
        db.table.insertNew(
            { contact(QStringLiteral("甲")), contact(QStringLiteral("坏")), contact(QStringLiteral("乙")) }));
    QCOMPARE(fixture.rows(), before);

    store::Contacts many;
    for (int i = 0; i < 2500; ++i)
        many.push_back(contact(QStringLiteral("人%1").arg(i)));
    const store::ContactTable::InsertResult cancelled
        = db.table.insertNew(many, false, [](int done, int) { return done < 2000; });
    QVERIFY(cancelled.cancelled);
    QCOMPARE(cancelled.inserted, 0);
    QCOMPARE(fixture.rows(), before);
    // The connection is usable afterwards, with no transaction left open.
    QCOMPARE(db.table.insertNew(many).inserted, 2500);
    QCOMPARE(fixture.rows().size(), before.size() + 2500);
}

void TestStore::updateAndRemove()
{
    ContactsFixture fixture(0);
    OpenedContacts db(fixture);
    db.table.insertNew({ contact(QStringLiteral("甲")), contact(QStringLiteral("乙")) });

    store::Contact changed = contact(QStringLiteral("丙"), QStringLiteral("13800138000"));
    db.table.update(QStringLiteral("甲"), changed);
    QCOMPARE(db.table.find(QStringLiteral("丙")).value(), changed);
    QVERIFY(!db.table.find(QStringLiteral("甲")));

    // Refused without a change: no such contact; a rename onto a taken name.
    const QStringList before = fixture.rows();
    QVERIFY_THROWS_EXCEPTION(txl::DataError, db.table.update(QStringLiteral("无人"), changed));
    QVERIFY_THROWS_EXCEPTION(txl::DataError, db.table.update(QStringLiteral("丙"), contact(QStringLiteral("乙"))));
    QVERIFY_THROWS_EXCEPTION(txl::DataError, db.table.remove(QStringLiteral("无人")));
    QCOMPARE(fixture.rows(), before);

    db.table.remove(QStringLiteral("乙"));
    QCOMPARE(names(db.table.all()), QStringList { QStringLiteral("丙") });
}

void TestStore::syncStateAppliesAllOrNothing()
{
    // The sync's rows of data and its state go in one transaction: a batch
    // refused at its last row leaves both as they were.
    ContactsFixture fixture(0);
    OpenedContacts db(fixture);
    db.table.insertNew({ contact(QStringLiteral("甲")), contact(QStringLiteral("乙")), contact(QStringLiteral("丁")) });
    store::SyncState state(db.connection);
    state.setUp({ QStringLiteral("https://example.com/"), QStringLiteral("u"),
        QStringLiteral("https://example.com/u/b/"), QString() });
    store::SyncBatch good;
    good.removes = { QStringLiteral("丁") };
    good.updates = { { QStringLiteral("甲"), contact(QStringLiteral("丙"), QStringLiteral("1")) } };
    good.inserts = { contact(QStringLiteral("戊")), contact(QStringLiteral("己")) };
    good.items = { { QStringLiteral("/u/b/1.vcf"), QStringLiteral("e1"), QStringLiteral("x"), QString(), QString(),
        QStringLiteral("丙") } };
    good.syncToken = QStringLiteral("t1");
    state.apply(good);
    QCOMPARE(names(db.table.all()),
        QStringList({ QStringLiteral("丙"), QStringLiteral("乙"), QStringLiteral("戊"), QStringLiteral("己") }));

    const QStringList rows = fixture.rows();
    const auto refused = [&](const store::SyncBatch &batch) {
        QVERIFY_THROWS_EXCEPTION(txl::DataError, state.apply(batch));
        QCOMPARE(fixture.rows(), rows);
        QCOMPARE(state.items().size(), std::size_t(1));
        QCOMPARE(state.items().front().etag, QStringLiteral("e1"));
        QCOMPARE(state.account()->syncToken, QStringLiteral("t1"));
    };
    store::SyncBatch bad;
    bad.removes = { QStringLiteral("乙") };
    bad.items = { { QStringLiteral("/u/b/1.vcf"), QStringLiteral("e2"), QStringLiteral("x"), QString(), QString(),
        QStringLiteral("丙") } };
    bad.syncToken = QStringLiteral("t2");
    bad.inserts = { contact(QStringLiteral("庚")), contact(QStringLiteral("戊")) }; // stored already
    refused(bad);
    bad.inserts = { contact(QStringLiteral("庚")), contact(QStringLiteral("庚")) }; // given twice
    refused(bad);
    bad.inserts = {};
    bad.updates = { { QStringLiteral("丙"), contact(QStringLiteral("己")) } }; // renamed onto a taken name
    refused(bad);

    // A transaction on another connection would not hold these writes.
    OpenedContacts other(fixture);
    store::WriteTransaction elsewhere(other.connection);
    QVERIFY_THROWS_EXCEPTION(
        txl::DataError, db.table.insert(elsewhere, store::Contacts { contact(QStringLiteral("辛")) }));
}

void TestStore::rowsOfAQuery()
{
    ContactsFixture fixture(0);
    // Columns are found by name, whatever order a statement gives them in.
    fixture.exec(QStringLiteral("insert into data values('甲','女','1','2','3','4','5')"));
    OpenedContacts db(fixture);
    txl::Query query;
    query.setObjectName(QStringLiteral("reordered"));
    query.setConnection(&db.connection);
    query.addSql(QStringLiteral("select 组名, 姓名, 手机号码 from data"));
    query.open();
    const store::Contacts rows = store::ContactTable::rowsOf(query);
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].name, QStringLiteral("甲"));
    QCOMPARE(rows[0].mobile, QStringLiteral("2"));
    QCOMPARE(rows[0].group, QStringLiteral("5"));
    QVERIFY(rows[0].sex.isEmpty());
}

// Two imports of one file started 50 ms apart: the second must see the
// first one's names, never store them again.
void TestStore::twoImportsAtOnceStoreEachNameOnce()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    ContactsFixture fixture(20);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    samples::createContactsFile(source.path(), 20000);
    const QString csv = QDir(source.path()).filePath(QStringLiteral("all.csv"));
    QCOMPARE(QProcess::execute(tool, { QStringLiteral("export"), csv, source.path() }), 0);

    QProcess first;
    QProcess second;
    first.start(tool, { QStringLiteral("import"), csv, fixture.dir() });
    QTest::qWait(50);
    second.start(tool, { QStringLiteral("import"), csv, fixture.dir() });
    QVERIFY(first.waitForFinished(120000));
    QVERIFY(second.waitForFinished(120000));
    // Each either stored its contacts or was refused while the other held
    // the file (nothing stored then): never both stored a name.
    QVERIFY(first.exitCode() == 0 || second.exitCode() == 0);

    const QStringList rows = fixture.rows();
    QSet<QString> distinct;
    for (const QString &row : rows)
        distinct.insert(row.section(QLatin1Char('|'), 0, 0));
    QCOMPARE(distinct.size(), rows.size());
    QVERIFY(rows.size() >= 20000);
}

// Contacts handed in one at a time against a table of a few thousand names:
// the set of names grows past its first size several times (stored names
// and new ones), and each outcome must say exactly which earlier contact a
// name repeats. Names that differ only in the last character, an empty
// name and names that are prefixes of others share hashes' neighbourhoods
// and lengths with their twins.
void TestStore::contactsStoredAsTheyCome()
{
    ContactsFixture fixture(0);
    {
        store::Contacts stored;
        for (int i = 0; i < 3000; ++i)
            stored.push_back(contact(QStringLiteral("存%1").arg(i)));
        stored.push_back(contact(QString()));
        OpenedContacts db(fixture);
        QCOMPARE(db.table.insertNew(stored).inserted, 3001);
    }
    OpenedContacts db(fixture);
    int stored = 0;
    {
        store::NewContacts batch(db.table);
        for (int i = 0; i < 3000; ++i) {
            const store::NewContacts::Outcome o
                = batch.add(contact(QStringLiteral("新%1").arg(i), QStringLiteral("1")));
            QVERIFY2(o.stored, qPrintable(QString::number(i)));
            ++stored;
        }
        // Handed in at 3000 and after: repeats of stored names, of names
        // handed in (their index), the empty stored name, and a prefix.
        const struct {
            QString name;
            bool stored;
            std::optional<std::size_t> earlier;
        } cases[] = {
            { QStringLiteral("存2999"), false, std::nullopt },
            { QStringLiteral("新17"), false, 17 },
            { QStringLiteral("新2999"), false, 2999 },
            { QString(), false, std::nullopt },
            { QStringLiteral("新"), true, std::nullopt },
            { QStringLiteral("新"), false, 3004 },
            { QStringLiteral("存29990"), true, std::nullopt },
        };
        for (const auto &c : cases) {
            const store::NewContacts::Outcome o = batch.add(contact(c.name));
            QCOMPARE(o.stored, c.stored);
            QCOMPARE(o.earlier, c.earlier);
            stored += o.stored ? 1 : 0;
        }
        QCOMPARE(batch.inserted(), stored);
        batch.commit();
    }
    QCOMPARE(fixture.rows().size(), 3001 + stored);
    QCOMPARE(fixture.rows(QStringLiteral("姓名 = '新17'")), QStringList { QStringLiteral("新17|男||1|||朋友") });

    // Without commit nothing stays.
    {
        store::NewContacts batch(db.table);
        QVERIFY(batch.add(contact(QStringLiteral("未存"))).stored);
    }
    QVERIFY(fixture.rows(QStringLiteral("姓名 = '未存'")).isEmpty());
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
