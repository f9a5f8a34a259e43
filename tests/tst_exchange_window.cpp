// Import and export from the main window: the menu entries, the file
// dialogs, the summary box and the list afterwards.
#include "TestSupport.h"

#include "exchange/Exchange.h"
#include "platform/data/Query.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/RadioGroup.h"
#include "platform/ui/SystemTranslations.h"
#include "shell/ContactExchange.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QScreen>
#include <QStringEncoder>
#include <QTranslator>
#include <QtTest>

#include <memory>

using txl::ui::BoxRecorder;
using txl::ui::FileDialogRecorder;
using txl::ui::FileRequest;
using txl::ui::ShownBox;

namespace {

// Records the import's summary box instead of showing it.
struct Summary {
    Summary()
    {
        ContactExchange::setSummaryViewerForTests([this](QDialog &box) {
            ++shown;
            caption = box.windowTitle();
            summary = box.findChild<QLabel *>(QStringLiteral("summaryLabel"))->text();
            details = box.findChild<QPlainTextEdit *>(QStringLiteral("detailsText"))->toPlainText();
            for (const QAbstractButton *button : box.findChild<QDialogButtonBox *>()->buttons())
                buttons << button->text();
            box.show();
            QTest::qWait(50);
            size = box.frameGeometry().size();
            picture = box.grab();
            box.hide();
        });
    }
    ~Summary() { ContactExchange::setSummaryViewerForTests({}); }
    int shown = 0;
    QString caption, summary, details;
    QStringList buttons;
    QSize size;
    QPixmap picture;
};

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

QByteArray fileHash(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
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
    void importCancelledFromTheFirstByte();
    void summaryFitsTheScreen();
    void exportNeverReplacesTheContactsFile();
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
    ContactExchange::setSummaryViewerForTests({});
    m_window.reset();
    m_fixture.reset();
}

void TestExchangeWindow::menuEntries()
{
    // The sync's entries follow, behind a separator of their own.
    const QList<QAction *> entries = m_window->N3->actions();
    QCOMPARE(entries.size(), 7);
    QCOMPARE(entries.at(0), m_window->N4);
    QVERIFY(entries.at(1)->isSeparator());
    QCOMPARE(entries.at(2)->text(), QStringLiteral("导入联系人…"));
    QCOMPARE(entries.at(3)->text(), QStringLiteral("导出联系人…"));
    QVERIFY(entries.at(4)->isSeparator());
}

void TestExchangeWindow::importFromTheWindow()
{
    const QString csv = QDir(m_fixture->dir()).filePath(QStringLiteral("phone.csv"));
    writeFile(csv,
        gbk(QStringLiteral("姓名,性别,手机,地址,分组\r\n张三,男,+86 138 0013 8000,北京市朝阳区,朋友\r\n"
                           "李四,女,,,\r\n,男,,,\r\n")));
    BoxRecorder boxes;
    FileDialogRecorder files;
    files.queueAnswer(csv);
    Summary summary;
    m_window->NImport->trigger();

    QCOMPARE(files.requests().size(), 1);
    const FileRequest asked = files.requests().constFirst();
    QCOMPARE(asked.mode, FileRequest::Open);
    QCOMPARE(asked.caption, QStringLiteral("导入联系人"));
    QVERIFY(asked.filters.constFirst().contains(QStringLiteral("*.vcf")));
    QVERIFY(asked.filters.constFirst().contains(QStringLiteral("*.csv")));
    QVERIFY(boxes.boxes().isEmpty());
    QCOMPARE(summary.shown, 1);
    QCOMPARE(summary.caption, QStringLiteral("导入联系人"));
    QCOMPARE(summary.summary, QStringLiteral("导入 1 条，跳过 2 条"));
    QCOMPARE(summary.details, QStringLiteral("跳过的记录：\n第 3 行 李四：与已有的联系人重名\n第 4 行：没有姓名"));
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
    FileDialogRecorder files;
    files.queueAnswer(vcf);
    m_window->NImport->trigger();
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, txl::ui::Icon::Warning);
    QVERIFY(boxes.boxes().constFirst().text.contains(QStringLiteral("没有导入任何联系人")));
    QCOMPARE(m_fixture->rows(), before);
}

