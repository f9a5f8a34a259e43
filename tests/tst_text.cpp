// Code-page-936 text: trimming of codes up to the space, lengths and limits
// counted in bytes, and the first line a one-line view shows.
#include "platform/text/Cp936.h"
#include "platform/text/Lines.h"

#include <QtTest>

class TestText : public QObject {
    Q_OBJECT
private slots:
    void trim_data();
    void trim();
    void byteLength_data();
    void byteLength();
    void truncateToBytes_data();
    void truncateToBytes();
    void firstLine_data();
    void firstLine();
};

void TestText::trim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("spaces only") << "   "
                                 << "";
    QTest::newRow("both ends") << "  张三  "
                               << "张三";
    QTest::newRow("inner space kept") << " 计 算 器 "
                                      << "计 算 器";
    QTest::newRow("control characters") << QStringLiteral("\t\r\n李四\x01\x1f") << "李四";
    QTest::newRow("full-width space stays") << "　王五　"
                                            << "　王五　";
    QTest::newRow("non-breaking space stays") << QStringLiteral("\u00a0x\u00a0") << QStringLiteral("\u00a0x\u00a0");
    QTest::newRow("delete (127) stays") << QStringLiteral("\x7f"
                                                          "a")
                                        << QStringLiteral("\x7f"
                                                          "a");
}

void TestText::trim()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(txl::text::trim(text), expected);
}

void TestText::byteLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ASCII") << "13812345678" << 11;
    QTest::newRow("Chinese") << "张三丰" << 6;
    QTest::newRow("mixed") << "QQ号码" << 6;
    QTest::newRow("full-width space") << "　" << 2;
    QTest::newRow("full-width punctuation") << "！：" << 4;
    QTest::newRow("outside the code page") << QStringLiteral("\U0001F600") << 1;
}

void TestText::byteLength()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(txl::text::byteLength(text), bytes);
}

void TestText::truncateToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("fits") << "张三" << 11 << "张三";
    QTest::newRow("five Chinese in 11") << "一二三四五六" << 11 << "一二三四五";
    QTest::newRow("never half a character") << "a一二" << 4 << "a一";
    QTest::newRow("ASCII") << "1381234567890" << 11 << "13812345678";
    QTest::newRow("zero") << "张" << 0 << "";
}

void TestText::truncateToBytes()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    QCOMPARE(txl::text::truncateToBytes(text, limit), expected);
}

void TestText::firstLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("one line") << QStringLiteral("上海 浦东") << QStringLiteral("上海 浦东");
    QTest::newRow("LF") << QStringLiteral("上海\n浦东") << QStringLiteral("上海");
    QTest::newRow("CR LF") << QStringLiteral("上海\r\n浦东") << QStringLiteral("上海");
    QTest::newRow("CR alone") << QStringLiteral("上海\r浦东") << QStringLiteral("上海");
    QTest::newRow("line separator") << QStringLiteral("上海\u2028浦东") << QStringLiteral("上海");
    QTest::newRow("paragraph separator") << QStringLiteral("上海\u2029浦东") << QStringLiteral("上海");
    QTest::newRow("break first") << QStringLiteral("\n浦东") << QString();
    QTest::newRow("tab is no break") << QStringLiteral("a\tb") << QStringLiteral("a\tb");
}

void TestText::firstLine()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(txl::text::firstLine(text).toString(), expected);
}

QTEST_APPLESS_MAIN(TestText)
#include "tst_text.moc"
