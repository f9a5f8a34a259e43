// Two-way sync against a real CardDAV server: Debian's radicale, started on
// a free port of this computer with a throw-away storage folder and one
// htpasswd user. A second client plays the phone: it PUTs and DELETEs cards
// as phones write them, straight over HTTP.
#include "Phone.h"
#include "RadicaleServer.h"
#include "TestSupport.h"

#include "exchange/Exchange.h"
#include "platform/data/Connection.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"
#include "store/SyncState.h"
#include "store/Unit_Dm.h"
#include "sync/CardDav.h"
#include "sync/CardText.h"
#include "sync/DavClient.h"
#include "sync/Multistatus.h"
#include "sync/Sync.h"
#include "sync/SyncError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString user = QStringLiteral("alice");
const QString serverPassword = QStringLiteral("s3cret-电话");

// As an iPhone writes a card: 3.0, the mobile in an item group with a label,
// a photo, a second number, a birthday and a note we do not keep.
const QByteArray phone30
    = "BEGIN:VCARD\r\n"
      "VERSION:3.0\r\n"
      "PRODID:-//Apple Inc.//iPhone OS 16.0//EN\r\n"
      "N:\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e;;;\r\n" // 王 小明
      "FN:\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e\r\n"
      "ORG:Example Ltd;\r\n"
      "item1.TEL;type=pref:138 0013 8000\r\n"
      "item1.X-ABLabel:_$!<Mobile>!$_\r\n"
      "item2.TEL;type=HOME:010-12345678\r\n"
      "EMAIL;type=INTERNET;type=HOME:wxm@example.com\r\n"
      "BDAY:1990-05-01\r\n"
      "NOTE:old friend\r\n"
      "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8U\r\n"
      " HRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/wAALCAABAAEBAREA/8QAFAAB\r\n"
      "UID:phone-30\r\n"
      "END:VCARD\r\n";
// As an Android sync app writes one: 4.0, a tel: URI, GENDER and IMPP.
const QByteArray phone40 = "BEGIN:VCARD\r\n"
                           "VERSION:4.0\r\n"
                           "UID:phone-40\r\n"
                           "FN:\xe6\x9d\x8e\xe9\x9b\xb7\r\n" // 李雷
                           "N:\xe6\x9d\x8e;\xe9\x9b\xb7;;;\r\n"
                           "TEL;TYPE=cell;VALUE=uri:tel:+86-139-0000-1111\r\n"
                           "GENDER:M\r\n"
                           "IMPP:qq:123456\r\n"
                           "URL:https://example.com/lilei\r\n"
                           "END:VCARD\r\n";
// A name of seven Han characters: 14 bytes, over the 11 the program keeps.
const QByteArray phoneLongName
    = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-long\r\n"
      "FN:\xe6\xac\xa7\xe9\x98\xb3\xe6\x98\x8e\xe6\x9c\x88\xe6\xb8\x85\xe9\xa3\x8e\xe6\x9d\xa5\r\n"
      "END:VCARD\r\n";

QByteArray replaced(QByteArray card, const QByteArray &from, const QByteArray &to)
{
    return card.replace(from, to);
}

store::Contact contact(const QString &name, const QString &mobile, const QString &group = QString())
{
    store::Contact c;
    c.name = name;
    c.mobile = mobile;
    c.group = group;
    return c;
}

// A change made between the first sync and the second, on one side.
struct Step {
    enum Kind { LocalUpdate, LocalRemove, LocalInsert, PhonePut, PhoneDelete } kind;
    QString key; // the local name, or the phone's file name
    store::Contact contact;
    QByteArray card;
};

struct Case {
    store::Contacts local; // in the file before the first sync
    QList<std::pair<QString, QByteArray>> phone; // on the server before it
    QString firstSummary;
    QList<Step> steps;
    carddav::Prefer prefer = carddav::Prefer::Neither;
    QString summary; // of the second sync
    QStringList conflictNames; // named in its conflict lines
    QStringList localRows; // sorted "name|sex|qq|mobile|email|address|group" after it
    QStringList serverCards; // sorted "name|mobile" as the server's cards read
    QList<QByteArray> serverKeeps; // found in the server's cards (upper case, unfolded)
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestSync : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void multistatusReader_data();
    void multistatusReader();
    void mergedCardKeepsWhatWeDoNotMap();
    void serverCardsMeetTheImportRules_data();
    void serverCardsMeetTheImportRules();
    void discovery();
    void cases_data();
    void cases();
    void renamedThroughTheWindowsQuery();
    void nothingChangedCostsOneExchange();
    void stateLostAfterUploadDoublesNothing();
    void fileWithoutSyncTables();
    void faultsLeaveEverythingAsItWas_data();
    void faultsLeaveEverythingAsItWas();
    void cancelledMidSyncThenFinished();
    void serverStoppedMidSyncThenRestarted();
    void untrustedCertificate();
    void toolKilledMidSyncThenFinished();
    void tool();
    void toolSpeaksTheLocale_data();
    void toolSpeaksTheLocale();

private:
    QUrl serverUrl(const QString &path = QStringLiteral("/")) const;
    QUrl newBook();
    QByteArray phoneGet(const QUrl &url);
    void phonePut(const QUrl &book, const QString &file, const QByteArray &card);
    void phoneDelete(const QUrl &book, const QString &file);
    QStringList serverCards(const QUrl &book, QByteArray *allText = nullptr);
    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    RadicaleServer m_radicale;
    std::unique_ptr<Phone> m_phone;
};

void TestSync::initTestCase()
{
    QVERIFY2(m_radicale.start(user, serverPassword), qPrintable(m_radicale.error()));
    m_phone = std::make_unique<Phone>(user, serverPassword);
}

void TestSync::cleanupTestCase()
{
    m_phone.reset();
    m_radicale.stop();
}

QUrl TestSync::serverUrl(const QString &path) const
{
    return m_radicale.url(path);
}

QUrl TestSync::newBook()
{
    return m_phone->newBook(serverUrl());
}

void TestSync::phonePut(const QUrl &book, const QString &file, const QByteArray &card)
{
    const carddav::DavReply reply = m_phone->put(book, file, card);
    QVERIFY2(reply.status == 201 || reply.status == 204, reply.body.constData());
}

void TestSync::phoneDelete(const QUrl &book, const QString &file)
{
    const carddav::DavReply reply = m_phone->remove(book, file);
    QVERIFY2(reply.status == 200 || reply.status == 204, reply.body.constData());
}

QByteArray TestSync::phoneGet(const QUrl &url)
{
    return m_phone->get(url);
}

QStringList TestSync::serverCards(const QUrl &book, QByteArray *allText)
{
    return m_phone->cards(book, allText);
}

