// Import and export from the main window: the menu entries, the file
// dialogs, the summary box and the list afterwards.
#include "TestSupport.h"

#include "exchange/Exchange.h"
#include "platform/data/Query.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"
#include "platform/ui/SystemTranslations.h"
#include "shell/ContactExchange.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStringEncoder>
#include <QTranslator>
#include <QtTest>

#include <memory>

using txl::ui::BoxRecorder;
using txl::ui::ShownBox;

namespace {

// Answers the next file dialog with a path and a name filter (empty path:
// cancelled), recording the caption and the filters it offered.
struct FileAnswer {
    explicit FileAnswer(QString chosenPath = QString(), QString chosenFilter = QString())
        : path(std::move(chosenPath))
        , filter(std::move(chosenFilter))
    {
    }
    QString path;
    QString filter;
    QString caption;
    QStringList filters;
    int asked = 0;
};

void answerFileDialogs(FileAnswer *answer)
{
    ContactExchange::setFileChooserForTests(
        [answer](const QString &caption, const QStringList &filters, QString *chosenFilter) {
            ++answer->asked;
            answer->caption = caption;
            answer->filters = filters;
            if (!answer->filter.isEmpty())
                *chosenFilter = answer->filter;
            return answer->path;
        });
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    return bytes;
}

} // namespace

class TestExchangeWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menuEntries();
    void importFromTheWindow();
    void refusedFileChangesNothing();
    void cancelledDialogDoesNothing();
    void exportTheListAsItStands();
    void sameFailureReadsAsTheTool_data();
    void sameFailureReadsAsTheTool();

private:
    std::unique_ptr<ContactsFixture> m_fixture;
    std::unique_ptr<Tfrm_Main> m_window;
};

void TestExchangeWindow::init()
{
    m_fixture = std::make_unique<ContactsFixture>();
    m_fixture->exec(QStringLiteral("insert into data values('李四','女','','13900000000','','上海市','同事');"
                                   "insert into data values('王五','男','','13700000000','','广州市','朋友');"));
    m_fixture->createDm();
    m_window = std::make_unique<Tfrm_Main>();
    frm_Main = m_window.get();
}

void TestExchangeWindow::cleanup()
{
    ContactExchange::setFileChooserForTests({});
    m_window.reset();
    m_fixture.reset();
}

void TestExchangeWindow::menuEntries()
{
    const QList<QAction *> entries = m_window->N3->actions();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.at(0), m_window->N4);
    QVERIFY(entries.at(1)->isSeparator());
    QCOMPARE(entries.at(2)->text(), QStringLiteral("导入联系人…"));
    QCOMPARE(entries.at(3)->text(), QStringLiteral("导出联系人…"));
}

void TestExchangeWindow::importFromTheWindow()
{
    const QString csv = QDir(m_fixture->dir()).filePath(QStringLiteral("phone.csv"));
    writeFile(csv,
        gbk(QStringLiteral("姓名,性别,手机,地址,分组\r\n张三,男,+86 138 0013 8000,北京市朝阳区,朋友\r\n"
                           "李四,女,,,\r\n,男,,,\r\n")));
    BoxRecorder boxes;
    FileAnswer answer { csv };
    answerFileDialogs(&answer);
    m_window->NImport->trigger();

    QCOMPARE(answer.asked, 1);
    QCOMPARE(answer.caption, QStringLiteral("导入联系人"));
    QVERIFY(answer.filters.constFirst().contains(QStringLiteral("*.vcf")));
    QVERIFY(answer.filters.constFirst().contains(QStringLiteral("*.csv")));
    QCOMPARE(boxes.boxes().size(), 1);
    const ShownBox box = boxes.boxes().constFirst();
    QCOMPARE(box.caption, QStringLiteral("导入联系人"));
    QVERIFY2(box.text.startsWith(QStringLiteral("导入 1 条，跳过 2 条\n")), qPrintable(box.text));
    QVERIFY(box.text.contains(QStringLiteral("第 3 行 李四：与已有的联系人重名")));
    QVERIFY(box.text.contains(QStringLiteral("第 4 行：没有姓名")));
    // The reload step: the whole table, the new contact in the grid.
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));
    QCOMPARE(m_window->DBGrid1->model()->rowCount(), 3);
    QCOMPARE(m_fixture->rows(QStringLiteral("姓名='张三'")),
        QStringList { QStringLiteral("张三|男||13800138000||北京市朝阳区|朋友") });
}

void TestExchangeWindow::refusedFileChangesNothing()
{
    const QString vcf = QDir(m_fixture->dir()).filePath(QStringLiteral("cut.vcf"));
    writeFile(vcf, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\n");
    const QStringList before = m_fixture->rows();
    BoxRecorder boxes;
    FileAnswer answer { vcf };
    answerFileDialogs(&answer);
    m_window->NImport->trigger();
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, txl::ui::Icon::Warning);
    QVERIFY(boxes.boxes().constFirst().text.contains(QStringLiteral("没有导入任何联系人")));
    QCOMPARE(m_fixture->rows(), before);
}

