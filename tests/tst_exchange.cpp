// Contacts in and out: the vCard and CSV readers and writers, the import
// rules, the all-or-nothing write, and the database tool's two commands.
#include "TestSupport.h"

#include "exchange/Csv.h"
#include "exchange/Exchange.h"
#include "exchange/VCard.h"
#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using exchange::ContactRecord;
using exchange::ContactRecords;

namespace {

QByteArray encode(const char *charset, const QString &text)
{
    QStringEncoder encoder(charset);
    QByteArray bytes = encoder.encode(text);
    return bytes;
}

// Quoted-printable as old phones wrote it: every byte escaped, soft line
// breaks after 'width' characters.
QByteArray quotedPrintable(const QByteArray &bytes, int width = 1000)
{
    QByteArray out;
    int col = 0;
    for (unsigned char b : bytes) {
        if (col + 3 > width) {
            out += "=\r\n";
            col = 0;
        }
        out += '=' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        col += 3;
    }
    return out;
}

QString describe(const ContactRecord &r)
{
    return QStringList { r.name, r.sex, r.qq, r.mobile, r.email, r.address, r.group }.join(QLatin1Char('|'));
}

QStringList describeAll(const ContactRecords &records)
{
    QStringList out;
    for (const ContactRecord &r : records)
        out << describe(r);
    return out;
}

QByteArray writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void vcardReading_data();
    void vcardReading();
    void vcardRefused_data();
    void vcardRefused();
    void csvReading_data();
    void csvReading();
    void csvRefused_data();
    void csvRefused();
    void filesRefused();
    void writers();
    void mobileNormalised_data();
    void mobileNormalised();
    void importRules();
    void importIsAllOrNothing();
    void dryRunWritesNothing();
    void roundTrip_data();
    void roundTrip();
    void gbkExportRefusesWhatItCannotWrite();
    void streamedExportWritesTheSameBytes_data();
    void streamedExportWritesTheSameBytes();
    void streamedExportFailingLateKeepsTheOldFile();
    void streamedImportMatchesTheTwoSteps_data();
    void streamedImportMatchesTheTwoSteps();
    void streamedImportIsAllOrNothing();
    void exportIsPrivate();
    void tool();
    void failureDescribed_data();
    void failureDescribed();
    void toolSpeaksTheLocale_data();
    void toolSpeaksTheLocale();
};

// The library's texts read as the window shows them: in Chinese.
void TestExchange::initTestCase()
{
    QVERIFY(exchange::installChineseTexts());
}

void TestExchange::vcardReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    const QByteArray gb2312Card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:"
        + quotedPrintable(encode("GB2312", QStringLiteral("曾"))) + ";"
        + quotedPrintable(encode("GB2312", QStringLiteral("志明"))) + ";;;\r\n"
        + "TEL;HOME:010-12345678\r\nTEL;CELL;PREF:135 1234 5678\r\n"
        + "ADR;HOME;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:;;"
        + quotedPrintable(encode("GB2312", QStringLiteral("朝阳区建国路88号")), 12) + ";"
        + quotedPrintable(encode("GB2312", QStringLiteral("北京市"))) + ";;;\r\nEND:VCARD\r\n";
    QTest::newRow("2.1 GB2312 quoted-printable, soft breaks")
        << gb2312Card << QStringList { QStringLiteral("曾志明|||135 1234 5678||北京市朝阳区建国路88号|") };

    QTest::newRow("3.0 folded, escaped, several cards")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:John Smith\r\nN:Smith;John;;;\r\n"
                      "EMAIL;TYPE=INTERNET:john@exa\r\n mple.com\r\nTEL;TYPE=WORK:+1 555 0100\r\n"
                      "CATEGORIES:同事,朋友\r\nX-QQ:12345\r\nX-GENDER:Male\r\nNOTE:a\\, b\\; c\\n\r\nEND:VCARD\r\n"
                      "\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nN:王;小\\,明;;;\r\nADR;TYPE=WORK:;;工作路1号;;;;\r\n"
                      "ADR;TYPE=HOME:;;人民\r\n\t路2号;上海市;;;\r\nEND:VCARD\r\n")
        << QStringList { QStringLiteral("John Smith|Male|12345|+1 555 0100|john@example.com||同事"),
               QStringLiteral("王小,明|||||上海市人民路2号|") };

    QTest::newRow("4.0 gender, impp, tel uri, utf-8 without charset")
        << QString::fromUtf8("BEGIN:VCARD\nVERSION:4.0\nFN:李雷\nGENDER:F;\nIMPP:qq:987654321\n"
                             "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+86-139-0000-1111\nEND:VCARD\n")
               .toUtf8()
        << QStringList { QStringLiteral("李雷|F|987654321|+86-139-0000-1111|||") };

    QTest::newRow("base64, Big5, UTF-7, lower-case names") << QByteArray(
        "begin:vcard\r\nversion:2.1\r\nfn;charset=big5;encoding=base64:"
        + encode("Big5", QStringLiteral("陳大文")).toBase64() + "\r\nadr;charset=utf-7:;;+UxdOrA-;;;;\r\nend:vcard\r\n")
                                                           << QStringList { QStringLiteral("陳大文|||||北京|") };

    QTest::newRow("BOM, no charset, GBK bytes") << QByteArray("\xEF\xBB\xBF")
            + "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + encode("GBK", QStringLiteral("张;三"))
            + "\r\nEND:VCARD\r\n" << QStringList { QStringLiteral("张三||||||") };
}