namespace {

// The file of one fixture, opened with its built-in password.
struct OpenFile {
    explicit OpenFile(const ContactsFixture &fixture)
    {
        connection.setDatabaseFile(fixture.databasePath());
        connection.setPassword(ContactFile::password());
        connection.open();
    }
    txl::Connection connection;
};

void setUpAccount(txl::Connection &connection, const QUrl &server, const QUrl &book)
{
    store::SyncState(connection).setUp({ server.toString(), user, book.toString(), QString() });
}

carddav::SyncReport runSync(txl::Connection &connection, carddav::Prefer prefer = carddav::Prefer::Neither,
    bool dryRun = false, int *requests = nullptr)
{
    carddav::DavClient client(user, serverPassword);
    const carddav::SyncReport report = carddav::synchronize(connection, client, { dryRun, prefer });
    if (requests)
        *requests = client.requestCount();
    return report;
}

// The rows as ContactsFixture::rows() gives them, sorted, read on an open
// connection (opening the file costs its key derivation each time).
QStringList rowsOf(txl::Connection &connection)
{
    QStringList rows;
    for (const store::Contact &c : store::ContactTable(connection).all()) {
        QStringList fields;
        for (int i = 0; i < store::Contact::fieldCount; ++i)
            fields << c.field(i);
        rows << fields.join(u'|');
    }
    rows.sort();
    return rows;
}

// The items whose cards the server is known to hold (an item stored just
// before its card went up has no ETag yet).
int knownOnServer(txl::Connection &connection)
{
    int known = 0;
    for (const store::SyncItem &item : store::SyncState(connection).items())
        known += item.etag.isEmpty() ? 0 : 1;
    return known;
}

QString none()
{
    return QStringLiteral("上传 0 条，下载 0 条，删除 0 条，冲突 0 条");
}

QString counts(int up, int down, int deleted, int conflicts)
{
    return QStringLiteral("上传 %1 条，下载 %2 条，删除 %3 条，冲突 %4 条")
        .arg(up)
        .arg(down)
        .arg(deleted)
        .arg(conflicts);
}

} // namespace

void TestSync::multistatusReader_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected"); // "href status etag flags" per response, then "token=..."
    QTest::addColumn<bool>("refused");

    QTest::newRow("sync-collection with a removed card and a token")
        << QByteArray("<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/a/b/1.vcf</d:href>"
                      "<d:propstat><d:prop><d:getetag>\"e1\"</d:getetag></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
                      "</d:propstat></d:response><d:response><d:href>/a/b/2.vcf</d:href><d:status>HTTP/1.1 404 Not "
                      "Found</d:status></d:response><d:sync-token>http://x/sync/7</d:sync-token></d:multistatus>")
        << QStringList { QStringLiteral("/a/b/1.vcf 200 e1 -"), QStringLiteral("/a/b/2.vcf 404  -"),
               QStringLiteral("token=http://x/sync/7") }
        << false;
    QTest::newRow("another prefix, a missing property, an address book that offers sync")
        << QByteArray("<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><response>"
                      "<href>/u/book/</href><propstat><prop><resourcetype><collection/><C:addressbook/></resourcetype>"
                      "<displayname>Family &amp; friends</displayname><supported-report-set><supported-report><report>"
                      "<sync-collection/></report></supported-report></supported-report-set></prop>"
                      "<status>HTTP/1.1 200 OK</status></propstat><propstat><prop><getetag/></prop>"
                      "<status>HTTP/1.1 404 Not Found</status></propstat></response></multistatus>")
        << QStringList { QStringLiteral("/u/book/ 200  book,collection,sync,Family & friends"),
               QStringLiteral("token=") }
        << false;
    QTest::newRow("principal and home, weak etag, address data with CDATA")
        << QByteArray("<D:multistatus xmlns:D=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><D:response>"
                      "<D:href>/p/</D:href><D:propstat><D:prop><D:current-user-principal><D:href>/p/me/</D:href>"
                      "</D:current-user-principal><c:addressbook-home-set><D:href>/p/me/books/</D:href>"
                      "</c:addressbook-home-set><D:getetag>W/\"w\"</D:getetag><c:address-data><![CDATA[BEGIN:VCARD]]>"
                      "</c:address-data></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"
                      "</D:multistatus>")
        << QStringList { QStringLiteral("/p/ 200 w principal=/p/me/,home=/p/me/books/,data=BEGIN:VCARD"),
               QStringLiteral("token=") }
        << false;
    QTest::newRow("cut off inside a response")
        << QByteArray("<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/a</d:href>") << QStringList() << true;
    QTest::newRow("not a multistatus") << QByteArray("<html><body>Error</body></html>") << QStringList() << true;
    QTest::newRow("a root in no namespace")
        << QByteArray("<multistatus><response><href>/a</href></response></multistatus>") << QStringList() << true;
    QTest::newRow("empty") << QByteArray() << QStringList() << true;
    QTest::newRow("garbage after the root")
        << QByteArray("<d:multistatus xmlns:d=\"DAV:\"/><x>") << QStringList() << true;
}

void TestSync::multistatusReader()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    QFETCH(bool, refused);
    try {
        const carddav::Multistatus m = carddav::readMultistatus(body);
        QVERIFY2(!refused, "a broken answer was read");
        QStringList got;
        for (const carddav::DavResponse &r : m.responses) {
            QStringList flags;
            if (r.isAddressBook)
                flags << QStringLiteral("book");
            if (r.isCollection)
                flags << QStringLiteral("collection");
            if (r.supportsSyncCollection)
                flags << QStringLiteral("sync");
            if (!r.displayName.isEmpty())
                flags << r.displayName;
            if (!r.principal.isEmpty())
                flags << QStringLiteral("principal=") + r.principal;
            if (!r.addressBookHome.isEmpty())
                flags << QStringLiteral("home=") + r.addressBookHome;
            if (!r.addressData.isEmpty())
                flags << QStringLiteral("data=") + QString::fromUtf8(r.addressData);
            got << QStringLiteral("%1 %2 %3 %4")
                       .arg(r.href)
                       .arg(r.status)
                       .arg(r.etag, flags.isEmpty() ? QStringLiteral("-") : flags.join(u','));
        }
        got << QStringLiteral("token=") + m.syncToken;
        QCOMPARE(got, expected);
    } catch (const carddav::SyncError &e) {
        QVERIFY2(refused, qPrintable(e.message()));
        QVERIFY(!e.message().isEmpty());
    }
}

