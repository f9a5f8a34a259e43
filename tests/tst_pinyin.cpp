// Pinyin matching of names: the matcher on its own over a table of names and
// queries, the reading table it uses, and the name search of the main window
// that runs it inside the database beside the character match.
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "platform/grid/DBGrid.h"
#include "platform/text/Pinyin.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"
#include "shell/Unit_Main.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <stdexcept>

using txl::text::PinyinPattern;

namespace {

bool pinyinMatches(const QString &name, const QString &query)
{
    const QByteArray q = query.toUtf8();
    const QByteArray n = name.toUtf8();
    return PinyinPattern(std::string_view(q.constData(), size_t(q.size())))
        .matches(std::string_view(n.constData(), size_t(n.size())));
}

QStringList sorted(QStringList names)
{
    std::sort(names.begin(), names.end());
    return names;
}

QStringList list(std::initializer_list<const char *> utf8)
{
    QStringList out;
    for (const char *s : utf8)
        out << QString::fromUtf8(s);
    return out;
}

QStringList gridNames(Tfrm_Main &window)
{
    QAbstractItemModel *model = window.DBGrid1->model();
    QStringList names;
    for (int r = 0; r < model->rowCount(); ++r)
        names << model->index(r, 0).data().toString();
    return sorted(names);
}

// Stored order: name, sex, QQ, mobile, e-mail, address, group. 兙 is a
// character the reading table lacks; one contact has no name at all.
const char *const contactsSql = R"(
insert into data values ('张三', '男', '10001', '13812345678', 'zs@example.com', '北京市', '朋友');
insert into data values ('张三丰', '男', '10002', '13900001111', '', '武当山', '同事');
insert into data values ('张兙三', '男', '10003', '13700002222', '', '', '一般');
insert into data values ('曾志明', '男', '10004', '13800003333', '', '', '同事');
insert into data values ('单小红', '女', '10005', '15000004444', '', '', '家人');
insert into data values ('吕布', '男', '10006', '18600005555', '', '', '一般');
insert into data values ('Tom Lee', '男', '10007', '17700006666', '', '', '朋友');
insert into data values ('李四', '女', '10008', '15900007777', '', '', '家人');
insert into data (性别, 手机号码, 组名) values ('女', '13800008888', '一般');
)";

// The grid shows the contact without a name as an empty cell.
QStringList allNames()
{
    return sorted(QStringList { QStringLiteral("张三"), QStringLiteral("张三丰"), QStringLiteral("张兙三"),
        QStringLiteral("曾志明"), QStringLiteral("单小红"), QStringLiteral("吕布"), QStringLiteral("Tom Lee"),
        QStringLiteral("李四"), QString() });
}

} // namespace

class TestPinyin : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void query_data();
    void query();
    void match_data();
    void match();
    void surnames_data();
    void surnames();
    void readings();
    void tableUpToDate();
    void oddNames();

    void search_data();
    void search();
    void searchStatement();
    void predicateOnConnection();
    void deleteFromPinyinResult();

private:
    std::unique_ptr<ContactsFixture> m_fixture; // the searches only read it
};

void TestPinyin::initTestCase()
{
    m_fixture = std::make_unique<ContactsFixture>(0);
    m_fixture->exec(QString::fromUtf8(contactsSql));
    m_fixture->createDm();
}

void TestPinyin::init()
{
    if (!Dm)
        m_fixture->createDm();
}

void TestPinyin::query_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pinyin");
    QTest::newRow("letters") << "zs" << true;
    QTest::newRow("upper case") << "ZhangSan" << true;
    QTest::newRow("space and apostrophe") << "zhang san'feng" << true;
    QTest::newRow("letters and digits") << "zs2" << true;
    QTest::newRow("digits only") << "138" << false;
    QTest::newRow("spaces only") << "  " << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("Han") << "张" << false;
    QTest::newRow("Han and letters") << "张s" << false;
    QTest::newRow("wildcard %") << "z%" << false;
    QTest::newRow("wildcard _") << "z_" << false;
    QTest::newRow("hyphen") << "z-s" << false;
    QTest::newRow("full-width letters") << "ｚｓ" << false;
}

