// The import rules and the safety of import and export: numbers the editor
// cannot hold are left out rather than the contact, control characters are
// refused, what the editor can store comes back exactly, a pipe is never
// opened and an export never replaces the contacts file or a database.
#include "TestSupport.h"

#include "exchange/Exchange.h"
#include "platform/data/Connection.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using exchange::ContactRecord;
using exchange::ContactRecords;

namespace {

QString fixtureFile(const char *name)
{
    return QStringLiteral(TXL_FIXTURES "/") + QString::fromUtf8(name);
}

QByteArray writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
    return bytes;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct ToolRun {
    int status = -1;
    QString output;
};

ToolRun runTool(const QStringList &args)
{
    QProcess p;
    p.start(qEnvironmentVariable("TXL_DB_TOOL"), args);
    ToolRun run;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        run.output = QStringLiteral("did not finish");
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return run;
}

bool haveTool()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    return !tool.isEmpty() && QFileInfo(tool).isExecutable();
}

ContactRecord record(int line, const QString &name)
{
    ContactRecord r;
    r.line = line;
    r.name = name;
    return r;
}

} // namespace

class TestImportRules : public QObject {
    Q_OBJECT
private slots:
    // The reasons are checked as the window shows them, in Chinese.
    void initTestCase() { QVERIFY(exchange::installChineseTexts()); }
    void numbersLeftOutNotTheContact();
    void controlsRefused_data();
    void controlsRefused();
    void nulNameReproducer();
    void summaryLinesShownSafely();
    void editorValuesComeBackExactly_data();
    void editorValuesComeBackExactly();
    void importRefusesWhatIsNoRegularFile();
    void exportNeverReplacesTheContactsFile_data();
    void exportNeverReplacesTheContactsFile();
    void exportReplacesTextFiles_data();
    void exportReplacesTextFiles();
    void toolRefusesExportOntoTheContactsFile();
};

void TestImportRules::numbersLeftOutNotTheContact()
{
    ContactsFixture fixture;
    fixture.exec(QStringLiteral("insert into data values('王五','男','','','','','一般')"));
    OpenedContacts db(fixture);
    // A Hong Kong mobile and a long QQ; a name over 11 bytes (still
    // skipped); a +86 mobile that fits once normalised.
    exchange::ImportSummary summary = exchange::importFile(db.table, fixtureFile("hk-mobile.vcf"), false);
    QCOMPARE(summary.summaryLine(), QStringLiteral("导入 2 条，跳过 1 条"));
    QCOMPARE(summary.skippedLines(),
        QStringList { QStringLiteral("第 7 行 欧阳司马诸葛：姓名超过 11 个字节（最多 5 个汉字）") });
    QCOMPARE(summary.leftOutLines(),
        QStringList({ QStringLiteral("第 1 行 陈大文：手机号码未导入：“+852 9123 4567”超过 11 个字节"),
            QStringLiteral("第 1 行 陈大文：QQ号码未导入：“1234567890123”超过 11 个字节") }));
    // Landlines with an area code: the one that fits is kept as written.
    summary = exchange::importFile(db.table, fixtureFile("landline.csv"), false);
    QCOMPARE(summary.summaryLine(), QStringLiteral("导入 2 条，跳过 0 条"));
    QCOMPARE(summary.detailLines(),
        QStringList { QStringLiteral("第 2 行 李四：手机号码未导入：“0755-8888 8888”超过 11 个字节") });
    QCOMPARE(fixture.rows(),
        QStringList({ QStringLiteral("王五|男|||||一般"), QStringLiteral("陈大文||||||"),
            QStringLiteral("张三|||13800138000|||"), QStringLiteral("李四|||||深圳市|"),
            QStringLiteral("赵六|||010-1234567||北京市|") }));

    // A contact skipped as a duplicate has no number to report.
    summary = exchange::importFile(db.table, fixtureFile("hk-mobile.vcf"), false);
    QCOMPARE(summary.leftOut.size(), size_t(0));
    QCOMPARE(summary.skipped.size(), size_t(3));
}

void TestImportRules::controlsRefused_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("NUL inside the name") << 0 << QString::fromUtf16(u"a\0b", 3)
                                         << QStringLiteral("姓名含有控制字符 U+0000");
    QTest::newRow("NUL at the end of the name, not trimmed away")
        << 0 << QString::fromUtf16(u"张三\0", 3) << QStringLiteral("姓名含有控制字符 U+0000");
    QTest::newRow("escape in the sex") << 1 << QStringLiteral("\x1b[31m") << QStringLiteral("性别含有控制字符 U+001B");
    QTest::newRow("bell in the QQ") << 2 << QStringLiteral("123\a") << QStringLiteral("QQ号码含有控制字符 U+0007");
    QTest::newRow("CR in the mobile") << 3 << QStringLiteral("138\r00138000")
                                      << QStringLiteral("手机号码含有控制字符 U+000D");
    QTest::newRow("unit separator in the e-mail")
        << 4 << QStringLiteral("a\x1f@b.c") << QStringLiteral("电子邮件含有控制字符 U+001F");
    QTest::newRow("line break in the address")
        << 5 << QStringLiteral("第一行\n第二行") << QStringLiteral("家庭住址含有控制字符 U+000A");
    QTest::newRow("NUL in the group") << 6 << QString::fromUtf16(u"朋\0友", 3)
                                      << QStringLiteral("组名含有控制字符 U+0000");
}