void TestSync::serverCardsMeetTheImportRules_data()
{
    QTest::addColumn<QByteArray>("properties"); // between VERSION and END
    QTest::addColumn<QString>("name"); // as stored, when the card is taken
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("reason"); // found in the reason, when skipped

    QTest::newRow("name trimmed, mobile-shaped number normalised")
        << QByteArray("FN:  \xe7\x8e\x8b\xe4\xba\x94 \r\nTEL;TYPE=cell:+86 138-0013-8000\r\n") << "王五"
        << "13800138000" << QString();
    QTest::newRow("landline kept as written")
        << QByteArray("FN:\xe7\x8e\x8b\xe4\xba\x94\r\nTEL:010-1234567\r\n") << "王五"
        << "010-1234567" << QString();
    QTest::newRow("no name") << QByteArray("TEL:13800138000\r\n") << QString() << QString() << "没有姓名";
    QTest::newRow("control character in the name") << QByteArray("FN:a\x01"
                                                                 "b\r\n")
                                                   << QString() << QString() << "U+0001";
    QTest::newRow("mobile over 11 bytes skips the card, not the number")
        << QByteArray("FN:\xe7\x8e\x8b\xe4\xba\x94\r\nTEL:+852 9123 4567 8888\r\n") << QString() << QString()
        << "名片没有下载";
}

void TestSync::serverCardsMeetTheImportRules()
{
    QFETCH(QByteArray, properties);
    QFETCH(QString, name);
    QFETCH(QString, mobile);
    QFETCH(QString, reason);
    QVERIFY(exchange::installChineseTexts()); // as the tool on a Chinese desktop and the window do
    const carddav::ReadCard read
        = carddav::readCard("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u1\r\n" + properties + "END:VCARD\r\n");
    if (reason.isEmpty()) {
        QCOMPARE(read.reason, QString());
        QCOMPARE(read.contact.name, name);
        QCOMPARE(read.contact.mobile, mobile);
    } else {
        QVERIFY2(read.reason.contains(reason), qPrintable(read.reason));
    }
}

void TestSync::mergedCardKeepsWhatWeDoNotMap()
{
    store::Contact edited = carddav::readCard(phone30).contact;
    QCOMPARE(edited.mobile, QStringLiteral("13800138000"));
    edited.mobile = QStringLiteral("13900000000");
    edited.group = QStringLiteral("同学");
    edited.email.clear();
    const QByteArray merged = carddav::mergedCard(phone30, edited);
    QCOMPARE(carddav::readCard(merged).contact, edited);
    // The number is rewritten where it stood, in its item group; the rest
    // of the card is as the phone wrote it.
    QVERIFY(merged.contains("item1.TEL;type=pref:13900000000\r\n"));
    QVERIFY(!merged.contains("EMAIL"));
    for (const QByteArray &kept :
        { QByteArray("item1.X-ABLabel:_$!<Mobile>!$_"), QByteArray("item2.TEL;type=HOME:010-12345678"),
            QByteArray("BDAY:1990-05-01"), QByteArray("NOTE:old friend"), QByteArray("ORG:Example Ltd;"),
            QByteArray("UID:phone-30"), QByteArray("PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ"),
            QByteArray("N:\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e;;;") })
        QVERIFY2(merged.contains(kept), kept.constData());

    // 4.0: the number stays a tel: URI, the sex a GENDER, the QQ an IMPP.
    store::Contact lilei = carddav::readCard(phone40).contact;
    QCOMPARE(lilei.sex, QStringLiteral("男"));
    QCOMPARE(lilei.qq, QStringLiteral("123456"));
    lilei.mobile = QStringLiteral("13911112222");
    lilei.sex = QStringLiteral("女");
    lilei.qq = QStringLiteral("654321");
    const QByteArray merged40 = carddav::mergedCard(phone40, lilei);
    QCOMPARE(carddav::readCard(merged40).contact, lilei);
    QVERIFY(merged40.contains("TEL;TYPE=cell;VALUE=uri:tel:13911112222\r\n"));
    QVERIFY(merged40.contains("GENDER:F\r\n"));
    QVERIFY(merged40.contains("IMPP:qq:654321\r\n"));
    QVERIFY(merged40.contains("URL:https://example.com/lilei\r\n"));
    // Nothing changed: the card is the server's, byte for byte.
    QCOMPARE(carddav::mergedCard(phone40, carddav::readCard(phone40).contact), phone40);
}

void TestSync::discovery()
{
    const QUrl book = newBook();
    // From the plain server URL, through /.well-known/carddav and the
    // principal, to the user's address books.
    const std::vector<carddav::AddressBook> books = carddav::discoverAddressBooks(m_phone->client(), serverUrl());
    bool found = false;
    for (const carddav::AddressBook &b : books)
        found = found || (b.url == book && b.name == u"Contacts" && b.syncCollection);
    QVERIFY(found);
    // The address book's own URL is that address book.
    const std::vector<carddav::AddressBook> own = carddav::discoverAddressBooks(m_phone->client(), book);
    QCOMPARE(own.size(), std::size_t(1));
    QCOMPARE(own.front().url, book);

    carddav::DavClient wrong(user, QStringLiteral("wrong"));
    try {
        carddav::discoverAddressBooks(wrong, serverUrl());
        QFAIL("a wrong password found address books");
    } catch (const carddav::SyncError &e) {
        QCOMPARE(e.httpStatus(), 401);
    }
    // Plain HTTP to another computer would show the password to anyone on the way.
    try {
        carddav::discoverAddressBooks(m_phone->client(), QUrl(QStringLiteral("http://example.com/")));
        QFAIL("plain HTTP to another host was used");
    } catch (const carddav::SyncError &e) {
        QVERIFY(e.message().contains(QStringLiteral("--insecure")));
    }
}

