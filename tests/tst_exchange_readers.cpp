// The vCard and CSV readers and writers on their own: the shapes real files
// come in, our writers' output read back exactly, and hostile inputs in
// linear time.
#include "exchange/Csv.h"
#include "exchange/TextDecoding.h"
#include "exchange/VCard.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringEncoder>
#include <QTest>

using exchange::ContactRecord;
using exchange::ContactRecords;

namespace {

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

QByteArray encode(const char *charset, const QString &text)
{
    QStringEncoder encoder(charset);
    return encoder.encode(text);
}

QByteArray withLineEnds(QByteArray crlf, const char *ending)
{
    return crlf.replace("\r\n", ending);
}

// The reader's time for the bytes; a refusal counts as read.
double readMs(const QByteArray &bytes, bool vcard)
{
    QElapsedTimer timer;
    timer.start();
    try {
        size_t count = 0;
        auto sink = [&](ContactRecord &&) { ++count; };
        if (vcard)
            exchange::readVCards(bytes, sink);
        else
            exchange::readCsv(bytes, sink);
    } catch (const exchange::ExchangeError &) {
    }
    return timer.nsecsElapsed() / 1e6;
}

// An ordinary file of about the given size: cards or rows as phones and
// spreadsheets write them.
QByteArray plainFile(qsizetype size, bool vcard)
{
    const QByteArray card = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:张;三;;;\r\nFN:张三\r\n"
                                           "TEL;TYPE=CELL:13800138000\r\nEMAIL:zhang@example.com\r\n"
                                           "ADR;TYPE=HOME:;;建国路88号;北京市;;;\r\nEND:VCARD\r\n")
                                .toUtf8();
    const QByteArray row
        = QStringLiteral("张三,男,12345,13800138000,zhang@example.com,北京市建国路88号,朋友\r\n").toUtf8();
    QByteArray out
        = vcard ? QByteArray() : QStringLiteral("姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名\r\n").toUtf8();
    const QByteArray &unit = vcard ? card : row;
    out.reserve(size + unit.size());
    while (out.size() < size)
        out += unit;
    return out;
}

} // namespace

class TestExchangeReaders : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data();
    void lineEnds();
    void vcardShapes_data();
    void vcardShapes();
    void csvShapes_data();
    void csvShapes();
    void formulaGuard_data();
    void formulaGuard();
    void roundTrip();
    void utf8Detection_data();
    void utf8Detection();
    void foldsOfTheProbe();
    void pathologicalShapes_data();
    void pathologicalShapes();
    void csvFieldsOfEveryLength_data();
    void csvFieldsOfEveryLength();
};

void TestExchangeReaders::lineEnds_data()
{
    QTest::addColumn<QByteArray>("crlf");
    QTest::addColumn<bool>("vcard");
    QTest::addColumn<QStringList>("expected");
    // A quoted-printable soft break and a folded line: both cross a line end.
    QTest::newRow("vCard") << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:Sm=\r\nith;John\r\n"
                                         "TEL;CELL:555\r\nEND:VCARD\r\n\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\n"
                                         "EMAIL:ann@exa\r\n mple.com\r\nEND:VCARD\r\n")
                           << true
                           << QStringList { QStringLiteral("John Smith|||555|||"),
                                  QStringLiteral("Ann||||ann@example.com||") };
    QTest::newRow("CSV") << QStringLiteral("姓名,地址\r\n张三,\"第一行\r\n第二行\"\r\n\r\n李四,上海\r\n").toUtf8()
                         << false
                         // The address's two lines are kept as one.
                         << QStringList { QStringLiteral("张三|||||第一行第二行|"), QStringLiteral("李四|||||上海|") };
}

void TestExchangeReaders::lineEnds()
{
    QFETCH(QByteArray, crlf);
    QFETCH(bool, vcard);
    QFETCH(QStringList, expected);
    for (const char *ending : { "\r\n", "\n", "\r" }) {
        const QByteArray bytes = withLineEnds(crlf, ending);
        QCOMPARE(exchange::looksLikeVCard(bytes), vcard);
        const ContactRecords records = vcard ? exchange::readVCards(bytes) : exchange::readCsv(bytes);
        QStringList got = describeAll(records);
        got.replaceInStrings(QStringLiteral("\r\n"), QStringLiteral("\n"))
            .replaceInStrings(QStringLiteral("\r"), QStringLiteral("\n"));
        QCOMPARE(got, expected);
        // Lines are counted the same whatever ends them.
        QCOMPARE(records.back().line, vcard ? 8 : 5);
    }
}