void TestExchangeWindow::cancelledDialogDoesNothing()
{
    BoxRecorder boxes;
    FileDialogRecorder files; // nothing queued: every dialog is cancelled
    const QStringList before = m_fixture->rows();
    m_window->NImport->trigger();
    m_window->NExport->trigger();
    QCOMPARE(files.captions(), QStringList({ QStringLiteral("导入联系人"), QStringLiteral("导出联系人") }));
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
    FileDialogRecorder files;
    files.queueAnswer(file, QStringLiteral("CSV 文件，GBK (*.csv)"));
    m_window->NExport->trigger();
    QCOMPARE(files.requests().size(), 1);
    const FileRequest asked = files.requests().constFirst();
    QCOMPARE(asked.mode, FileRequest::Save);
    QCOMPARE(asked.filters,
        QStringList({ QStringLiteral("vCard 文件 (*.vcf)"), QStringLiteral("CSV 文件，UTF-8 (*.csv)"),
            QStringLiteral("CSV 文件，GBK (*.csv)") }));
    QCOMPARE(asked.selectedFilter, QStringLiteral("vCard 文件 (*.vcf)"));
    QVERIFY2(asked.start.endsWith(QStringLiteral("/通讯录.vcf")), qPrintable(asked.start));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.boxes().constFirst().text.startsWith(QStringLiteral("已导出 1 条联系人")),
        qPrintable(boxes.boxes().constFirst().text));
    QCOMPARE(readFile(file),
        gbk(QStringLiteral(
            "姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名\r\n李四,女,,13900000000,,上海市,同事\r\n")));

    // vCard of the whole list after a reset.
    m_window->BitBtn2Click();
    const QString vcf = QDir(m_fixture->dir()).filePath(QStringLiteral("all"));
    // A bare name gets the suffix of the chosen kind; no filter in the
    // answer leaves the one first selected, vCard.
    files.queueAnswer(vcf);
    m_window->NExport->trigger();
    QCOMPARE(exchange::readContactsFile(vcf + QStringLiteral(".vcf")).size(), size_t(2));

    // A typed suffix wins over the kind chosen in the list.
    const QString typedCsv = QDir(m_fixture->dir()).filePath(QStringLiteral("typed.csv"));
    files.queueAnswer(typedCsv, QStringLiteral("vCard 文件 (*.vcf)"));
    m_window->NExport->trigger();
    QVERIFY(readFile(typedCsv).startsWith(QStringLiteral("\uFEFF姓名,性别,QQ号码").toUtf8()));
    const QString typedVcf = QDir(m_fixture->dir()).filePath(QStringLiteral("typed.vcf"));
    files.queueAnswer(typedVcf, QStringLiteral("CSV 文件，GBK (*.csv)"));
    m_window->NExport->trigger();
    QVERIFY(readFile(typedVcf).startsWith("BEGIN:VCARD\r\n"));
}

void TestExchangeWindow::importCancelledFromTheFirstByte()
{
    // A file large enough that reading and checking it takes a while.
    QByteArray csv = "姓名,手机\r\n";
    for (int i = 0; i < 400000; ++i)
        csv += "联系人" + QByteArray::number(i) + ",13800138000\r\n";
    const QString file = QDir(m_fixture->dir()).filePath(QStringLiteral("big.csv"));
    writeFile(file, csv);
    const QByteArray hash = fileHash(m_fixture->databasePath());
    BoxRecorder boxes;
    FileDialogRecorder files;
    files.queueAnswer(file);
    // Cancel is pressed as soon as the window's event loop runs again: the
    // reading has only begun.
    bool sawProgress = false;
    QTimer::singleShot(0, m_window.get(), [&] {
        auto *progress = m_window->findChild<QProgressDialog *>(QStringLiteral("ImportProgress"));
        sawProgress = progress != nullptr;
        if (progress)
            progress->cancel();
    });
    QElapsedTimer timer;
    timer.start();
    m_window->NImport->trigger();
    QVERIFY(sawProgress);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().constFirst().text, QStringLiteral("导入已取消。\n没有导入任何联系人。"));
    QCOMPARE(fileHash(m_fixture->databasePath()), hash);
    QCOMPARE(m_fixture->rows().size(), 2);
    qInfo("cancelled after %lld ms", timer.elapsed());
}