void TestSync::cases_data()
{
    QTest::addColumn<Case>("c");
    const QString zhang = QStringLiteral("张三");
    const QString wang = QStringLiteral("王小明");
    const QString li = QStringLiteral("李雷");
    const QString zhangRow = QStringLiteral("张三||||||朋友");
    const QString wangRow = QStringLiteral("王小明|||13800138000|wxm@example.com||");
    const QString liRow = QStringLiteral("李雷|男|123456|13900001111|||");
    const QByteArray wangEdited = replaced(phone30, "138 0013 8000", "137 0000 0000");
    const auto put = [](const QString &file, const QByteArray &card) {
        return Step { Step::PhonePut, file, {}, card };
    };
    const auto del = [](const QString &file) { return Step { Step::PhoneDelete, file, {}, {} }; };
    const auto upd = [](const QString &name, const store::Contact &c) {
        return Step { Step::LocalUpdate, name, c, {} };
    };
    const auto rm = [](const QString &name) { return Step { Step::LocalRemove, name, {}, {} }; };
    store::Contact wangLocal = carddav::readCard(phone30).contact;
    wangLocal.address = QStringLiteral("北京市海淀区");
    const QString wangLocalRow = QStringLiteral("王小明|||13800138000|wxm@example.com|北京市海淀区|");

    Case c;
    c.local = { contact(zhang, QString(), QStringLiteral("朋友")) };
    c.firstSummary = counts(1, 0, 0, 0);
    c.summary = none();
    c.localRows = { zhangRow };
    c.serverCards = { zhang + u'|' };
    c.serverKeeps = { "CATEGORIES:朋友", "UID:" };
    QTest::newRow("first sync upwards, then nothing") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 }, { QStringLiteral("l.vcf"), phone40 },
        { QStringLiteral("long.vcf"), phoneLongName } };
    c.firstSummary = counts(0, 2, 0, 0);
    c.summary = none();
    c.localRows = sorted({ wangRow, liRow });
    c.serverCards = sorted({ wang + QStringLiteral("|13800138000"), li + QStringLiteral("|13900001111"),
        QStringLiteral("欧阳明月清风来|") });
    QTest::newRow("first sync downwards: 3.0 and 4.0, a name too long skipped") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { upd(wang, wangLocal) };
    c.summary = counts(1, 0, 0, 0);
    c.localRows = { wangLocalRow };
    c.serverCards = { wang + QStringLiteral("|13800138000") };
    c.serverKeeps = { "PHOTO", "ITEM2.TEL", "BDAY:1990-05-01", "NOTE:OLD FRIEND", "北京市海淀区" };
    QTest::newRow("edited here: uploaded, the phone's other fields kept") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { put(QStringLiteral("w.vcf"), wangEdited) };
    c.summary = counts(0, 1, 0, 0);
    c.localRows = { QStringLiteral("王小明|||13700000000|wxm@example.com||") };
    c.serverCards = { wang + QStringLiteral("|13700000000") };
    QTest::newRow("edited on the phone: downloaded") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { upd(wang, wangLocal), put(QStringLiteral("w.vcf"), wangEdited) };
    c.summary = counts(0, 0, 0, 1);
    c.conflictNames = { wang };
    c.localRows = { wangLocalRow };
    c.serverCards = { wang + QStringLiteral("|13700000000") };
    QTest::newRow("edited on both sides: a conflict, both kept") << c;

    c.prefer = carddav::Prefer::Local;
    c.summary = counts(1, 0, 0, 0);
    c.conflictNames = {};
    c.serverCards = { wang + QStringLiteral("|13800138000") };
    c.serverKeeps = { "北京市海淀区", "PHOTO" };
    QTest::newRow("edited on both sides, --prefer local") << c;

    c.prefer = carddav::Prefer::Server;
    c.summary = counts(0, 1, 0, 0);
    c.localRows = { QStringLiteral("王小明|||13700000000|wxm@example.com||") };
    c.serverCards = { wang + QStringLiteral("|13700000000") };
    c.serverKeeps = {};
    QTest::newRow("edited on both sides, --prefer server") << c;

    // A rename is an edit of the same card: the phone's photo, birthday,
    // note and UID stay, as they would not in a delete and a new card.
    store::Contact wangRenamed = carddav::readCard(phone30).contact;
    wangRenamed.name = QStringLiteral("王晓明");
    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { upd(wang, wangRenamed) };
    c.summary = counts(1, 0, 0, 0);
    c.localRows = { QStringLiteral("王晓明|||13800138000|wxm@example.com||") };
    c.serverCards = { QStringLiteral("王晓明|13800138000") };
    c.serverKeeps = { "PHOTO", "ITEM2.TEL", "BDAY:1990-05-01", "NOTE:OLD FRIEND", "UID:PHONE-30", "FN:王晓明" };
    QTest::newRow("renamed here: the same card updated") << c;

    c = Case();
    c.local = { contact(zhang, QStringLiteral("13512345678")), contact(li, QStringLiteral("13900001111")) };
    c.firstSummary = counts(2, 0, 0, 0);
    c.steps = { rm(li), upd(zhang, contact(li, QStringLiteral("13512345678"))) };
    c.summary = counts(1, 0, 1, 0);
    c.localRows = { QStringLiteral("李雷|||13512345678|||") };
    c.serverCards = { li + QStringLiteral("|13512345678") };
    QTest::newRow("renamed to the name of one deleted here: its card deleted") << c;

    c = Case();
    c.local = { contact(zhang, QStringLiteral("13512345678")) };
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(1, 1, 0, 0);
    c.steps = { rm(zhang), del(QStringLiteral("w.vcf")) };
    c.summary = counts(0, 0, 2, 0);
    c.localRows = {};
    c.serverCards = {};
    QTest::newRow("deleted on each side") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { rm(wang), put(QStringLiteral("w.vcf"), wangEdited) };
    c.summary = counts(0, 0, 0, 1);
    c.conflictNames = { wang };
    c.localRows = {};
    c.serverCards = { wang + QStringLiteral("|13700000000") };
    QTest::newRow("deleted here, edited on the phone: a conflict") << c;

    c = Case();
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 1, 0, 0);
    c.steps = { upd(wang, wangLocal), del(QStringLiteral("w.vcf")) };
    c.summary = counts(0, 0, 0, 1);
    c.conflictNames = { wang };
    c.localRows = { wangLocalRow };
    c.serverCards = {};
    QTest::newRow("edited here, deleted on the phone: a conflict") << c;

    c.prefer = carddav::Prefer::Local;
    c.summary = counts(1, 0, 0, 0);
    c.conflictNames = {};
    c.serverCards = { wang + QStringLiteral("|13800138000") };
    c.serverKeeps = { "北京市海淀区", "PHOTO" };
    QTest::newRow("edited here, deleted on the phone, --prefer local: sent again") << c;

    c = Case();
    c.local = { contact(wang, QStringLiteral("13600000000")) };
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = counts(0, 0, 0, 1);
    c.summary = counts(0, 0, 0, 1);
    c.conflictNames = { wang };
    c.localRows = { QStringLiteral("王小明|||13600000000|||") };
    c.serverCards = { wang + QStringLiteral("|13800138000") };
    QTest::newRow("a new card whose name an unsynced contact has: a conflict") << c;

    c = Case();
    c.local = { carddav::readCard(phone30).contact };
    c.phone = { { QStringLiteral("w.vcf"), phone30 } };
    c.firstSummary = none();
    c.summary = none();
    c.localRows = { wangRow };
    c.serverCards = { wang + QStringLiteral("|13800138000") };
    QTest::newRow("the same contact on both sides before the first sync: one contact") << c;
}