void TestPinyin::query()
{
    QFETCH(QString, text);
    QFETCH(bool, pinyin);
    QCOMPARE(txl::text::isPinyinQuery(text), pinyin);
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(PinyinPattern(std::string_view(utf8.constData(), size_t(utf8.size()))).isValid(), pinyin);
}

void TestPinyin::match_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("matches");

    const QString zhangsan = QStringLiteral("张三");
    // A leading part of each syllable, syllables following each other.
    for (const char *q : { "zs", "zhangs", "zsan", "zhangsan", "zhs", "z", "zh", "zha", "zhang", "zhan" })
        QTest::addRow("张三 %s", q) << zhangsan << QString::fromLatin1(q) << true;
    // Containment: the match may start at any character.
    QTest::newRow("张三 san") << zhangsan << "san" << true;
    QTest::newRow("张三 s") << zhangsan << "s" << true;
    QTest::newRow("张三丰 sf") << "张三丰"
                               << "sf" << true;
    QTest::newRow("张三丰 zsf") << "张三丰"
                                << "zsf" << true;
    // Case, and the separators that end a syllable.
    QTest::newRow("张三 ZS") << zhangsan << "ZS" << true;
    QTest::newRow("张三 ZhangSan") << zhangsan << "ZhangSan" << true;
    QTest::newRow("张三 space") << zhangsan << "zhang san" << true;
    QTest::newRow("张三 apostrophe") << zhangsan << "zhang'san" << true;
    QTest::newRow("张三 spaces around") << zhangsan << " z  s " << true;
    QTest::newRow("张三 break inside a syllable") << zhangsan << "zha ngsan" << false;
    QTest::newRow("张三 break after a part") << zhangsan << "zh san" << true;
    // Non-matches.
    QTest::newRow("张三 order") << zhangsan << "sz" << false;
    QTest::newRow("张三 too long") << zhangsan << "zhangsana" << false;
    QTest::newRow("张三 wrong syllable") << zhangsan << "zx" << false;
    QTest::newRow("张三 letters across characters") << zhangsan << "zhangsz" << false;
    QTest::newRow("张三 gap") << "张小三"
                              << "zs" << false;
    // "v" and "u" both stand for u-umlaut; plain "u" is no "v".
    QTest::newRow("吕 lv") << "吕布"
                           << "lv" << true;
    QTest::newRow("吕 lu") << "吕布"
                           << "lu" << true;
    QTest::newRow("吕布 lvb") << "吕布"
                              << "lvb" << true;
    QTest::newRow("吕布 LUBU") << "吕布"
                               << "LUBU" << true;
    QTest::newRow("卢 lv") << "卢"
                           << "lv" << false;
    QTest::newRow("卢 lu") << "卢"
                           << "lu" << true;
    // Latin letters and digits in a name match themselves.
    QTest::newRow("Tom Lee tomlee") << "Tom Lee"
                                    << "tomlee" << true;
    QTest::newRow("Tom Lee spaced") << "Tom Lee"
                                    << "tom lee" << true;
    QTest::newRow("Tom Lee tl") << "Tom Lee"
                                << "tl" << false;
    QTest::newRow("李Anna lanna") << "李Anna"
                                  << "lanna" << true;
    QTest::newRow("李Anna lian") << "李Anna"
                                 << "lian" << true;
    QTest::newRow("李Anna lianna") << "李Anna"
                                   << "lianna" << true;
    QTest::newRow("李Anna lb") << "李Anna"
                               << "lb" << false;
    QTest::newRow("Anna李 annal") << "Anna李"
                                  << "annal" << true;
    QTest::newRow("张三2 zs2") << "张三2"
                               << "zs2" << true;
    QTest::newRow("张三2 zs3") << "张三2"
                               << "zs3" << false;
    QTest::newRow("full-width Latin") << "ＡＢＣ张"
                                      << "abcz" << true;
    // A character without readings matches nothing and breaks the run.
    QTest::newRow("missing zs") << "张兙三"
                                << "zs" << false;
    QTest::newRow("missing zhang") << "张兙三"
                                   << "zhang" << true;
    QTest::newRow("missing san") << "张兙三"
                                 << "san" << true;
    // Name marks are passed over.
    QTest::newRow("middle dot") << "阿卜杜·买买提"
                                << "abdmmt" << true;
    QTest::newRow("space in a Han name") << "张 三"
                                         << "zs" << true;
    // Characters beyond the basic plane: 𠀀 reads "he".
    QTest::newRow("supplementary") << "𠀀三"
                                   << "hs" << true;
    // A query too long for a short name's fast path still works.
    const QString eleven = QString(11, QChar(0x58ee)); // 壮, zhuang
    QTest::newRow("long query") << eleven << QStringLiteral("zhuang").repeated(11) << true;
    QTest::newRow("long query, one letter off")
        << eleven
        << QStringLiteral("zhuang").repeated(5) + QStringLiteral("zhuong") + QStringLiteral("zhuang").repeated(5)
        << false;
    QTest::newRow("long query, initials") << eleven + QStringLiteral("张三") << QString(70, QLatin1Char('z')) << false;
    // Queries that are not pinyin match nothing.
    QTest::newRow("Han query") << zhangsan << "张" << false;
    QTest::newRow("empty query") << zhangsan << "" << false;
    QTest::newRow("empty name") << ""
                                << "zs" << false;
}