void TestExchangeWindow::summaryFitsTheScreen()
{
    // One record with a 10 MB name, 120 with names too long, 60 with numbers
    // too long: the box lists 50 of each kind, values cut, the rest counted.
    QByteArray csv = "姓名,手机\r\n" + QByteArray(10 * 1024 * 1024, 'x') + ",\r\n";
    for (int i = 0; i < 120; ++i)
        csv += "欧阳司马诸葛" + QByteArray::number(i) + ",\r\n";
    for (int i = 0; i < 60; ++i)
        csv += "人" + QByteArray::number(i) + ",+852 9123 4567 " + QByteArray(60, '9') + "\r\n";
    const QString file = QDir(m_fixture->dir()).filePath(QStringLiteral("long.csv"));
    writeFile(file, csv);
    BoxRecorder boxes;
    FileDialogRecorder files;
    files.queueAnswer(file);
    Summary summary;
    m_window->NImport->trigger();
    QVERIFY(boxes.boxes().isEmpty());
    QCOMPARE(summary.shown, 1);
    QCOMPARE(summary.summary, QStringLiteral("导入 60 条，跳过 121 条"));
    QCOMPARE(summary.buttons, QStringList { QStringLiteral("确定") }); // whatever the locale
    const QStringList lines = summary.details.split(QLatin1Char('\n'));
    QCOMPARE(lines.count(QStringLiteral("……另有 71 条")), 1);
    QCOMPARE(lines.count(QStringLiteral("……另有 10 条")), 1);
    QCOMPARE(lines.constFirst(), QStringLiteral("跳过的记录："));
    QCOMPARE(lines.at(1),
        QStringLiteral("第 2 行 ") + QString(40, QLatin1Char('x'))
            + QStringLiteral("…：姓名超过 11 个字节（最多 5 个汉字）"));
    QVERIFY(lines.contains(QStringLiteral("第 123 行 人0：手机号码未导入：“+852 9123 4567 ")
        + QString(25, QLatin1Char('9')) + QStringLiteral("…”超过 11 个字节")));
    QCOMPARE(lines.size(), 1 + 50 + 1 + 1 + 1 + 50 + 1);
    for (const QString &line : lines)
        QVERIFY2(line.size() < 120, qPrintable(line.left(200)));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(summary.size.width() <= area.width() && summary.size.height() <= area.height(),
        qPrintable(QStringLiteral("%1 x %2").arg(summary.size.width()).arg(summary.size.height())));
    const QString picture = qEnvironmentVariable("TXL_SUMMARY_PNG");
    if (!picture.isEmpty())
        summary.picture.save(picture);
    QCOMPARE(m_fixture->rows().size(), 62);
}

void TestExchangeWindow::exportNeverReplacesTheContactsFile()
{
    const QString data = m_fixture->databasePath();
    const QString link = QDir(m_fixture->dir()).filePath(QStringLiteral("通讯录.vcf"));
    QVERIFY(QFile::link(data, link));
    const QByteArray hash = fileHash(data);
    for (const QString &target :
        { data, QDir(m_fixture->dir()).filePath(QStringLiteral("DataBase/../DataBase/data_txl.mdb")), link }) {
        BoxRecorder boxes;
        FileDialogRecorder files;
        files.queueAnswer(target, QStringLiteral("CSV 文件，UTF-8 (*.csv)"));
        m_window->NExport->trigger();
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().constFirst().icon, txl::ui::Icon::Warning);
        QVERIFY2(boxes.boxes().constFirst().text.contains(QStringLiteral("就是通讯录的数据文件")),
            qPrintable(boxes.boxes().constFirst().text));
        QVERIFY(boxes.boxes().constFirst().text.contains(QStringLiteral("没有写出文件")));
        QCOMPARE(fileHash(data), hash);
    }
    QCOMPARE(m_fixture->rows().size(), 2);
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
    FileDialogRecorder files;
    files.queueAnswer(path);
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