void TestImportRules::controlsRefused()
{
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    ContactsFixture fixture;
    ContactRecords in { record(2, QStringLiteral("甲")), record(3, QStringLiteral("乙")) };
    in[1].field(column) = value;
    // A tab is no control here: it is kept inside a value.
    in[0].address = QStringLiteral("北京\t朝阳");
    OpenedContacts db(fixture);
    const exchange::ImportSummary summary = exchange::importContacts(db.table, in, false);
    QCOMPARE(summary.imported, 1);
    QCOMPARE(summary.skipped.size(), size_t(1));
    QCOMPARE(summary.skipped.front().line, 3);
    QCOMPARE(summary.skipped.front().reason, reason);
    QCOMPARE(fixture.rows(), QStringList { QStringLiteral("甲|||||北京\t朝阳|") });
}

void TestImportRules::nulNameReproducer()
{
    // A quoted-printable =00 in a name: the record is skipped with its
    // reason, nothing with a NUL is stored, so no export can carry one.
    const QString file = fixtureFile("nul-name.vcf");
    ContactsFixture fixture;
    {
        OpenedContacts db(fixture);
        const exchange::ImportSummary summary = exchange::importFile(db.table, file, false);
        QCOMPARE(summary.summaryLine(), QStringLiteral("导入 0 条，跳过 1 条"));
        QCOMPARE(summary.skippedLines(), QStringList { QStringLiteral("第 1 行 a␀b：姓名含有控制字符 U+0000") });
    }
    QVERIFY(fixture.rows().isEmpty());
    if (!haveTool())
        QSKIP("the database tool is not built");
    const ToolRun run = runTool({ QStringLiteral("import"), file, fixture.dir() });
    QCOMPARE(run.status, 0);
    QVERIFY2(run.output.contains(
                 QStringLiteral("Imported 0, skipped 1\nLine 1, a␀b: 姓名 holds the control character U+0000\n")),
        qPrintable(run.output));
    QVERIFY(fixture.rows().isEmpty());
}

void TestImportRules::summaryLinesShownSafely()
{
    exchange::ImportSummary summary;
    const QString longName = QString(100, QChar(u'长'));
    summary.skipped.push_back({ 2, longName, QStringLiteral("姓名超过 11 个字节（最多 5 个汉字）"), QString(), 0 });
    summary.skipped.push_back(
        { 3, QStringLiteral("\x1b]0;x\a"), QStringLiteral("姓名含有控制字符 U+001B"), QString(), 0 });
    // A cut never splits a character outside the basic plane.
    const QString emoji = QString(39, QChar(u'a')) + QStringLiteral("😀😀");
    summary.leftOut.push_back(
        { 4, QStringLiteral("甲"), QStringLiteral("手机号码未导入：“%1”超过 11 个字节"), emoji, 0 });
    QCOMPARE(summary.detailLines(40),
        QStringList({ QStringLiteral("第 2 行 ") + QString(40, QChar(u'长'))
                + QStringLiteral("…：姓名超过 11 个字节（最多 5 个汉字）"),
            QStringLiteral("第 3 行 ␛]0;x␇：姓名含有控制字符 U+001B"),
            QStringLiteral("第 4 行 甲：手机号码未导入：“") + QString(39, QChar(u'a'))
                + QStringLiteral("…”超过 11 个字节") }));
    QCOMPARE(summary.skippedLines().constFirst(),
        QStringLiteral("第 2 行 ") + longName + QStringLiteral("：姓名超过 11 个字节（最多 5 个汉字）"));
}

void TestImportRules::editorValuesComeBackExactly_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("encoding");
    QTest::newRow("vCard") << int(exchange::FileFormat::VCard) << int(exchange::CsvEncoding::Utf8);
    QTest::newRow("CSV UTF-8") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Utf8);
    QTest::newRow("CSV GBK") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Gbk);
}