void TestPinyin::match()
{
    QFETCH(QString, name);
    QFETCH(QString, query);
    QFETCH(bool, matches);
    QCOMPARE(pinyinMatches(name, query), matches);
}

void TestPinyin::surnames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("queries");
    // Every reading of a polyphonic surname finds the name.
    QTest::newRow("曾") << "曾志明" << list({ "zzm", "czm", "zengzhiming", "cengzm" });
    QTest::newRow("单") << "单小红" << list({ "sxh", "dxh", "cxh", "shanxiaohong" });
    QTest::newRow("解") << "解明" << list({ "xm", "jm", "xieming", "jieming" });
    QTest::newRow("仇") << "仇明" << list({ "qm", "cm", "qiuming", "chouming" });
    QTest::newRow("区") << "区明" << list({ "om", "qm", "ouming", "quming" });
    QTest::newRow("朴") << "朴明" << list({ "pm", "piaoming", "puming" });
    QTest::newRow("查") << "查明" << list({ "zm", "cm", "zhaming", "chaming" });
    QTest::newRow("翟") << "翟明" << list({ "zm", "dm", "zhaiming", "diming" });
    QTest::newRow("覃") << "覃明" << list({ "qm", "tm", "qinming", "tanming" });
}

void TestPinyin::surnames()
{
    QFETCH(QString, name);
    QFETCH(QStringList, queries);
    for (const QString &q : queries)
        QVERIFY2(pinyinMatches(name, q), qPrintable(name + QLatin1Char(' ') + q));
    QVERIFY(!pinyinMatches(name, QStringLiteral("xyz")));
}

void TestPinyin::readings()
{
    // Toneless, most common reading first, "v" for u-umlaut, no duplicates
    // where readings differ only by tone.
    QCOMPARE(txl::text::pinyinReadings(U'张'), QStringList { QStringLiteral("zhang") });
    QCOMPARE(txl::text::pinyinReadings(U'吕'), QStringList { QStringLiteral("lv") });
    QCOMPARE(txl::text::pinyinReadings(U'解'), (QStringList { QStringLiteral("jie"), QStringLiteral("xie") }));
    QCOMPARE(txl::text::pinyinReadings(U'曾'), (QStringList { QStringLiteral("ceng"), QStringLiteral("zeng") }));
    QCOMPARE(txl::text::pinyinReadings(U'兙'), QStringList());
    QCOMPARE(txl::text::pinyinReadings(U'a'), QStringList());
    QCOMPARE(txl::text::pinyinReadings(char32_t(0x20000)), QStringList { QStringLiteral("he") });
    // The common range is covered.
    int covered = 0;
    for (char32_t c = 0x4e00; c <= 0x9fa5; ++c)
        covered += txl::text::pinyinReadings(c).isEmpty() ? 0 : 1;
    QVERIFY2(covered > 20000, qPrintable(QString::number(covered)));
}