void TestExchangeWindow::cancelledDialogDoesNothing()
{
    BoxRecorder boxes;
    FileAnswer answer;
    answerFileDialogs(&answer);
    const QStringList before = m_fixture->rows();
    m_window->NImport->trigger();
    m_window->NExport->trigger();
    QCOMPARE(answer.asked, 2);
    QCOMPARE(answer.caption, QStringLiteral("导出联系人"));
    QVERIFY(boxes.boxes().isEmpty());
    QCOMPARE(m_fixture->rows(), before);
}

void TestExchangeWindow::exportTheListAsItStands()
{
    // A search narrows the list; export writes what the window shows.
    m_window->RadioGroup1->setItemIndex(0);
    m_window->Edit1->setText(QStringLiteral("李"));
    m_window->BitBtn1Click();
    QCOMPARE(Dm->addquery->recordCount(), 1);

    const QString file = QDir(m_fixture->dir()).filePath(QStringLiteral("out.csv"));
    BoxRecorder boxes;
    FileAnswer answer { file, QStringLiteral("CSV 文件，GBK (*.csv)") };
    answerFileDialogs(&answer);
    m_window->NExport->trigger();
    QCOMPARE(answer.filters,
        QStringList({ QStringLiteral("vCard 文件 (*.vcf)"), QStringLiteral("CSV 文件，UTF-8 (*.csv)"),
            QStringLiteral("CSV 文件，GBK (*.csv)") }));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.boxes().constFirst().text.startsWith(QStringLiteral("已导出 1 条联系人")),
        qPrintable(boxes.boxes().constFirst().text));
    QCOMPARE(readFile(file),
        gbk(QStringLiteral(
            "姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名\r\n李四,女,,13900000000,,上海市,同事\r\n")));

    // vCard of the whole list after a reset.
    m_window->BitBtn2Click();
    const QString vcf = QDir(m_fixture->dir()).filePath(QStringLiteral("all"));
    // A bare name gets the suffix of the chosen kind.
    answer = FileAnswer { vcf, QStringLiteral("vCard 文件 (*.vcf)") };
    m_window->NExport->trigger();
    QCOMPARE(exchange::readContactsFile(vcf + QStringLiteral(".vcf")).size(), size_t(2));

    // A typed suffix wins over the kind chosen in the list.
    const QString typedCsv = QDir(m_fixture->dir()).filePath(QStringLiteral("typed.csv"));
    answer = FileAnswer { typedCsv, QStringLiteral("vCard 文件 (*.vcf)") };
    m_window->NExport->trigger();
    QVERIFY(readFile(typedCsv).startsWith(QStringLiteral("\uFEFF姓名,性别,QQ号码").toUtf8()));
    const QString typedVcf = QDir(m_fixture->dir()).filePath(QStringLiteral("typed.vcf"));
    answer = FileAnswer { typedVcf, QStringLiteral("CSV 文件，GBK (*.csv)") };
    m_window->NExport->trigger();
    QVERIFY(readFile(typedVcf).startsWith("BEGIN:VCARD\r\n"));
}

void TestExchangeWindow::sameFailureReadsAsTheTool_data()
{
    QTest::addColumn<bool>("import");
    QTest::addColumn<QString>("file"); // in the fixture's folder
    QTest::addColumn<QByteArray>("content"); // null: no such file; "/": a folder
    QTest::newRow("missing file") << true << "missing.csv" << QByteArray();
    QTest::newRow("a folder") << true << "folder.vcf" << QByteArray("/");
    QTest::newRow("empty file") << true << "empty.csv" << QByteArray("");
    QTest::newRow("cut vCard") << true << "cut.vcf" << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\n");
    QTest::newRow("export into a missing folder") << false << "nowhere/out.vcf" << QByteArray();
}

// The window and the tool (on a Chinese locale) word one failure alike.
void TestExchangeWindow::sameFailureReadsAsTheTool()
{
    const QString tool = qEnvironmentVariable("TXL_DB_TOOL");
    if (tool.isEmpty() || !QFileInfo(tool).isExecutable())
        QSKIP("the database tool is not built");
    QFETCH(bool, import);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    const QString path = QDir(m_fixture->dir()).filePath(file);
    if (content == "/")
        QVERIFY(QDir().mkpath(path));
    else if (!content.isNull())
        writeFile(path, content);
    const QStringList before = m_fixture->rows();
    // Qt's own texts (a file's error) in Chinese, as the program has them on
    // a Chinese locale.
    const std::unique_ptr<QTranslator> qtTexts = txl::ui::systemTranslator(QLocale(QLocale::Chinese, QLocale::China));
    if (qtTexts)
        QCoreApplication::installTranslator(qtTexts.get());

    BoxRecorder boxes;
    FileAnswer answer { path };
    answerFileDialogs(&answer);
    (import ? m_window->NImport : m_window->NExport)->trigger();
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, txl::ui::Icon::Warning);
    const QString shown = boxes.boxes().constFirst().text;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : { "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
        env.remove(QLatin1String(var));
    env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, { import ? QStringLiteral("import") : QStringLiteral("export"), path, m_fixture->dir() });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QStringLiteral("tongxunlu-db: ") + shown + u'\n');
    QVERIFY2(shown.endsWith(import ? QStringLiteral("\n没有导入任何联系人。") : QStringLiteral("\n没有写出文件。")),
        qPrintable(shown));
    QCOMPARE(m_fixture->rows(), before);
}

QTEST_MAIN(TestExchangeWindow)
#include "tst_exchange_window.moc"