void TestSync::cases()
{
    QFETCH(Case, c);
    ContactsFixture fixture(0);
    const QUrl book = newBook();
    for (const auto &[file, card] : c.phone)
        phonePut(book, file, card);
    OpenFile file(fixture);
    txl::Connection &db = file.connection;
    QCOMPARE(store::ContactTable(db).insertNew(c.local).inserted, int(c.local.size()));
    setUpAccount(db, serverUrl(), book);
    const carddav::SyncReport first = runSync(db);
    QCOMPARE(first.summaryLine(), c.firstSummary);

    for (const Step &step : c.steps) {
        store::ContactTable table(db);
        switch (step.kind) {
        case Step::LocalUpdate:
            table.update(step.key, step.contact);
            break;
        case Step::LocalRemove:
            table.remove(step.key);
            break;
        case Step::LocalInsert:
            table.insertNew(store::Contacts { step.contact });
            break;
        case Step::PhonePut:
            phonePut(book, step.key, step.card);
            break;
        case Step::PhoneDelete:
            phoneDelete(book, step.key);
            break;
        }
    }

    // A dry run says what the sync will do and changes nothing.
    const QStringList rowsBefore = rowsOf(db);
    const QStringList serverBefore = serverCards(book);
    QCOMPARE(runSync(db, c.prefer, true).summaryLine(), c.summary);
    QCOMPARE(rowsOf(db), rowsBefore);
    QCOMPARE(serverCards(book), serverBefore);

    const carddav::SyncReport second = runSync(db, c.prefer);
    QCOMPARE(second.summaryLine(), c.summary);
    QCOMPARE(second.conflicts.size(), c.conflictNames.size());
    for (int i = 0; i < c.conflictNames.size(); ++i)
        QVERIFY2(second.conflicts.at(i).contains(c.conflictNames.at(i)), qPrintable(second.conflicts.at(i)));
    QCOMPARE(rowsOf(db), c.localRows);
    QByteArray serverText;
    QCOMPARE(serverCards(book, &serverText), c.serverCards);
    for (const QByteArray &kept : c.serverKeeps)
        QVERIFY2(serverText.contains(kept.toUpper()), kept.constData());

    // Settled: the next sync finds nothing to do, or the same conflicts
    // still open, and changes nothing.
    const carddav::SyncReport third = runSync(db);
    QCOMPARE(third.summaryLine(), counts(0, 0, 0, int(c.conflictNames.size())));
    QCOMPARE(rowsOf(db), c.localRows);
    QCOMPARE(serverCards(book), c.serverCards);
}

void TestSync::renamedThroughTheWindowsQuery()
{
    // The window writes through the data module's query (an UPDATE of the
    // changed columns of the row it read), on a file whose sync tables an
    // earlier version made: the first sync adds what follows the rename.
    ContactsFixture fixture(0);
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phone30);
    fixture.createDm();
    txl::Connection &db = *Dm->scon;
    db.executeScript(QStringLiteral(
        "create table sync_account(server_url text not null, user_name text not null, book_url text not null, "
        "sync_token text not null);"
        "create table sync_item(href text primary key, etag text not null, uid text not null, vcard text not null, "
        "hash text not null, name text not null);"));
    db.executeScript(QStringLiteral("insert into sync_account values('%1', '%2', '%3', '');")
                         .arg(serverUrl().toString(), user, book.toString()));
    QVERIFY(store::SyncState(db).account());
    QCOMPARE(runSync(db).summaryLine(), counts(0, 1, 0, 0));

    txl::Query *q = Dm->addquery;
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 姓名='王小明'"));
    q->open();
    QCOMPARE(q->recordCount(), 1);
    q->edit();
    q->setFieldByName(QStringLiteral("姓名"), QStringLiteral("王晓明"));
    q->setFieldByName(QStringLiteral("家庭住址"), QStringLiteral("北京市海淀区"));
    q->post();

    QCOMPARE(runSync(db).summaryLine(), counts(1, 0, 0, 0));
    const carddav::Listing listing = carddav::listCards(m_phone->client(), book, QString(), false);
    QCOMPARE(listing.etags.keys(), QStringList { book.path() + QStringLiteral("w.vcf") });
    QByteArray text;
    QCOMPARE(serverCards(book, &text), QStringList { QStringLiteral("王晓明|13800138000") });
    for (const QByteArray &kept : { QByteArray("PHOTO"), QByteArray("UID:PHONE-30"), QByteArray("北京市海淀区") })
        QVERIFY2(text.contains(kept), kept.constData());
    // The state follows the new name: the phone's next edit lands on it.
    QUrl card = book;
    card.setPath(book.path() + QStringLiteral("w.vcf"));
    const QByteArray ours = phoneGet(card);
    const QByteArray edited = replaced(ours, "138 0013 8000", "137 0000 0000");
    QVERIFY(edited != ours);
    phonePut(book, QStringLiteral("w.vcf"), edited);
    QCOMPARE(runSync(db).summaryLine(), counts(0, 1, 0, 0));
    QCOMPARE(rowsOf(db), QStringList { QStringLiteral("王晓明|||13700000000|wxm@example.com|北京市海淀区|") });
    QCOMPARE(runSync(db).summaryLine(), none());
    // The same account set up again keeps what it knows, and takes the
    // certificate column the sync added.
    store::SyncState state(db);
    const QString fingerprint = carddav::normalFingerprint(QString(64, u'a'));
    state.setUp({ serverUrl().toString(), user, book.toString(), QString(), fingerprint });
    QCOMPARE(state.account()->certFingerprint, fingerprint);
    QCOMPARE(state.items().size(), std::size_t(1));
}

void TestSync::nothingChangedCostsOneExchange()
{
    ContactsFixture fixture(50);
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phone30);
    OpenFile file(fixture);
    txl::Connection &db = file.connection;
    setUpAccount(db, serverUrl(), book);
    QCOMPARE(runSync(db).summaryLine(), counts(50, 1, 0, 0));
    // The token moved past our own uploads once: after that, one report.
    QCOMPARE(runSync(db).summaryLine(), none());
    int requests = 0;
    QCOMPARE(runSync(db, carddav::Prefer::Neither, false, &requests).summaryLine(), none());
    QCOMPARE(requests, 1);
    QCOMPARE(serverCards(book).size(), 51);
    QCOMPARE(rowsOf(db).size(), 51);
}

void TestSync::stateLostAfterUploadDoublesNothing()
{
    // A sync cut short after the server took the cards but before their
    // state was stored: the next sync finds them there and links them.
    ContactsFixture fixture(5);
    const QUrl book = newBook();
    OpenFile file(fixture);
    txl::Connection &db = file.connection;
    setUpAccount(db, serverUrl(), book);
    QCOMPARE(runSync(db).summaryLine(), counts(5, 0, 0, 0));
    db.executeScript(QStringLiteral("delete from sync_item; update sync_account set sync_token='';"));
    QCOMPARE(runSync(db).summaryLine(), none());
    QCOMPARE(serverCards(book).size(), 5);
    QCOMPARE(rowsOf(db).size(), 5);
    QCOMPARE(runSync(db).summaryLine(), none());
}