void TestExchangeReaders::vcardShapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("2.1 AGENT's card on the next lines")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Big\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\n"
                      "N:Helper;Little\r\nTEL;CELL:111\r\nEND:VCARD\r\nTEL;CELL:222\r\nEND:VCARD\r\n")
        << QStringList { QStringLiteral("Big Boss|||222|||") };
    QTest::newRow("AGENT's card begun on its own line, then a second card")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN:Outer\nAGENT:BEGIN:VCARD\nFN:Inner\nEND:VCARD\n"
                      "EMAIL:o@x.cn\nEND:VCARD\nBEGIN:VCARD\nFN:Next\nEND:VCARD\n")
        << QStringList { QStringLiteral("Outer||||o@x.cn||"), QStringLiteral("Next||||||") };
    QTest::newRow("partial N, whole name in FN")
        << QStringLiteral("BEGIN:VCARD\nVERSION:3.0\nN:张;;;;\nFN:张三丰\nEND:VCARD\n"
                          "BEGIN:VCARD\nN:王;小明;;;\nFN:Xiaoming Wang\nEND:VCARD\n"
                          "BEGIN:VCARD\nN:李;雷;;;\nFN:李\nEND:VCARD\n")
               .toUtf8()
        << QStringList { QStringLiteral("张三丰||||||"), QStringLiteral("王小明||||||"), QStringLiteral("李雷||||||") };
    QTest::newRow("2.1: a backslash stands for itself, \\; stays a semicolon") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\\nB\\,C\r\nEMAIL:a\\\\b@x.cn\r\nADR;HOME:;;Rd 1\\, Fl 2\\;3;Town;;;\r\n"
        "END:VCARD\r\n") << QStringList { QStringLiteral("A\\nB\\,C||||a\\\\b@x.cn|Rd 1\\, Fl 2;3, Town|") };
    QTest::newRow("3.0 and 4.0 keep the escapes")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\\nB\\,C\r\nEMAIL:a\\\\b@x.cn\r\nADR;TYPE=HOME:;;Rd 1\\, Fl "
                      "2\\;3;Town;;;\r\n"
                      "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:x\\;y\r\nEND:VCARD\r\n")
        << QStringList { QStringLiteral("A\nB,C||||a\\b@x.cn|Rd 1, Fl 2;3, Town|"), QStringLiteral("x;y||||||") };
    QTest::newRow("a street on two lines is kept on one")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nADR;TYPE=HOME:;;Rd 1\\nFlat 2;Town;;;\r\nEND:VCARD\r\n")
        << QStringList { QStringLiteral("A|||||Rd 1, Flat 2, Town|") };
    QTest::newRow("2.1 with VERSION after the name")
        << QByteArray("BEGIN:VCARD\r\nFN:C:\\new\r\nVERSION:2.1\r\nEND:VCARD\r\n")
        << QStringList { QStringLiteral("C:\\new||||||") };
    // The reader keeps what the file holds; the import decides about controls.
    QTest::newRow("quoted-printable =00 is a NUL")
        << QByteArray("BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE:a=00b=09c\r\nEND:VCARD\r\n")
        << QStringList { QString::fromUtf8("a\0b\tc", 5) + QStringLiteral("||||||") };
}

void TestExchangeReaders::vcardShapes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QVERIFY(exchange::looksLikeVCard(bytes));
    QCOMPARE(describeAll(exchange::readVCards(bytes)), expected);
}