void TestPinyin::tableUpToDate()
{
    // The kept table is exactly what the script makes from the dictionary.
    const QString dictionary = QStringLiteral("/usr/share/gocode/src/github.com/mozillazg/go-pinyin/pinyin_dict.go");
    if (!QFile::exists(dictionary))
        QSKIP("the go-pinyin dictionary is not installed");
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    const QString source = QString::fromUtf8(TXL_SOURCE_DIR);
    QTemporaryDir dir;
    const QString made = dir.filePath(QStringLiteral("readings.txt"));
    QProcess script;
    script.start(python, { source + QStringLiteral("/scripts/make_pinyin.py"), dictionary, made });
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    QFile kept(source + QStringLiteral("/resources/pinyin/readings.txt"));
    QFile fresh(made);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QVERIFY(fresh.open(QIODevice::ReadOnly));
    QVERIFY2(kept.readAll() == fresh.readAll(), "resources/pinyin/readings.txt is stale: run scripts/make_pinyin.py");
}

void TestPinyin::oddNames()
{
    // Broken UTF-8 (cut characters, stray continuation bytes) must neither
    // read past the end nor match through the damage.
    const PinyinPattern zs("zs");
    QVERIFY(!zs.matches(std::string_view("\xe5\xbc", 2)));
    QVERIFY(!zs.matches(std::string_view("\xe5\xbc\xa0\x80\xe4\xb8\x89", 7)));
    QVERIFY(zs.matches(std::string_view("\xff\xe5\xbc\xa0\xe4\xb8\x89", 7)));
    QVERIFY(!zs.matches(std::string_view("\xe5\xbc\xa0\xe4\xb8", 5)));
    QVERIFY(!zs.matches(std::string_view("\xf7\xbf\xbf\xbf", 4)));
    // Embedded NUL: the bytes given count, not a terminator.
    QVERIFY(!zs.matches(std::string_view("z\0s", 3)));
}

void TestPinyin::search_data()
{
    QTest::addColumn<int>("item"); // 0 name, 1 telephone
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("zs") << 0 << "zs" << list({ "张三", "张三丰" });
    QTest::newRow("zhangsan") << 0 << "zhangsan" << list({ "张三", "张三丰" });
    QTest::newRow("zhang san, trimmed") << 0 << "  zhang san\t" << list({ "张三", "张三丰" });
    QTest::newRow("san") << 0 << "san" << list({ "张三", "张三丰", "张兙三" });
    QTest::newRow("zzm") << 0 << "zzm" << list({ "曾志明" });
    QTest::newRow("czm") << 0 << "CZM" << list({ "曾志明" });
    QTest::newRow("sxh") << 0 << "sxh" << list({ "单小红" });
    QTest::newRow("lu") << 0 << "lub" << list({ "吕布" });
    // Latin names: the character match and the pinyin match agree.
    QTest::newRow("tom") << 0 << "tom" << list({ "Tom Lee" });
    QTest::newRow("l matches 李 and Lee") << 0 << "l" << list({ "Tom Lee", "吕布", "李四" });
    // Han text is the character match alone, wildcards included.
    QTest::newRow("Han") << 0 << "张" << list({ "张三", "张三丰", "张兙三" });
    QTest::newRow("Han wildcard") << 0 << "张_三" << list({ "张兙三" });
    QTest::newRow("wildcard with letters") << 0 << "T%e" << list({ "Tom Lee" });
    // The mobile search never reads pinyin.
    QTest::newRow("telephone zs") << 1 << "zs" << allNames();
    QTest::newRow("telephone 138") << 1 << "138" << list({ "张三", "曾志明", "" });
}

void TestPinyin::search()
{
    QFETCH(int, item);
    QFETCH(QString, text);
    QFETCH(QStringList, listed);

    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.RadioGroup1->setItemIndex(item);
    window.Edit1->setText(text);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);

    const bool found = listed != allNames();
    QCOMPARE(recorder.texts(), found ? QStringList() : QStringList { QStringLiteral("对不起!没有查到！") });
    QCOMPARE(gridNames(window), sorted(listed));
    QCOMPARE(window.panelText(1), QStringLiteral("总共查到%1条记录！").arg(found ? listed.size() : 0));
    QCOMPARE(window.Edit1->text(), QString());
}