void TestExchange::vcardReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QVERIFY(exchange::looksLikeVCard(bytes));
    QCOMPARE(describeAll(exchange::readVCards(bytes)), expected);
}

void TestExchange::vcardRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated card") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nTEL:1380")
                                    << QStringLiteral("第 1 行的名片没有结束");
    QTest::newRow("card inside a card") << QByteArray("BEGIN:VCARD\nFN:a\nBEGIN:VCARD\nFN:b\nEND:VCARD\n")
                                        << QStringLiteral("没有结束");
    QTest::newRow("end without begin") << QByteArray("BEGIN:VCARD\nFN:a\nEND:VCARD\nEND:VCARD\n")
                                       << QStringLiteral("第 4 行有 END:VCARD");
    QTest::newRow("text between cards") << QByteArray("BEGIN:VCARD\nFN:a\nEND:VCARD\nhello\n")
                                        << QStringLiteral("第 4 行不在任何名片之内");
}

void TestExchange::vcardRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    try {
        exchange::readVCards(bytes);
        QFAIL("the file was read");
    } catch (const exchange::ExchangeError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestExchange::csvReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    const QString chinese
        = QStringLiteral("姓名,性别,手机号码,家庭住址,分组\r\n张三,男,13800138000,北京市朝阳区,朋友\r\n");
    const QStringList zhang { QStringLiteral("张三|男||13800138000||北京市朝阳区|朋友") };
    QTest::newRow("GBK") << encode("GBK", chinese) << zhang;
    QTest::newRow("GB18030") << encode("GB18030", chinese) << zhang;
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + chinese.toUtf8() << zhang;
    QTest::newRow("UTF-8 without BOM") << chinese.toUtf8() << zhang;
    QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE") + encode("UTF-16LE", chinese) << zhang;
    QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF") + encode("UTF-16BE", chinese) << zhang;
    QTest::newRow("semicolons") << QStringLiteral("名字;性别;手机\n张三;男;13800138000\n").toUtf8()
                                << QStringList { QStringLiteral("张三|男||13800138000|||") };
    QTest::newRow("tabs, unknown columns, short rows")
        << QStringLiteral("备注\t姓名\tQQ号码\n随便\t李四\t12345\n\t王五\n").toUtf8()
        << QStringList { QStringLiteral("李四||12345||||"), QStringLiteral("王五||||||") };
    QTest::newRow("quotes and line breaks inside fields")
        << QStringLiteral("姓名,地址,电子邮件\r\n\"赵, 六\",\"第一行\r\n第二行\",\"a\"\"b\"\"@x.cn\"\r\n,,\r\n")
               .toUtf8()
        // The address's two lines are kept as one, the way the table holds it.
        << QStringList { QStringLiteral("赵, 六||||a\"b\"@x.cn|第一行第二行|") };
    QTest::newRow("a mail program's English titles")
        << QByteArray("First Name,Last Name,E-mail Address,Mobile Phone,Home Address,Categories,Gender\r\n"
                      "John,Smith,j@x.com,555,1 Main St,Work,Male\r\n")
            + QStringLiteral("三,张,,13900000000,,,Female\r\n").toUtf8()
        << QStringList { QStringLiteral("John Smith|Male||555|j@x.com|1 Main St|Work"),
               QStringLiteral("张三|Female||13900000000|||") };
}

void TestExchange::csvReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QVERIFY(!exchange::looksLikeVCard(bytes));
    QCOMPARE(describeAll(exchange::readCsv(bytes)), expected);
}

void TestExchange::csvRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("no header") << QStringLiteral("张三,男,13800138000\n").toUtf8()
                               << QStringLiteral("没有可识别的标题行");
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QStringLiteral("不是文本文件");
    QTest::newRow("neither UTF-8 nor GB18030")
        << QByteArray("\xFF\xFF\xFF\x80\x80\x30\xFE\x01,\x81\x30\x81") << QStringLiteral("无法识别文件的编码");
    QTest::newRow("unfinished quote") << QStringLiteral("姓名,地址\n张三,\"北京\n").toUtf8()
                                      << QStringLiteral("第 2 行的引号没有结束");
    QTest::newRow("only blank lines") << QByteArray("\r\n\r\n") << QStringLiteral("空");
}