void TestImportRules::editorValuesComeBackExactly()
{
    QFETCH(int, format);
    QFETCH(int, encoding);
    // Values the editor stores: each text box trimmed, name, mobile and QQ
    // at most 11 bytes; a typed sex; a group from an earlier import.
    const QList<store::Contact> stored = {
        { QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("123456789"), QStringLiteral("010-1234567"),
            QStringLiteral("a,b@example.com"), QStringLiteral("北京市\t朝阳区"), QStringLiteral("朋友") },
        { QStringLiteral("Anne Lee"), QStringLiteral("女"), QStringLiteral("12 34-56"), QStringLiteral("(0755)88888"),
            QStringLiteral("anne@example.com"), QStringLiteral("1 Main St; Apt 2, \"Rear\""), QStringLiteral("同事") },
        { QStringLiteral("O'Brien;\\x"), QStringLiteral("未知"), QString(), QStringLiteral("+8529123456"), QString(),
            QStringLiteral("=1+2"), QStringLiteral("老乡") },
        { QStringLiteral("李 四"), QString(), QString(), QStringLiteral("138 0013 80"), QString(), QString(),
            QStringLiteral("家人") },
        { QStringLiteral("王五"), QString(), QString(), QStringLiteral("13800138000"), QString(),
            QString(200, QChar(u'长')), QStringLiteral("一般") },
    };
    ContactsFixture source;
    {
        OpenedContacts db(source);
        QCOMPARE(db.table.insertNew(store::Contacts(stored.begin(), stored.end())).inserted, int(stored.size()));
    }
    const QString file = QDir(source.dir()).filePath(QStringLiteral("out.file"));
    {
        OpenedContacts db(source);
        exchange::exportFile(file, exchange::recordsOf(db.table.all()), exchange::FileFormat(format),
            exchange::CsvEncoding(encoding), db.connection.databaseFile());
    }
    ContactsFixture target;
    {
        OpenedContacts db(target);
        const exchange::ImportSummary summary = exchange::importFile(db.table, file, false);
        QCOMPARE(summary.detailLines(), QStringList());
        QCOMPARE(summary.imported, int(stored.size()));
    }
    QCOMPARE(target.rows(), source.rows());
}

void TestImportRules::importRefusesWhatIsNoRegularFile()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.vcf"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = dir.filePath(QStringLiteral("s.csv"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socketPath);
    QVERIFY(size_t(native.size()) < sizeof(address.sun_path));
    memcpy(address.sun_path, native.constData(), size_t(native.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    const QString link = dir.filePath(QStringLiteral("link.vcf"));
    QVERIFY(QFile::link(fifo, link));

    for (const QString &path : { fifo, socketPath, QStringLiteral("/dev/zero"), link }) {
        QElapsedTimer timer;
        timer.start();
        try {
            exchange::readContactsFile(path);
            QFAIL(qPrintable(path + QStringLiteral(" was read")));
        } catch (const exchange::ExchangeError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("不是普通文件")), qPrintable(e.message()));
        }
    }
    if (haveTool()) {
        // The tool, too, ends at once with a refusal instead of waiting for a writer.
        ContactsFixture fixture;
        const ToolRun run = runTool({ QStringLiteral("import"), fifo, fixture.dir() });
        QCOMPARE(run.status, 1);
        QVERIFY2(run.output.contains(QStringLiteral("is not a regular file")), qPrintable(run.output));
    }
    ::close(fd);
}

void TestImportRules::exportNeverReplacesTheContactsFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("the file itself") << "itself" << QStringLiteral("就是通讯录的数据文件");
    QTest::newRow("through ..") << "dots" << QStringLiteral("就是通讯录的数据文件");
    QTest::newRow("through a symbolic link") << "symlink" << QStringLiteral("就是通讯录的数据文件");
    QTest::newRow("through a hard link") << "hardlink" << QStringLiteral("就是通讯录的数据文件");
    QTest::newRow("a backup") << "backup" << QStringLiteral("备份文件夹里");
    QTest::newRow("a hard link to a backup") << "backuplink" << QStringLiteral("数据文件的备份");
    QTest::newRow("a new name among the backups") << "intobackups" << QStringLiteral("备份文件夹里");
    QTest::newRow("a copy of it (SQLCipher)") << "copy" << QStringLiteral("不是文本、vCard 或 CSV 文件");
    QTest::newRow("a plain SQLite file") << "sqlite" << QStringLiteral("不是文本、vCard 或 CSV 文件");
    QTest::newRow("a named pipe") << "fifo" << QStringLiteral("不是普通文件");
    QTest::newRow("a folder") << "folder" << QStringLiteral("是文件夹");
}