void TestPinyin::searchStatement()
{
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    const auto run = [&](int item, const QString &text) {
        window.RadioGroup1->setItemIndex(item);
        window.Edit1->setText(text);
        QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
        return Dm->addquery->sql();
    };
    QCOMPARE(run(0, QStringLiteral("zs")),
        QStringLiteral("select * from data where 姓名 like :p0 or pinyin_match(姓名, :p1)"));
    QCOMPARE(run(0, QStringLiteral("张")), QStringLiteral("select * from data where 姓名 like :p0"));
    QCOMPARE(run(1, QStringLiteral("138")), QStringLiteral("select * from data where 手机号码 like :p0"));
    QVERIFY(recorder.boxes().isEmpty());
    // The function survives the connection being closed and opened again.
    Dm->addquery->close();
    Dm->scon->close();
    QCOMPARE(run(0, QStringLiteral("sxh")),
        QStringLiteral("select * from data where 姓名 like :p0 or pinyin_match(姓名, :p1)"));
    QCOMPARE(gridNames(window), QStringList { QStringLiteral("单小红") });
    QVERIFY(recorder.boxes().isEmpty());
}

void TestPinyin::predicateOnConnection()
{
    txl::Connection connection;
    connection.setDatabaseFile(m_fixture->databasePath());
    connection.setPassword(ContactFile::password());
    int made = 0;
    connection.addTextPredicate(QStringLiteral("starts_with"), [&made](std::string_view pattern) {
        ++made;
        const std::string prefix(pattern);
        if (prefix == "boom")
            throw std::runtime_error("no such pattern");
        return [prefix](std::string_view text) { return text.substr(0, prefix.size()) == prefix; };
    });
    txl::Query query;
    query.setConnection(&connection);
    query.addSql(QStringLiteral("select 姓名 from data where starts_with(姓名, :p0)"));
    query.setParam(QStringLiteral("p0"), QStringLiteral("张三"));
    query.open();
    QStringList names;
    for (query.first(); !query.eof(); query.next())
        names << query.fieldByName(QStringLiteral("姓名"));
    QCOMPARE(sorted(names), (QStringList { QStringLiteral("张三"), QStringLiteral("张三丰") }));
    // One test for the whole statement, not one per row.
    QCOMPARE(made, 1);
    query.close();

    // A null value gives null; a failing factory is a database error.
    query.clearSql();
    query.addSql(QStringLiteral("select count(*) as n from data where starts_with(姓名, :p0) is null"));
    query.setParam(QStringLiteral("p0"), QStringLiteral("x"));
    query.open();
    QCOMPARE(query.fieldByName(QStringLiteral("n")), QStringLiteral("1"));
    query.close();
    query.setParam(QStringLiteral("p0"), QStringLiteral("boom"));
    QVERIFY_THROWS_EXCEPTION(txl::DataError, query.open());
}

void TestPinyin::deleteFromPinyinResult()
{
    // The commands after a pinyin search work on its result as on any other.
    ContactsFixture fixture(0);
    fixture.exec(QString::fromUtf8(contactsSql));
    fixture.createDm();
    txl::ui::BoxRecorder recorder;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.RadioGroup1->setItemIndex(0);
    window.Edit1->setText(QStringLiteral("zs"));
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(gridNames(window), list({ "张三", "张三丰" }));

    Dm->addquery->first();
    const QString deleted = Dm->addquery->fieldByName(QStringLiteral("姓名"));
    recorder.queueAnswer(true);
    window.N6->trigger();
    QCOMPARE(recorder.boxes().size(), 1); // the question only
    QCOMPARE(gridNames(window).size(), 1);
    QVERIFY(!gridNames(window).contains(deleted));
    QCOMPARE(fixture.rows(QStringLiteral("姓名 = '%1'").arg(deleted)).size(), 0);
    QCOMPARE(fixture.rows().size(), allNames().size() - 1);
}

QTEST_MAIN(TestPinyin)
#include "tst_pinyin.moc"