void TestSync::fileWithoutSyncTables()
{
    ContactsFixture fixture(3);
    OpenFile file(fixture);
    store::SyncState state(file.connection);
    QVERIFY(!state.isSetUp());
    QVERIFY(!state.account());
    QVERIFY(state.items().empty());
    carddav::DavClient client(user, serverPassword);
    try {
        carddav::synchronize(file.connection, client, {});
        QFAIL("a file never set up was synced");
    } catch (const carddav::SyncError &e) {
        QVERIFY(e.message().contains(QStringLiteral("sync-setup")));
    }
    QCOMPARE(client.requestCount(), 0);
    // Set up, the table data keeps exactly its seven columns.
    state.setUp({ serverUrl().toString(), user, newBook().toString(), QString() });
    QVERIFY(state.isSetUp());
    QCOMPARE(fixture.rows().size(), 3);
    QCOMPARE(fixture.rows().front().count(u'|'), 6);
}

namespace {

// A server that answers every request the same broken way, for the faults
// a real one shows now and then.
class FaultyServer : public QTcpServer {
public:
    explicit FaultyServer(QByteArray mode)
        : m_mode(std::move(mode))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/u/book/").arg(serverPort())); }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Each connection is answered once its request's head is in.
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            if (request->contains("\r\n\r\n"))
                return;
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n"))
                return;
            if (m_mode == "500") {
                socket->write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            } else if (m_mode == "xml") {
                const QByteArray body = "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/u/book/1.vcf</d:href>";
                socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nConnection: close\r\n"
                              "Content-Length: "
                    + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            } else { // endless: a body that never stops coming
                socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n\r\n"
                              "<d:multistatus xmlns:d=\"DAV:\">");
                const auto more = [socket] {
                    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 65536)
                        socket->write(QByteArray(65536, ' '));
                };
                connect(socket, &QTcpSocket::bytesWritten, socket, more);
                more();
            }
        });
    }
    QByteArray m_mode;
};

} // namespace

void TestSync::faultsLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("500") << QByteArray("500") << QStringLiteral("HTTP 500");
    QTest::newRow("malformed XML") << QByteArray("xml") << QStringLiteral("XML");
    QTest::newRow("endless body") << QByteArray("endless") << QStringLiteral("太大");
}

void TestSync::faultsLeaveEverythingAsItWas()
{
    QFETCH(QByteArray, mode);
    QFETCH(QString, message);
    ContactsFixture fixture(4);
    FaultyServer server(mode);
    QVERIFY(server.isListening());
    OpenFile file(fixture);
    setUpAccount(file.connection, server.url(), server.url());
    const QStringList rows = rowsOf(file.connection);
    carddav::DavClient client(user, serverPassword, { false, 10000, 1024 * 1024 });
    try {
        carddav::synchronize(file.connection, client, {});
        QFAIL("a broken answer was taken");
    } catch (const carddav::SyncError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QCOMPARE(rowsOf(file.connection), rows);
    store::SyncState state(file.connection);
    QVERIFY(state.items().empty());
    QCOMPARE(state.account()->syncToken, QString());
}

void TestSync::cancelledMidSyncThenFinished()
{
    // Cancelled while the cards go up: those the server took are known,
    // and the next sync sends the rest, none twice.
    ContactsFixture fixture(30);
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phone30);
    OpenFile file(fixture);
    txl::Connection &db = file.connection;
    setUpAccount(db, serverUrl(), book);
    {
        carddav::DavClient client(user, serverPassword);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (client.requestCount() >= 12)
                client.cancel();
        });
        watch.start(1);
        try {
            carddav::synchronize(db, client, {});
            QFAIL("the sync was not cancelled");
        } catch (const carddav::SyncError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("取消")), qPrintable(e.message()));
        }
        const int uploaded = knownOnServer(db) - 1;
        QVERIFY2(uploaded > 0 && uploaded < 30, qPrintable(QString::number(uploaded)));
    }
    const carddav::SyncReport rest = runSync(db);
    QCOMPARE(rest.conflicts, QStringList());
    QVERIFY(rest.uploaded > 0 && rest.uploaded < 30);
    QCOMPARE(runSync(db).summaryLine(), none());
    QCOMPARE(serverCards(book).size(), 31);
    QCOMPARE(rowsOf(db).size(), 31);
}

void TestSync::serverStoppedMidSyncThenRestarted()
{
    // The server goes away while uploads are in flight side by side, some
    // taken and answered, some taken and never answered, some never sent;
    // after its restart the next sync finishes with nothing lost or doubled.
    ContactsFixture fixture(200);
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phone30);
    OpenFile file(fixture);
    txl::Connection &db = file.connection;
    setUpAccount(db, serverUrl(), book);
    const QStringList localBefore = rowsOf(db);
    struct Restart {
        RadicaleServer &server;
        ~Restart()
        {
            if (!server.isRunning())
                server.start(user, serverPassword);
        }
    } restart { m_radicale };
    {
        carddav::DavClient client(user, serverPassword);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (client.requestCount() >= 60 && m_radicale.isRunning())
                m_radicale.stop();
        });
        watch.start(1);
        try {
            carddav::synchronize(db, client, {});
            QFAIL("the sync went on without its server");
        } catch (const carddav::SyncError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("无法连接")), qPrintable(e.message()));
        }
    }
    const int linked = knownOnServer(db) - 1;
    QVERIFY2(linked > 0 && linked < 200, qPrintable(QString::number(linked)));
    QVERIFY2(m_radicale.start(user, serverPassword), qPrintable(m_radicale.error()));

    const carddav::SyncReport rest = runSync(db);
    QCOMPARE(rest.conflicts, QStringList());
    QCOMPARE(rest.skipped, QStringList());
    QCOMPARE(runSync(db).summaryLine(), none());
    // Every local contact once on the server, the phone's one once here.
    QStringList names;
    for (const QString &row : localBefore)
        names << row.section(u'|', 0, 0) + u'|' + row.section(u'|', 3, 3);
    names << QStringLiteral("王小明|13800138000");
    QCOMPARE(serverCards(book), sorted(names));
    QCOMPARE(
        rowsOf(db), sorted(localBefore + QStringList { QStringLiteral("王小明|||13800138000|wxm@example.com||") }));
    QCOMPARE(int(store::SyncState(db).items().size()), 201);
}