void TestImportRules::exportNeverReplacesTheContactsFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    ContactsFixture fixture(20);
    const QString data = fixture.databasePath();
    const QDir base(fixture.dir());
    QVERIFY(base.mkpath(QStringLiteral("DataBase/backups")));
    const QString backup = base.filePath(QStringLiteral("DataBase/backups/data_txl-20261211-101500.mdb"));
    QVERIFY(QFile::copy(data, backup));
    QString target;
    if (kind == u"itself") {
        target = data;
    } else if (kind == u"dots") {
        target = base.filePath(QStringLiteral("DataBase/backups/../../DataBase/./data_txl.mdb"));
    } else if (kind == u"symlink") {
        target = base.filePath(QStringLiteral("contacts.vcf"));
        QVERIFY(QFile::link(data, target));
    } else if (kind == u"hardlink") {
        target = base.filePath(QStringLiteral("hard.csv"));
        QCOMPARE(::link(QFile::encodeName(data).constData(), QFile::encodeName(target).constData()), 0);
    } else if (kind == u"backup") {
        target = backup;
    } else if (kind == u"backuplink") {
        target = base.filePath(QStringLiteral("old.vcf"));
        QCOMPARE(::link(QFile::encodeName(backup).constData(), QFile::encodeName(target).constData()), 0);
    } else if (kind == u"intobackups") {
        target = base.filePath(QStringLiteral("DataBase/backups/new.vcf"));
    } else if (kind == u"copy") {
        target = base.filePath(QStringLiteral("copy.vcf"));
        QVERIFY(QFile::copy(data, target));
    } else if (kind == u"sqlite") {
        target = base.filePath(QStringLiteral("other.csv"));
        writeFile(target, QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\x01'));
    } else if (kind == u"fifo") {
        target = base.filePath(QStringLiteral("pipe.vcf"));
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    } else if (kind == u"folder") {
        target = base.filePath(QStringLiteral("DataBase"));
    }
    const QByteArray dataHash = fileHash(data);
    const QByteArray backupHash = fileHash(backup);
    const QByteArray targetHash = kind == u"fifo" ? QByteArray() : fileHash(target);
    const QStringList before = fixture.rows();
    {
        OpenedContacts db(fixture);
        try {
            exchange::exportFile(target, exchange::recordsOf(db.table.all()), exchange::FileFormat::VCard,
                exchange::CsvEncoding::Utf8, db.connection.databaseFile());
            QFAIL("the export was written");
        } catch (const exchange::ExchangeError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
    }
    QCOMPARE(fileHash(data), dataHash);
    QCOMPARE(fileHash(backup), backupHash);
    if (kind != u"fifo")
        QCOMPARE(fileHash(target), targetHash);
    QCOMPARE(fixture.rows(), before);
    if (kind == u"intobackups")
        QVERIFY(!QFileInfo::exists(target));
}

void TestImportRules::exportReplacesTextFiles_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an older vCard") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:旧\r\nEND:VCARD\r\n");
    QStringEncoder gbk("GBK");
    QTest::newRow("GBK CSV") << QByteArray(gbk.encode(QStringLiteral("姓名,手机\r\n张三,13800138000\r\n")));
    QTest::newRow("UTF-16 text") << QByteArray("\xFF\xFEh\0i\0\n\0", 8);
    QTest::newRow("plain ASCII notes") << QByteArray("notes\n\tindented\f\n");
}

void TestImportRules::exportReplacesTextFiles()
{
    QFETCH(QByteArray, old);
    ContactsFixture fixture(3);
    const QString target = QDir(fixture.dir()).filePath(QStringLiteral("out.vcf"));
    writeFile(target, old);
    OpenedContacts db(fixture);
    exchange::exportFile(target, exchange::recordsOf(db.table.all()), exchange::FileFormat::VCard,
        exchange::CsvEncoding::Utf8, db.connection.databaseFile());
    QCOMPARE(exchange::readContactsFile(target).size(), size_t(3));
}

void TestImportRules::toolRefusesExportOntoTheContactsFile()
{
    if (!haveTool())
        QSKIP("the database tool is not built");
    ContactsFixture fixture(5);
    const QString data = fixture.databasePath();
    const QString link = QDir(fixture.dir()).filePath(QStringLiteral("all.vcf"));
    QVERIFY(QFile::link(data, link));
    const QByteArray hash = fileHash(data);
    for (const QString &target :
        { data, QDir(fixture.dir()).filePath(QStringLiteral("DataBase/../DataBase/data_txl.mdb")), link }) {
        for (const QString &format : { QStringLiteral("vcard"), QStringLiteral("csv") }) {
            const ToolRun run
                = runTool({ QStringLiteral("export"), QStringLiteral("--format"), format, target, fixture.dir() });
            QCOMPARE(run.status, 1);
            QVERIFY2(run.output.contains(QStringLiteral("就是通讯录的数据文件")), qPrintable(run.output));
            QCOMPARE(fileHash(data), hash);
        }
    }
    // The file still opens with every contact.
    QCOMPARE(fixture.rows().size(), 5);
}

QTEST_GUILESS_MAIN(TestImportRules)
#include "tst_import_rules.moc"