void TestExchangeReaders::csvShapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    // As a web mail service exports its contacts (UTF-8 with a BOM).
    const QByteArray webMail = QByteArray("\xEF\xBB\xBF")
        + QStringLiteral(
            "Name,Given Name,Additional Name,Family Name,Nickname,Birthday,Gender,Notes,Photo,Group Membership,"
            "E-mail 1 - Type,E-mail 1 - Value,E-mail 2 - Type,E-mail 2 - Value,Phone 1 - Type,Phone 1 - Value,"
            "Phone 2 - Type,Phone 2 - Value,Address 1 - Type,Address 1 - Formatted,Address 1 - Street,"
            "Address 1 - City,Address 1 - Country\r\n"
            "张三,三,,张,,,,,,* myContacts ::: 同事 ::: 朋友,* Home,zhang@example.com,Work,z@work.cn,Work,010-88886666,"
            "Mobile,138 0013 8000 ::: 139 0000 0000,Home,北京市朝阳区建国路88号,建国路88号,北京市,中国\r\n"
            "John Smith,John,,Smith,,,,,,* myContacts,,,,,Home,555-0100,,,Home,,1 Main St,Springfield,USA\r\n"
            "Mary Major,Mary,,Major,,,,,,,,,,,,,,,Home,\"2 Oak Rd\nApt 4\r\nBoston, MA 02101\",,,\r\n"
            "李四,四,,李,,,,,,,,,,,,,,,Home,\"上海市\n浦东新区\n世纪大道1号\",,,\r\n"
            ",Ann,,Lee,,,,,,* starred ::: * Friends,,,,,,,,,,,,,\r\n")
              .toUtf8();
    QTest::newRow("web mail export")
        << webMail
        << QStringList { QStringLiteral("张三|||138 0013 8000|zhang@example.com|北京市朝阳区建国路88号|同事"),
               QStringLiteral("John Smith|||555-0100||1 Main St, Springfield, USA|"),
               // A formatted address written on several lines is kept on one.
               QStringLiteral("Mary Major|||||2 Oak Rd, Apt 4, Boston, MA 02101|"),
               QStringLiteral("李四|||||上海市浦东新区世纪大道1号|"), QStringLiteral("Ann Lee||||||Friends") };
    QTest::newRow("desktop mail's home address parts")
        << QStringLiteral("First Name,Last Name,Home Street,Home City,Home State,Home Postal Code,Home Country,"
                          "Mobile Phone\r\nJohn,Smith,1 Main St,Springfield,IL,62701,USA,555\r\n"
                          "三,张,建国路88号,北京市,,100022,中国,\r\n")
               .toUtf8()
        << QStringList { QStringLiteral("John Smith|||555||1 Main St, Springfield, IL 62701, USA|"),
               QStringLiteral("张三|||||中国北京市建国路88号|") };
    QTest::newRow("Home Address beside Home City is the street")
        << QByteArray(
               "Display Name,Home Address,Home Address 2,Home City,Home ZipCode\r\nA B,2 High Rd,Flat 3,Leeds,LS1\r\n")
        << QStringList { QStringLiteral("A B|||||Flat 3, 2 High Rd, Leeds, LS1|") };
    QTest::newRow("100 columns, the used ones far apart") << QByteArray("姓名") + QByteArray(",x").repeated(98)
            + QStringLiteral(",手机\r\n李四").toUtf8() + QByteArray(",\"a,b\"").repeated(98)
            + ",139\r\n" << QStringList { QStringLiteral("李四|||139|||") };
}

void TestExchangeReaders::csvShapes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QVERIFY(!exchange::looksLikeVCard(bytes));
    QCOMPARE(describeAll(exchange::readCsv(bytes)), expected);
}

void TestExchangeReaders::formulaGuard_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("guarded");
    QTest::newRow("formula") << QStringLiteral("=HYPERLINK(\"http://x\",\"y\")")
                             << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"") << true;
    QTest::newRow("mobile with +86") << QStringLiteral("+86 13800138000") << QByteArray("'+86 13800138000") << true;
    QTest::newRow("minus") << QStringLiteral("-1") << QByteArray("'-1") << true;
    QTest::newRow("at") << QStringLiteral("@home") << QByteArray("'@home") << true;
    QTest::newRow("already an apostrophe before =") << QStringLiteral("'=1") << QByteArray("''=1") << true;
    QTest::newRow("apostrophe before text stays") << QStringLiteral("'quoted'") << QByteArray("'quoted'") << false;
    QTest::newRow("= inside stays") << QStringLiteral("a=b") << QByteArray("a=b") << false;
}

void TestExchangeReaders::formulaGuard()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, written);
    QFETCH(bool, guarded);
    ContactRecord r;
    r.name = QStringLiteral("甲");
    r.address = value;
    for (auto encoding : { exchange::CsvEncoding::Utf8, exchange::CsvEncoding::Gbk }) {
        const QByteArray csv = exchange::writeCsv({ r }, encoding);
        QVERIFY2(csv.endsWith(",,,," + written + ",\r\n"), csv.constData());
        // Our own header: the guard comes off again.
        QCOMPARE(describeAll(exchange::readCsv(csv)), QStringList { describe(r) });
    }
    // Any other header: the field is kept as the file has it.
    const QByteArray foreign = "Name,Address\r\nx," + written + "\r\n";
    QCOMPARE(exchange::readCsv(foreign).at(0).address, guarded ? u'\'' + value : value);
}