void TestSync::untrustedCertificate()
{
    QTemporaryDir keys;
    const QString fingerprint = RadicaleServer::makeCertificate(keys.path());
    QVERIFY2(!fingerprint.isEmpty(), "openssl made no certificate");
    RadicaleServer tls;
    tls.useTls(keys.filePath(QStringLiteral("cert.pem")), keys.filePath(QStringLiteral("key.pem")));
    QVERIFY2(tls.start(user, serverPassword), qPrintable(tls.error()));
    const QUrl server = tls.url();
    QCOMPARE(server.scheme(), QStringLiteral("https"));

    // Not in the system's store: refused, the fingerprint named. Another
    // accepted fingerprint is no better.
    const QString other
        = QString(fingerprint)
              .replace(0, 2, fingerprint.startsWith(u'A') ? QStringLiteral("B0") : QStringLiteral("A0"));
    for (const QString &accepted : { QString(), other }) {
        carddav::DavClient client(user, serverPassword, { false, 10000, 1024 * 1024, accepted });
        try {
            carddav::discoverAddressBooks(client, server);
            QFAIL("an untrusted certificate was taken");
        } catch (const carddav::SyncError &e) {
            QCOMPARE(e.untrustedFingerprint(), fingerprint);
            QVERIFY2(e.message().contains(fingerprint), qPrintable(e.message()));
        }
    }
    QCOMPARE(carddav::normalFingerprint(QString(fingerprint).remove(u':').toLower()), fingerprint);
    QCOMPARE(carddav::normalFingerprint(fingerprint.left(90)), QString());

    // Accepted: it works, and the book is made over it as a phone would.
    carddav::DavClient accepted(user, serverPassword, { false, 10000, 1024 * 1024, fingerprint });
    const QUrl book = tls.url(QStringLiteral("/%1/tls/").arg(user));
    QCOMPARE(accepted
                 .send("MKCOL", book,
                     "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
                     "<set><prop><resourcetype><collection/><C:addressbook/></resourcetype></prop></set></mkcol>",
                     "application/xml")
                 .status,
        201);
    QCOMPARE(carddav::discoverAddressBooks(accepted, server).size(), std::size_t(1));

    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    ContactsFixture fixture(3);
    // OpenSSL's state of a handshake Qt Network's thread cut short is at
    // times still being freed when the tool ends: not the tool's leak.
    const QString suppressions = keys.filePath(QStringLiteral("lsan.supp"));
    QFile supp(suppressions);
    QVERIFY(supp.open(QIODevice::WriteOnly));
    supp.write("leak:libcrypto.so\nleak:libssl.so\n");
    supp.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + suppressions);
    const auto run = [&](const QStringList &args, QString *err) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(tool, args);
        p.waitForStarted();
        p.write(serverPassword.toUtf8() + '\n');
        p.closeWriteChannel();
        p.waitForFinished(60000);
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    const QStringList setup { QStringLiteral("sync-setup"), QStringLiteral("--stdin"), server.toString(), user,
        fixture.dir() };
    QString err;
    int status = run(setup, &err);
    QVERIFY2(status == 1, qPrintable(err));
    QVERIFY2(err.contains(fingerprint) && err.contains(QStringLiteral("--accept-fingerprint")), qPrintable(err));
    status = run(setup.mid(0, 1) + QStringList { QStringLiteral("--accept-fingerprint"), other } + setup.mid(1), &err);
    QVERIFY2(status == 1, qPrintable(err));
    QVERIFY2(err.contains(fingerprint), qPrintable(err));
    {
        OpenFile file(fixture);
        QVERIFY(!store::SyncState(file.connection).isSetUp());
    }
    QCOMPARE(
        run(setup.mid(0, 1)
                + QStringList { QStringLiteral("--accept-fingerprint"), QString(fingerprint).remove(u':').toLower() }
                + setup.mid(1),
            &err),
        0);
    {
        OpenFile file(fixture);
        QCOMPARE(store::SyncState(file.connection).account()->certFingerprint, fingerprint);
    }
    const QStringList sync { QStringLiteral("sync"), QStringLiteral("--stdin"), fixture.dir() };
    QCOMPARE(run(sync, &err), 0);
    QCOMPARE(int(carddav::listCards(accepted, book, QString(), false).etags.size()), 3);

    // A new certificate on the same server is refused again.
    tls.stop();
    QTemporaryDir newKeys;
    const QString changed = RadicaleServer::makeCertificate(newKeys.path());
    QVERIFY(!changed.isEmpty() && changed != fingerprint);
    for (const QString &name : { QStringLiteral("cert.pem"), QStringLiteral("key.pem") }) {
        QFile::remove(keys.filePath(name));
        QVERIFY(QFile::copy(newKeys.filePath(name), keys.filePath(name)));
    }
    QVERIFY2(tls.start(user, serverPassword), qPrintable(tls.error()));
    status = run(sync, &err);
    QVERIFY2(status == 1, qPrintable(err));
    QVERIFY2(err.contains(changed), qPrintable(err));

    // On a terminal sync-setup shows the fingerprint and asks: a typed yes
    // accepts it, any other answer refuses.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script (util-linux) is missing: no terminal to type on");
    // No desktop secret store: the test's password must not land in one.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    for (const QByteArray &answer : { QByteArray("no"), QByteArray("yes") }) {
        ContactsFixture typed(1);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString command
            = QStringLiteral("'%1' sync-setup '%2' '%3' '%4'").arg(tool, server.toString(), user, typed.dir());
        p.start(script, { QStringLiteral("-qfec"), command, QStringLiteral("/dev/null") });
        QVERIFY(p.waitForStarted());
        QByteArray seen;
        const auto waitFor = [&](const QByteArray &prompt) {
            QElapsedTimer waited;
            waited.start();
            while (!seen.contains(prompt) && p.state() == QProcess::Running && waited.elapsed() < 30000) {
                p.waitForReadyRead(100);
                seen += p.readAll();
            }
            return seen.contains(prompt);
        };
        QVERIFY2(waitFor(QStringLiteral("alice").toUtf8()) && waitFor(": "), seen.constData());
        QTest::qWait(200); // the prompt is out: the terminal's echo is off now
        p.write(serverPassword.toUtf8() + '\n');
        QVERIFY2(waitFor("yes"), seen.constData());
        QTest::qWait(200);
        p.write(answer + '\n');
        QVERIFY(p.waitForFinished(60000));
        seen += p.readAll();
        QVERIFY2(seen.contains(changed.toUtf8()), seen.constData());
        OpenFile file(typed);
        if (answer == "yes") {
            QVERIFY2(p.exitCode() == 0, seen.constData());
            QCOMPARE(store::SyncState(file.connection).account()->certFingerprint, changed);
        } else {
            QVERIFY2(p.exitCode() == 1, seen.constData());
            QVERIFY(!store::SyncState(file.connection).isSetUp());
        }
    }
}