void TestExchange::csvRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    try {
        exchange::readCsv(bytes);
        QFAIL("the file was read");
    } catch (const exchange::ExchangeError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestExchange::filesRefused()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.csv"));
    writeFile(empty, QByteArray());
    const QString bom = dir.filePath(QStringLiteral("bom.csv"));
    writeFile(bom, "\xEF\xBB\xBF\r\n");
    const QString garbage = dir.filePath(QStringLiteral("garbage.vcf"));
    QByteArray random(4096, Qt::Uninitialized);
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 256);
    writeFile(garbage, random);
    // A huge file is refused before it is read: a sparse file costs no disk.
    const QString huge = dir.filePath(QStringLiteral("huge.csv"));
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(1) << 30));
    }
    const QList<std::pair<QString, QString>> cases = {
        { empty, QStringLiteral("是空的") },
        { bom, QStringLiteral("是空的") },
        { garbage, QStringLiteral("不是文本文件") },
        { huge, QStringLiteral("太大") },
        { dir.path(), QStringLiteral("是文件夹") },
        { dir.filePath(QStringLiteral("missing.vcf")), QStringLiteral("找不到文件") },
    };
    for (const auto &[path, message] : cases) {
        try {
            exchange::readContactsFile(path);
            QFAIL(qPrintable(path + QStringLiteral(" was read")));
        } catch (const exchange::ExchangeError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
    }
}

void TestExchange::writers()
{
    ContactRecord r;
    r.name = QStringLiteral("张三");
    r.sex = QStringLiteral("男");
    r.qq = QStringLiteral("12345");
    r.mobile = QStringLiteral("13800138000");
    r.email = QStringLiteral("zhang@example.com");
    r.address = QStringLiteral("北京市朝阳区,建国路;88号\\甲") + QString(30, QChar(u'长'));
    r.group = QStringLiteral("朋友");
    const QByteArray card = exchange::writeVCards({ r });
    QVERIFY(card.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\nN:张三;;;;\r\nFN:张三\r\nTEL;TYPE=CELL:13800138000\r\n"));
    QVERIFY(card.contains("ADR;TYPE=HOME:;;北京市朝阳区\\,建国路\\;88号\\\\甲"));
    QVERIFY(card.contains("CATEGORIES:朋友\r\nX-GENDER:男\r\nX-QQ:12345\r\nEND:VCARD\r\n"));
    // Every physical line holds at most 75 octets and the text stays valid UTF-8.
    for (const QByteArray &line : card.split('\n')) {
        QVERIFY2(line.size() <= 76, line.constData()); // with its CR
        QVERIFY(!QString::fromUtf8(line).contains(QChar::ReplacementCharacter));
    }
    QCOMPARE(describeAll(exchange::readVCards(card)), QStringList { describe(r) });

    const QByteArray csv = exchange::writeCsv({ r }, exchange::CsvEncoding::Utf8);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.contains(QStringLiteral("姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名\r\n").toUtf8()));
    QVERIFY(csv.contains(QStringLiteral(",\"北京市朝阳区,建国路;88号").toUtf8()));
    const QByteArray gbk = exchange::writeCsv({ r }, exchange::CsvEncoding::Gbk);
    QVERIFY(gbk.startsWith(encode("GBK", QStringLiteral("姓名,性别"))));
    QCOMPARE(describeAll(exchange::readCsv(gbk)), QStringList { describe(r) });
}

void TestExchange::mobileNormalised_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("spaces and dashes") << QStringLiteral("138 0013-8000") << QStringLiteral("13800138000");
    QTest::newRow("+86") << QStringLiteral("+86 138 0013 8000") << QStringLiteral("13800138000");
    QTest::newRow("0086") << QStringLiteral("0086-13800138000") << QStringLiteral("13800138000");
    QTest::newRow("86") << QStringLiteral("8613800138000") << QStringLiteral("13800138000");
    QTest::newRow("brackets") << QStringLiteral("(+86) 138 0013 8000") << QStringLiteral("13800138000");
    QTest::newRow("full-width brackets") << QStringLiteral("（+86）13800138000") << QStringLiteral("13800138000");
    // Only a mobile is rewritten; any other number keeps the form it was written in.
    QTest::newRow("landline with dash stays") << QStringLiteral("010-1234567") << QStringLiteral("010-1234567");
    QTest::newRow("landline in brackets stays")
        << QStringLiteral("(010) 8888-6666") << QStringLiteral("(010) 8888-6666");
    QTest::newRow("+86 before a landline stays")
        << QStringLiteral("+86 10 8888 6666") << QStringLiteral("+86 10 8888 6666");
    QTest::newRow("86 before 10 digits stays") << QStringLiteral("861380013800") << QStringLiteral("861380013800");
    QTest::newRow("Hong Kong mobile stays") << QStringLiteral("+852 9123 4567") << QStringLiteral("+852 9123 4567");
    QTest::newRow("12 digits stay") << QStringLiteral("138-0013-80001") << QStringLiteral("138-0013-80001");
    // Only ASCII digits make a mobile: full-width or other digits are kept
    // as typed, whole or in part.
    QTest::newRow("full-width digits stay")
        << QStringLiteral("１３８ ００１３ ８０００") << QStringLiteral("１３８ ００１３ ８０００");
    QTest::newRow("one full-width digit stays") << QStringLiteral("1380013800０") << QStringLiteral("1380013800０");
    QTest::newRow("+86 alone stays") << QStringLiteral("+86") << QStringLiteral("+86");
    QTest::newRow("11 digits not starting with 1 stay")
        << QStringLiteral("23800138000") << QStringLiteral("23800138000");
}