void TestExchangeReaders::roundTrip()
{
    // What the editor can store comes back the same through both writers.
    ContactRecords in;
    const QStringList values { QStringLiteral("张三"), QStringLiteral("010-1234567"), QStringLiteral("+852 9123 4567"),
        QStringLiteral("a,b;c\\d"), QStringLiteral("第一行 第二行"), QStringLiteral("引号\"人"), QStringLiteral("'=x"),
        QStringLiteral("笑😀"), QString(76, QChar(u'长')), QStringLiteral("O'Brien"), QStringLiteral("tab\there"),
        QStringLiteral("-") };
    for (int i = 0; i < values.size(); ++i) {
        ContactRecord r;
        r.name = QStringLiteral("人%1").arg(i);
        QString *fields[] = { &r.sex, &r.qq, &r.mobile, &r.email, &r.address, &r.group };
        for (int f = 0; f < 6; ++f)
            *fields[f] = values[(i + f) % values.size()];
        in.push_back(r);
    }
    const QStringList expected = describeAll(in);
    QCOMPARE(describeAll(exchange::readVCards(exchange::writeVCards(in))), expected);
    QCOMPARE(describeAll(exchange::readCsv(exchange::writeCsv(in, exchange::CsvEncoding::Utf8))), expected);
    in.erase(in.begin() + 7, in.end()); // GBK has no emoji
    for (ContactRecord &r : in)
        for (QString *f : { &r.sex, &r.qq, &r.mobile, &r.email, &r.address, &r.group })
            f->remove(QStringLiteral("😀"));
    QCOMPARE(describeAll(exchange::readCsv(exchange::writeCsv(in, exchange::CsvEncoding::Gbk))), describeAll(in));

    // The vCard lines stay within 75 octets and never split a character.
    const QByteArray card = exchange::writeVCards(in);
    for (const QByteArray &line : card.split('\n')) {
        QVERIFY2(line.size() <= 76, line.constData());
        QVERIFY(QByteArrayView(line).isValidUtf8());
    }
}

void TestExchangeReaders::utf8Detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    const int utf8 = int(exchange::TextEncoding::Utf8), gb = int(exchange::TextEncoding::Gb18030);
    QTest::newRow("ASCII") << QByteArray("Name\r\nabc\r\n") << utf8;
    QTest::newRow("Chinese and an emoji") << QStringLiteral("张三😀").toUtf8() << utf8;
    QTest::newRow("largest code point") << QByteArray("\xF4\x8F\xBF\xBF") << utf8;
    QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF") << gb;
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << gb;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << gb;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << gb;
    QTest::newRow("truncated at the end") << QByteArray("\xE5\xBC") << gb;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << gb;
    QTest::newRow("GBK") << encode("GBK", QStringLiteral("姓名,张三")) << gb;
    QTest::newRow("UTF-16 LE by BOM") << QByteArray("\xFF\xFE\x41\x00") << int(exchange::TextEncoding::Utf16LE);
}

void TestExchangeReaders::utf8Detection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QCOMPARE(int(exchange::detectEncoding(bytes)), encoding);
}

void TestExchangeReaders::foldsOfTheProbe()
{
    // The probe's file: 200,000 folded continuations each ending in "=",
    // and a long parameter part before 20,000 quoted-printable soft breaks.
    const QByteArray folds = "BEGIN:VCARD\r\nFN:a\r\nX=\r\n" + QByteArray(" =\r\n").repeated(200000) + "END:VCARD\r\n";
    const QByteArray softBreaks = "BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE;X-" + QByteArray(1 << 20, 'A') + ":=\r\n"
        + QByteArray("=\r\n").repeated(20000) + "x\r\nEND:VCARD\r\n";
    for (const auto &[bytes, name] : { std::pair(folds, "a"), std::pair(softBreaks, "x") }) {
        QElapsedTimer timer;
        timer.start();
        const ContactRecords records = exchange::readVCards(bytes);
        const qint64 ms = timer.elapsed();
        QCOMPARE(describeAll(records), QStringList { QLatin1String(name) + QStringLiteral("||||||") });
        QVERIFY2(ms < 1000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    }
}

void TestExchangeReaders::pathologicalShapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("vcard");
    const QByteArray begin = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    const QByteArray end = "\r\nEND:VCARD\r\n";
    const qsizetype mb10 = 10 << 20;
    QTest::newRow("100,000 folds") << begin + "NOTE:" + QByteArray("\r\n x").repeated(100000) + end << true;
    QTest::newRow("100,000 soft breaks") << begin
            + "FN;ENCODING=QUOTED-PRINTABLE:" + QByteArray("=41=\r\n").repeated(100000) + "B"
            + end << true;
    QTest::newRow("10 MB value") << begin + "NOTE:" + QByteArray(mb10, 'x') + end << true;
    QTest::newRow("10 MB quoted-printable name")
        << begin + "FN;ENCODING=QUOTED-PRINTABLE:" + QByteArray("=E5=BC=A0").repeated(mb10 / 9) + end << true;
    QTest::newRow("10 MB base64 photo") << begin + "PHOTO;ENCODING=BASE64;TYPE=JPEG:" + QByteArray(mb10, 'A') + end
                                        << true;
    QTest::newRow("10 MB of parameters") << begin + "TEL;TYPE=" + QByteArray("a,").repeated(mb10 / 4)
            + QByteArray(";b").repeated(mb10 / 4) + ":1"
            + end << true;
    QTest::newRow("10 MB line without a colon") << begin + QByteArray(mb10, '"') + end << true;
    QTest::newRow("1,000,000 tiny cards")
        << QByteArray("BEGIN:VCARD\r\nFN:a\r\nEND:VCARD\r\n").repeated(1000000) << true;
    QTest::newRow("10 MB CSV field") << "Name,Mobile\r\n\"" + QByteArray(mb10, 'x') + "\",1\r\n" << false;
    QTest::newRow("100,000 CSV columns") << "Name" + QByteArray(",x").repeated(100000) + "\r\n"
            + QByteArray("a" + QByteArray(",b").repeated(100000) + "\r\n").repeated(20)
                                         << false;
    QTest::newRow("unterminated quote at the start") << "\"" + plainFile(mb10, false) << false;
    QTest::newRow("10 MB of delimiters") << "Name\r\n" + QByteArray(mb10, ',') << false;
}