void TestSync::toolKilledMidSyncThenFinished()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    ContactsFixture fixture(120);
    const QUrl book = newBook();
    {
        OpenFile file(fixture);
        setUpAccount(file.connection, serverUrl(), book);
    }
    // The server's folder of this address book: one file per card taken.
    const QDir cards(m_radicale.storageFolder() + QStringLiteral("/collection-root") + book.path());
    QProcess p;
    p.start(tool, { QStringLiteral("sync"), QStringLiteral("--stdin"), fixture.dir() });
    QVERIFY(p.waitForStarted());
    p.write(serverPassword.toUtf8() + '\n');
    p.closeWriteChannel();
    QElapsedTimer waited;
    waited.start();
    while (cards.entryList(QDir::Files).size() < 30 && p.state() == QProcess::Running && waited.elapsed() < 60000)
        QTest::qWait(5);
    QCOMPARE(p.state(), QProcess::Running); // killed in the middle, not after the end
    p.kill(); // SIGKILL: no clean-up of any kind
    p.waitForFinished();
    const int taken = int(cards.entryList(QDir::Files).size());
    QVERIFY2(taken >= 30 && taken < 120, qPrintable(QString::number(taken)));

    OpenFile file(fixture);
    const carddav::SyncReport rest = runSync(file.connection);
    QCOMPARE(rest.conflicts, QStringList());
    QCOMPARE(runSync(file.connection).summaryLine(), none());
    QCOMPARE(serverCards(book).size(), 120);
    QCOMPARE(rowsOf(file.connection).size(), 120);
}

void TestSync::tool()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    ContactsFixture fixture(2);
    const QUrl book = newBook();
    const auto run
        = [&](const QStringList &args, const QByteArray &input, QString *out = nullptr, QString *err = nullptr) {
              QProcess p;
              p.start(tool, args);
              p.waitForStarted();
              p.write(input);
              p.closeWriteChannel();
              p.waitForFinished(60000);
              if (out)
                  *out = QString::fromUtf8(p.readAllStandardOutput());
              if (err)
                  *err = QString::fromUtf8(p.readAllStandardError());
              return p.exitCode();
          };
    const QByteArray pw = serverPassword.toUtf8() + '\n';
    QString out, err;
    // Several address books on the server: the user names one.
    newBook();
    QCOMPARE(
        run({ QStringLiteral("sync-setup"), QStringLiteral("--stdin"), serverUrl().toString(), user, fixture.dir() },
            pw, &out, &err),
        1);
    QVERIFY2(err.contains(QStringLiteral("--book")), qPrintable(err));
    QCOMPARE(run({ QStringLiteral("sync-setup"), QStringLiteral("--stdin"), book.toString(), user, fixture.dir() }, pw,
                 &out, &err),
        0);
    QVERIFY2(out.contains(book.toDisplayString()), qPrintable(out + err));

    QCOMPARE(run({ QStringLiteral("sync"), QStringLiteral("--stdin"), fixture.dir() }, pw, &out, &err), 0);
    QCOMPARE(out, counts(2, 0, 0, 0) + u'\n');

    // A conflict: exit status 1, one line for it, both sides kept.
    phonePut(book, QStringLiteral("w.vcf"), phone30);
    {
        OpenFile file(fixture);
        store::ContactTable(file.connection)
            .insertNew(store::Contacts { contact(QStringLiteral("王小明"), QStringLiteral("13600000000")) });
    }
    QCOMPARE(run({ QStringLiteral("sync"), QStringLiteral("--stdin"), fixture.dir() }, pw, &out, &err), 1);
    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), counts(0, 0, 0, 1));
    QVERIFY(lines.at(1).contains(QStringLiteral("王小明")));
    QCOMPARE(run({ QStringLiteral("sync"), QStringLiteral("--stdin"), QStringLiteral("--prefer"),
                     QStringLiteral("server"), fixture.dir() },
                 pw, &out, &err),
        0);
    QCOMPARE(out, counts(0, 1, 0, 0) + u'\n');
    QCOMPARE(fixture.rows(QStringLiteral("姓名='王小明'")),
        QStringList { QStringLiteral("王小明|||13800138000|wxm@example.com||") });

    // A wrong password: refused, nothing changed.
    const QStringList before = sorted(fixture.rows());
    QCOMPARE(run({ QStringLiteral("sync"), QStringLiteral("--stdin"), fixture.dir() }, "wrong\n", &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("401")), qPrintable(err));
    QCOMPARE(sorted(fixture.rows()), before);
    // Bad usage.
    QCOMPARE(run({ QStringLiteral("sync"), QStringLiteral("--prefer"), QStringLiteral("both"), fixture.dir() }, {}), 2);
    QCOMPARE(run({ QStringLiteral("sync-setup"), serverUrl().toString() }, {}), 2);
    QCOMPARE(run({ QStringLiteral("sync-setup"), QStringLiteral("--accept-fingerprint"), QStringLiteral("AB:CD"),
                     serverUrl().toString(), user, fixture.dir() },
                 {}),
        2);
}

void TestSync::toolSpeaksTheLocale_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("args"); // "DIR" stands for a fixture's folder never set up
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");
    const QString c = QStringLiteral("C.UTF-8");
    const QString zh = QStringLiteral("zh_CN.UTF-8");
    const QStringList help { QStringLiteral("sync-setup"), QStringLiteral("--help") };
    QTest::newRow("help, C") << c << help << 0 << "Usage: tongxunlu-db sync-setup [options] URL USER [DIR]";
    QTest::newRow("help, zh_CN") << zh << help << 0 << "用法：tongxunlu-db sync-setup [选项] URL USER [DIR]";
    const QStringList bogus { QStringLiteral("sync"), QStringLiteral("--prefer"), QStringLiteral("both") };
    QTest::newRow("bad usage, C") << c << bogus << 2
                                  << "--prefer takes local or server.\nTry 'tongxunlu-db sync --help'.";
    QTest::newRow("bad usage, zh_CN") << zh << bogus << 2 << "请试试“tongxunlu-db sync --help”。";
    const QStringList notSetUp { QStringLiteral("sync"), QStringLiteral("--stdin"), QStringLiteral("DIR") };
    QTest::newRow("not set up, C") << c << notSetUp << 1 << "is not set up for sync";
    QTest::newRow("not set up, zh_CN") << zh << notSetUp << 1 << "还没有设置同步";
}

// The tool's own texts in one language per run; no Chinese word in the
// English output.
void TestSync::toolSpeaksTheLocale()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    QFETCH(QString, lang);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, expected);
    ContactsFixture fixture(1);
    args.replaceInStrings(QStringLiteral("DIR"), fixture.dir());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : { "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
        env.remove(QLatin1String(var));
    env.insert(QStringLiteral("LANG"), lang);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.write("unused\n");
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == status, qPrintable(out));
    QVERIFY2(out.contains(expected), qPrintable(out));
    if (lang.startsWith(u'C'))
        QVERIFY2(!out.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestSync)
#include "tst_sync.moc"