void TestExchange::mobileNormalised()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(exchange::normalizedMobile(in), out);
}

void TestExchange::importRules()
{
    ContactsFixture fixture;
    fixture.exec(QStringLiteral("insert into data values('王五','男','','','','','一般')"));
    ContactRecords in;
    auto add = [&](int line, const QString &name, const QString &mobile = QString(), const QString &qq = QString(),
                   const QString &sex = QString(), const QString &group = QString()) {
        ContactRecord r;
        r.line = line;
        r.name = name;
        r.mobile = mobile;
        r.qq = qq;
        r.sex = sex;
        r.group = group;
        r.address = QStringLiteral("  北京 ");
        in.push_back(r);
    };
    add(2, QStringLiteral("  张三 "), QStringLiteral("+86 138-0013-8000"), QString(), QStringLiteral("M"),
        QStringLiteral("老乡"));
    add(3, QStringLiteral("   "));
    add(4, QStringLiteral("王五"));
    add(5, QStringLiteral("张三"), QStringLiteral("139"));
    add(6, QStringLiteral("欧阳司马诸葛"));
    add(7, QStringLiteral("李四"), QStringLiteral("138001380001"));
    add(8, QStringLiteral("赵六"), QString(), QStringLiteral("123456789012"));
    add(9, QStringLiteral("O'Brien"), QString(), QString(), QStringLiteral("female"));
    add(10, QStringLiteral("Abcdefghijk"), QString(), QString(), QStringLiteral("未知"));

    OpenedContacts db(fixture);
    const exchange::ImportSummary summary = exchange::importContacts(db.table, in, false);
    QCOMPARE(summary.summaryLine(), QStringLiteral("导入 5 条，跳过 4 条"));
    QCOMPARE(summary.skippedLines(),
        QStringList({ QStringLiteral("第 3 行：没有姓名"), QStringLiteral("第 4 行 王五：与已有的联系人重名"),
            QStringLiteral("第 5 行 张三：与第 2 行重名"),
            QStringLiteral("第 6 行 欧阳司马诸葛：姓名超过 11 个字节（最多 5 个汉字）") }));
    // A number too long for the editor is left out, the contact kept.
    QCOMPARE(summary.leftOutLines(),
        QStringList({ QStringLiteral("第 7 行 李四：手机号码未导入：“138001380001”超过 11 个字节"),
            QStringLiteral("第 8 行 赵六：QQ号码未导入：“123456789012”超过 11 个字节") }));
    // A sex other than the usual spellings is kept as it stands.
    QCOMPARE(fixture.rows(),
        QStringList({ QStringLiteral("王五|男|||||一般"), QStringLiteral("张三|男||13800138000||北京|老乡"),
            QStringLiteral("李四|||||北京|"), QStringLiteral("赵六|||||北京|"), QStringLiteral("O'Brien|女||||北京|"),
            QStringLiteral("Abcdefghijk|未知||||北京|") }));
}

void TestExchange::importIsAllOrNothing()
{
    ContactsFixture fixture(5);
    // A write that fails half-way: the table refuses one name.
    fixture.exec(QStringLiteral("create trigger refuse before insert on data when new.姓名 = '坏' "
                                "begin select raise(abort, 'refused by the file'); end;"));
    const QStringList before = fixture.rows();
    ContactRecords in(3);
    in[0].name = QStringLiteral("甲");
    in[1].name = QStringLiteral("坏");
    in[2].name = QStringLiteral("乙");
    OpenedContacts db(fixture);
    QVERIFY_THROWS_EXCEPTION(txl::DataError, exchange::importContacts(db.table, in, false));
    QCOMPARE(fixture.rows(), before);

    // Cancelled through the progress callback: nothing stays either.
    ContactRecords many(2500);
    for (size_t i = 0; i < many.size(); ++i)
        many[i].name = QStringLiteral("人") + QString::number(i);
    QVERIFY_THROWS_EXCEPTION(exchange::ExchangeError,
        exchange::importContacts(db.table, many, false, [](int done, int) { return done < 2000; }));
    QCOMPARE(fixture.rows(), before);
    // The connection is usable afterwards.
    QCOMPARE(exchange::importContacts(db.table, many, false).imported, 2500);
    QCOMPARE(fixture.rows().size(), before.size() + 2500);
}

void TestExchange::dryRunWritesNothing()
{
    ContactsFixture fixture(3);
    const QByteArray hash = fileHash(fixture.databasePath());
    ContactRecords in(2);
    in[0].name = QStringLiteral("甲");
    in[1].name = QStringLiteral("甲");
    {
        OpenedContacts db(fixture);
        const exchange::ImportSummary summary = exchange::importContacts(db.table, in, true);
        QCOMPARE(summary.summaryLine(), QStringLiteral("导入 1 条，跳过 1 条"));
    }
    QCOMPARE(fileHash(fixture.databasePath()), hash);
}