void TestExchangeReaders::pathologicalShapes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, vcard);
    // Shapes of about the same size share one measure of the ordinary file.
    static QHash<QPair<bool, qsizetype>, double> plainMs;
    const qsizetype megabytes = (bytes.size() + (1 << 19)) >> 20;
    const auto key = qMakePair(vcard, megabytes);
    if (!plainMs.contains(key))
        plainMs.insert(key, readMs(plainFile(megabytes > 0 ? megabytes << 20 : bytes.size(), vcard), vcard));
    const double plain = plainMs.value(key);
    const double shape = readMs(bytes, vcard);
    // Linear cost: within a generous multiple of an ordinary file of the
    // same size (a quadratic reader takes thousands of times longer here).
    qInfo("%lld bytes: %.0f ms, an ordinary file %.0f ms", static_cast<long long>(bytes.size()), shape, plain);
    QVERIFY2(shape < 10 * plain + 100, qPrintable(QStringLiteral("%1 ms against %2 ms").arg(shape).arg(plain)));
}

// The CSV reader looks for the end of an unquoted field several bytes at a
// time: fields of every length from 0 to 19 bytes, of one-byte and
// three-byte characters, with each delimiter and line end, must split
// where they do byte by byte, whichever byte of a word the delimiter falls
// on, also in the last bytes of the file.
void TestExchangeReaders::csvFieldsOfEveryLength_data()
{
    QTest::addColumn<QByteArray>("delimiter");
    QTest::addColumn<QByteArray>("lineEnd");
    for (const char *d : { ",", ";", "\t" })
        for (const char *e : { "\r\n", "\n", "\r" })
            QTest::addRow("%s %s", d[0] == '\t' ? "tab" : d,
                e[0] == '\n' ? "LF"
                    : e[1]   ? "CRLF"
                             : "CR")
                << QByteArray(d) << QByteArray(e);
}

void TestExchangeReaders::csvFieldsOfEveryLength()
{
    QFETCH(QByteArray, delimiter);
    QFETCH(QByteArray, lineEnd);
    QByteArray file = "姓名" + delimiter + "QQ号码" + delimiter + "手机号码" + lineEnd;
    QStringList expected;
    for (int length = 1; length < 20; ++length) {
        for (const QString &unit : { QStringLiteral("a"), QStringLiteral("名") }) {
            const QString name = unit.repeated(length).left(unit == u"a" ? length : std::max(1, length / 3));
            const QString qq = QString::number(length).repeated(length % 7);
            const QString mobile = QStringLiteral("x").repeated((length * 5) % 19);
            file += name.toUtf8() + delimiter + qq.toUtf8() + delimiter + mobile.toUtf8() + lineEnd;
            expected << name + u'|' + u'|' + qq + u'|' + mobile + QStringLiteral("|||");
        }
    }
    file.chop(lineEnd.size()); // the last record ends with the file
    QCOMPARE(describeAll(exchange::readCsv(file)), expected);
}

QTEST_GUILESS_MAIN(TestExchangeReaders)
#include "tst_exchange_readers.moc"