void TestExchange::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("encoding");
    QTest::newRow("vCard") << int(exchange::FileFormat::VCard) << int(exchange::CsvEncoding::Utf8);
    QTest::newRow("CSV UTF-8") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Utf8);
    QTest::newRow("CSV GBK") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Gbk);
}

void TestExchange::roundTrip()
{
    QFETCH(int, format);
    QFETCH(int, encoding);
    ContactsFixture source(300);
    source.exec(QStringLiteral("insert into data values('Anne Lee','女','','','a@b.c','1 Main St, Apt 2','同事')"));
    source.exec(QStringLiteral("insert into data values('引号\"人','男','','','','第一行\t第二行','a,b;c')"));
    const QString file = QDir(source.dir()).filePath(QStringLiteral("out.file"));
    {
        OpenedContacts db(source);
        exchange::exportFile(
            file, exchange::recordsOf(db.table.all()), exchange::FileFormat(format), exchange::CsvEncoding(encoding));
    }
    ContactsFixture target;
    {
        OpenedContacts db(target);
        const exchange::ImportSummary summary = exchange::importFile(db.table, file, false);
        QCOMPARE(summary.skipped.size(), size_t(0));
        QCOMPARE(summary.imported, 302);
    }
    QCOMPARE(target.rows(), source.rows());
}

void TestExchange::gbkExportRefusesWhatItCannotWrite()
{
    ContactsFixture fixture;
    fixture.exec(QStringLiteral("insert into data values('张三','男','','','','','朋友')"));
    fixture.exec(QStringLiteral("insert into data values('表情','男','','','','笑😀','朋友')"));
    const QString file = QDir(fixture.dir()).filePath(QStringLiteral("old.csv"));
    const QByteArray old = writeFile(file, "an older export\n");
    OpenedContacts db(fixture);
    try {
        exchange::exportFile(
            file, exchange::recordsOf(db.table.all()), exchange::FileFormat::Csv, exchange::CsvEncoding::Gbk);
        QFAIL("GBK export wrote a character GBK does not have");
    } catch (const exchange::ExchangeError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("第 3 行")), qPrintable(e.message()));
    }
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
}

// The export of a whole table streams its rows through the writers; it must
// write exactly what the writers make of the same contacts as a list. Rows
// that test the decoding of stored text (a leading U+FEFF, a character off
// the basic plane, a NULL column), folding, escapes, quotes and the formula
// guard; and, with many contacts, a text larger than the writer's buffer,
// so it is handed to the file in several pieces.
void TestExchange::streamedExportWritesTheSameBytes_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("samples");
    QTest::newRow("vCard") << int(exchange::FileFormat::VCard) << int(exchange::CsvEncoding::Utf8) << 20;
    QTest::newRow("CSV UTF-8") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Utf8) << 20;
    QTest::newRow("CSV GBK") << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Gbk) << 20;
    QTest::newRow("vCard over several pieces")
        << int(exchange::FileFormat::VCard) << int(exchange::CsvEncoding::Utf8) << 6000;
    QTest::newRow("CSV over several pieces")
        << int(exchange::FileFormat::Csv) << int(exchange::CsvEncoding::Gbk) << 15000;
}

void TestExchange::streamedExportWritesTheSameBytes()
{
    QFETCH(int, format);
    QFETCH(int, encoding);
    QFETCH(int, samples);
    const bool gbk = exchange::CsvEncoding(encoding) == exchange::CsvEncoding::Gbk;
    ContactsFixture fixture(samples);
    fixture.exec(QStringLiteral("insert into data values('引号\"人','男',NULL,'+8613800138000','=SUM(A1)',"
                                "'第一行' || char(13,10) || '第二行;逗号,反斜杠\\','-组')"));
    fixture.exec(QStringLiteral("insert into data values('长地址','女','@qq','','a@b.c','%1','')")
                     .arg(QStringLiteral("北京市朝阳区建国路八十八号院").repeated(6)));
    if (!gbk) {
        fixture.exec(QStringLiteral("insert into data values('%1标记','','','','','笑😀','')").arg(QChar(0xFEFF)));
        fixture.exec(QStringLiteral("insert into data values('Anne Lee','F','','','anne@example.org','1 Main St','')"));
    }
    const QString file = QDir(fixture.dir()).filePath(QStringLiteral("out.file"));
    OpenedContacts db(fixture);
    const exchange::ContactRecords list = exchange::recordsOf(db.table.all());
    QCOMPARE(exchange::exportTable(file, db.table, exchange::FileFormat(format), exchange::CsvEncoding(encoding)),
        list.size());
    const QByteArray expected
        = exchange::exportBytes(list, exchange::FileFormat(format), exchange::CsvEncoding(encoding));
    QVERIFY(expected.size() > 1000);
    const QByteArray written = readAll(file);
    QCOMPARE(written.size(), expected.size());
    QVERIFY(written == expected);
    QCOMPARE(permissionBits(file), QStringLiteral("600"));
}

// A GBK export that meets a character GBK lacks after a megabyte has gone to
// the temporary file: the old file stays as it was and no temporary file is
// left beside it.
void TestExchange::streamedExportFailingLateKeepsTheOldFile()
{
    ContactsFixture fixture(15000);
    fixture.exec(QStringLiteral("insert into data values('表情','男','','','','笑😀','朋友')"));
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("old.csv"));
    const QByteArray old = writeFile(file, "an older export\n");
    OpenedContacts db(fixture);
    try {
        exchange::exportTable(file, db.table, exchange::FileFormat::Csv, exchange::CsvEncoding::Gbk);
        QFAIL("GBK export wrote a character GBK does not have");
    } catch (const exchange::ExchangeError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("第 15002 行")), qPrintable(e.message()));
    }
    QCOMPARE(readAll(file), old);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("old.csv") });
}

// The import that streams a file's records into the table must give what the
// two steps (all records read, the rules applied, then stored) give: the
// same summary, word for word and in order, and the same rows.
void TestExchange::streamedImportMatchesTheTwoSteps_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("dryRun");
    const QByteArray csv = QStringLiteral("姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名\r\n"
                                          "  张三 ,M,,+86 138-0013-8000,,  北京 ,老乡\r\n" // line 2: cleaned
                                          ",,,,,,\r\n" // no name
                                          "王五,,,,,,\r\n" // stored already
                                          "张三,,,139,,,\r\n" // given at line 2
                                          "欧阳司马诸葛,,,,,,\r\n" // too long
                                          "李四,,,138001380001,,,\r\n" // mobile left out
                                          "赵六,,123456789012,,,,\r\n" // QQ left out
                                          "李四,,,999999999999,,,\r\n" // a duplicate: its long mobile is no news
                                          "\"甲\u0001乙\",,,,,,\r\n" // a control character
                                          "\"多\r\n行\",,,,,,\r\n" // a name over two lines
                                          "王五,,,,,,\r\n"
                                          "O'Brien,female,,,,,\r\n")
                               .toUtf8();
    QTest::newRow("CSV") << csv << false;
    QTest::newRow("CSV, dry run") << csv << true;
    QTest::newRow("vCard") << QStringLiteral(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nTEL;TYPE=CELL:0086 139 0000 "
        "1111\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:王五\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nX-QQ:1234567890123\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:李四\r\nX-QQ:1234567890123\r\nEND:VCARD\r\n")
                                  .toUtf8()
                           << false;
}

void TestExchange::streamedImportMatchesTheTwoSteps()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, dryRun);
    ContactsFixture streamed;
    ContactsFixture twoSteps;
    for (const ContactsFixture *f : { &streamed, &twoSteps })
        f->exec(QStringLiteral("insert into data values('王五','男','','','','','一般')"));
    exchange::ImportSummary expected;
    {
        OpenedContacts db(twoSteps);
        expected = exchange::importContacts(
            db.table, exchange::looksLikeVCard(file) ? exchange::readVCards(file) : exchange::readCsv(file), dryRun);
    }
    exchange::ImportSummary summary;
    {
        OpenedContacts db(streamed);
        summary = exchange::importBytes(db.table, file, dryRun);
    }
    QCOMPARE(summary.imported, expected.imported);
    QVERIFY(summary.imported > 0);
    QVERIFY(!summary.skipped.empty());
    QCOMPARE(summary.summaryLine(), expected.summaryLine());
    QCOMPARE(summary.skippedLines(), expected.skippedLines());
    QCOMPARE(summary.leftOutLines(), expected.leftOutLines());
    QCOMPARE(streamed.rows(), twoSteps.rows());
}

// An error found late in the file, a failed write and a cancel each leave the
// table as it was, though earlier records were stored on the way.
void TestExchange::streamedImportIsAllOrNothing()
{
    ContactsFixture fixture(5);
    fixture.exec(QStringLiteral("create trigger refuse before insert on data when new.姓名 = '坏' "
                                "begin select raise(abort, 'refused by the file'); end;"));
    const QStringList before = fixture.rows();
    QByteArray good = "姓名,手机号码\r\n";
    for (int i = 0; i < 2500; ++i)
        good += "人" + QByteArray::number(i) + ",13800138000\r\n";
    OpenedContacts db(fixture);

    QVERIFY_THROWS_EXCEPTION(exchange::ExchangeError, exchange::importBytes(db.table, good + "\"不完整,1\r\n", false));
    QCOMPARE(fixture.rows(), before);
    QVERIFY_THROWS_EXCEPTION(txl::DataError, exchange::importBytes(db.table, good + "坏,1\r\n", false));
    QCOMPARE(fixture.rows(), before);
    QVERIFY_THROWS_EXCEPTION(exchange::ExchangeError,
        exchange::importBytes(db.table, good, false, [](int done, int) { return done < 2000; }));
    QCOMPARE(fixture.rows(), before);
    // The connection is usable afterwards.
    QCOMPARE(exchange::importBytes(db.table, good, false).imported, 2500);
    QCOMPARE(fixture.rows().size(), before.size() + 2500);
}

void TestExchange::exportIsPrivate()
{
    // An export holds the contacts in plain text: the owner's alone, also
    // when it replaces a file others could read.
    useUsualUmask();
    QTemporaryDir dir;
    ContactRecords records(1);
    records[0].name = QStringLiteral("张三");
    records[0].mobile = QStringLiteral("13800138000");
    for (const exchange::FileFormat format : { exchange::FileFormat::VCard, exchange::FileFormat::Csv }) {
        const QString fresh
            = dir.filePath(format == exchange::FileFormat::Csv ? QStringLiteral("new.csv") : QStringLiteral("new.vcf"));
        exchange::exportFile(fresh, records, format);
        QCOMPARE(permissionBits(fresh), QStringLiteral("600"));
        QCOMPARE(exchange::readContactsFile(fresh).size(), size_t(1));
    }
    const QString old = dir.filePath(QStringLiteral("old.vcf"));
    writeFile(old, "BEGIN:VCARD\r\nFN:李四\r\nEND:VCARD\r\n");
    QVERIFY(QFile::setPermissions(old, QFile::permissions(old) | QFileDevice::ReadOther | QFileDevice::ReadGroup));
    exchange::exportFile(old, records, exchange::FileFormat::VCard);
    QCOMPARE(permissionBits(old), QStringLiteral("600"));
    const QStringList read = describeAll(exchange::readContactsFile(old));
    QCOMPARE(read.size(), 1);
    QVERIFY2(read.constFirst().startsWith(QStringLiteral("张三")), qPrintable(read.constFirst()));
}

void TestExchange::tool()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty() || !QFileInfo(tool).isExecutable())
        QSKIP("the database tool is not built");
    ContactsFixture fixture;
    fixture.exec(QStringLiteral("insert into data values('李四','女','','','','','同事')"));
    const QString dir = fixture.dir();
    const QString csv = QDir(dir).filePath(QStringLiteral("contacts.csv"));
    writeFile(csv,
        encode(
            "GBK", QStringLiteral("姓名,性别,手机,家庭住址\r\n张三,男,+86 13800138000,北京市朝阳区\r\n李四,女,,\r\n")));
    auto run = [&](const QStringList &args, int expectedStatus) {
        QProcess p;
        p.start(tool, args);
        if (!p.waitForFinished(60000))
            qFatal("the tool did not finish");
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != expectedStatus)
            qWarning("%s", qPrintable(out));
        return std::make_pair(p.exitCode(), out);
    };
    const QByteArray hash = fileHash(fixture.databasePath());
    auto [status, out] = run({ QStringLiteral("import"), QStringLiteral("--dry-run"), csv, dir }, 0);
    QCOMPARE(status, 0);
    QVERIFY2(out.contains(QStringLiteral("Imported 1, skipped 1")), qPrintable(out));
    QCOMPARE(fileHash(fixture.databasePath()), hash);

    std::tie(status, out) = run({ QStringLiteral("import"), csv, dir }, 0);
    QCOMPARE(status, 0);
    QVERIFY2(out.contains(QStringLiteral("Imported 1, skipped 1\nLine 3, 李四: the same name as a stored contact")),
        qPrintable(out));
    QCOMPARE(fixture.rows(QStringLiteral("姓名='张三'")),
        QStringList { QStringLiteral("张三|男||13800138000||北京市朝阳区|") });

    // Refusals: exit status 1, the file as it was.
    const QByteArray after = fileHash(fixture.databasePath());
    const QString bad = QDir(dir).filePath(QStringLiteral("bad.vcf"));
    writeFile(bad, "BEGIN:VCARD\r\nFN:王\r\n");
    for (const QString &file : { bad, QDir(dir).filePath(QStringLiteral("missing.csv")), dir }) {
        std::tie(status, out) = run({ QStringLiteral("import"), file, dir }, 1);
        QCOMPARE(status, 1);
        QVERIFY(out.startsWith(QStringLiteral("tongxunlu-db: ")));
    }
    QCOMPARE(fileHash(fixture.databasePath()), after);

    const QString vcf = QDir(dir).filePath(QStringLiteral("all.vcf"));
    std::tie(status, out) = run({ QStringLiteral("export"), vcf, dir }, 0);
    QCOMPARE(status, 0);
    QCOMPARE(exchange::readContactsFile(vcf).size(), size_t(2));
    std::tie(status, out) = run({ QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("csv"),
                                    QStringLiteral("--encoding"), QStringLiteral("gbk"), csv, dir },
        0);
    QCOMPARE(status, 0);
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith(encode("GBK", QStringLiteral("姓名,性别,QQ号码"))));
    QCOMPARE(exchange::readContactsFile(csv).size(), size_t(2));
    std::tie(status, out)
        = run({ QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("xml"), csv, dir }, 2);
    QCOMPARE(status, 2);
    std::tie(status, out) = run({ QStringLiteral("--help") }, 0);
    QVERIFY(out.contains(QStringLiteral("tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]")));
}

void TestExchange::toolSpeaksTheLocale_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("sampleCount"); // the fixture's: < 0 no contacts file
    QTest::addColumn<QStringList>("args"); // "DIR" stands for the fixture's folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");
    const QString c = QStringLiteral("C.UTF-8");
    const QString zh = QStringLiteral("zh_CN.UTF-8");
    const QStringList create { QStringLiteral("create"), QStringLiteral("--sample"), QStringLiteral("3"),
        QStringLiteral("DIR") };
    QTest::newRow("made, C") << c << -1 << create << 0 << "Made ";
    QTest::newRow("made, zh_CN") << zh << -1 << create << 0 << "已建立 ";
    const QStringList again { QStringLiteral("create"), QStringLiteral("DIR") };
    QTest::newRow("exists, C") << c << 0 << again << 1 << "exists already";
    QTest::newRow("exists, zh_CN") << zh << 0 << again << 1 << "已经存在";
    const QStringList bogus { QStringLiteral("import"), QStringLiteral("--bogus"), QStringLiteral("x.vcf") };
    QTest::newRow("bad usage, C") << c << 0 << bogus << 2 << "Try 'tongxunlu-db import --help'.";
    QTest::newRow("bad usage, zh_CN") << zh << 0 << bogus << 2 << "请试试“tongxunlu-db import --help”。";
    const QStringList import { QStringLiteral("import"), QStringLiteral("FILE"), QStringLiteral("DIR") };
    QTest::newRow("import, C") << c << 0 << import << 0 << "Imported 1, skipped 1\nLine 3, Li: the same name as line 2";
    QTest::newRow("import, zh_CN") << zh << 0 << import << 0 << "导入 1 条，跳过 1 条\n第 3 行 Li：与第 2 行重名";
    const QStringList missing { QStringLiteral("import"), QStringLiteral("DIR/missing.csv"), QStringLiteral("DIR") };
    QTest::newRow("import refused, C") << c << 0 << missing << 1 << "was not found.\nNo contacts were imported.";
    QTest::newRow("import refused, zh_CN") << zh << 0 << missing << 1 << "”。\n没有导入任何联系人。";
    const QStringList help { QStringLiteral("export"), QStringLiteral("--help") };
    QTest::newRow("help, C") << c << 0 << help << 0 << "Usage: tongxunlu-db export [options] FILE [DIR]";
    QTest::newRow("help, zh_CN") << zh << 0 << help << 0 << "用法：tongxunlu-db export [选项] FILE [DIR]";
}

void TestExchange::failureDescribed_data()
{
    QTest::addColumn<bool>("own"); // an ExchangeError, else a data layer's error
    QTest::addColumn<bool>("import");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    // The library's own sentences as they are; other texts get the error
    // report's full stop, which a text ending in a Chinese character always
    // gets.
    QTest::newRow("own, import") << true << true << "文件“a.csv”是空的。"
                                 << "文件“a.csv”是空的。\n没有导入任何联系人。";
    QTest::newRow("own, export") << true << false << "无法写入文件“a”：x"
                                 << "无法写入文件“a”：x\n没有写出文件。";
    QTest::newRow("data, no stop") << false << true << "database is locked"
                                   << "database is locked.\n没有导入任何联系人。";
    QTest::newRow("data, with stop") << false << false << "disk full."
                                     << "disk full.\n没有写出文件。";
    QTest::newRow("data, Chinese") << false << true << "密码无效"
                                   << "密码无效.\n没有导入任何联系人。";
}

void TestExchange::failureDescribed()
{
    QFETCH(bool, own);
    QFETCH(bool, import);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    const exchange::Transfer transfer = import ? exchange::Transfer::Import : exchange::Transfer::Export;
    if (own)
        QCOMPARE(exchange::describeFailure(transfer, exchange::ExchangeError(message)), expected);
    else
        QCOMPARE(exchange::describeFailure(transfer, txl::DataError(message)), expected);
}

// One language per run: English, or Chinese on a Chinese locale, and no
// Chinese word in the English output (the paths are Latin).
void TestExchange::toolSpeaksTheLocale()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty() || !QFileInfo(tool).isExecutable())
        QSKIP("the database tool is not built");
    QFETCH(QString, lang);
    QFETCH(int, sampleCount);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, expected);
    ContactsFixture fixture(sampleCount);
    const QString file = QDir(fixture.dir()).filePath(QStringLiteral("in.csv"));
    writeFile(file, QStringLiteral("姓名,手机\r\nLi,13800138000\r\nLi,13900139000\r\n").toUtf8());
    args.replaceInStrings(QRegularExpression(QStringLiteral("^FILE$")), file);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^DIR")), fixture.dir());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : { "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
        env.remove(QLatin1String(var));
    env.insert(QStringLiteral("LANG"), lang);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == status, qPrintable(out));
    QVERIFY2(out.contains(expected), qPrintable(out));
    if (lang.startsWith(u'C'))
        QVERIFY2(!exchange::containsHan(out), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
