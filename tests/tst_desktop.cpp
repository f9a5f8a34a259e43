// The program as a desktop application: Qt's own Chinese translations for
// a Chinese user (and the program's fixed texts unchanged under them), the
// icons at 1x, 2x and 3x, and the two arguments the program answers.
#include "TestSupport.h"

#include "platform/report/PreviewWindow.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/SystemTranslations.h"
#include "report/Unit_print.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace {

bool chineseInstalled()
{
    return QFile::exists(txl::ui::systemTranslationsPath() + QStringLiteral("/qtbase_zh_CN.qm"));
}

// Runs action on the next modal message box, then closes it with the button
// named escape; gives up after a few seconds.
void onNextBox(const std::function<void(QMessageBox *)> &action)
{
    auto *tries = new int(0);
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box && ++*tries < 250)
            return;
        timer->stop();
        timer->deleteLater();
        delete tries;
        if (box) {
            action(box);
            box->done(0);
        }
    });
    timer->start();
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList out;
    for (QAbstractButton *b : box->buttons())
        out << b->text();
    out.sort();
    return out;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void translatorFollowsLanguage_data();
    void translatorFollowsLanguage();
    void fixedTextsUnderChinese_data();
    void fixedTextsUnderChinese();
    void previewCaptionUnderChinese();

    void iconDensities_data();
    void iconDensities();
    void windowIconDensities();

    void programArguments_data();
    void programArguments();

private:
    std::unique_ptr<QTranslator> installChinese();
    std::unique_ptr<QTranslator> m_installed;
};

void TestDesktop::cleanup()
{
    if (m_installed)
        QCoreApplication::removeTranslator(m_installed.get());
    m_installed.reset();
}

std::unique_ptr<QTranslator> TestDesktop::installChinese()
{
    auto t = txl::ui::systemTranslator(QLocale(QStringLiteral("zh_CN")));
    if (t)
        QCoreApplication::installTranslator(t.get());
    return t;
}

void TestDesktop::translatorFollowsLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("print");
    QTest::newRow("zh_CN") << "zh_CN" << true << "打印";
    QTest::newRow("zh_TW") << "zh_TW" << true << "列印";
    // No translation of its own: the simplified or traditional one by script.
    QTest::newRow("zh_SG") << "zh_SG" << true << "打印";
    QTest::newRow("zh_HK") << "zh_HK" << true << "列印";
    QTest::newRow("zh") << "zh" << true << "打印";
    QTest::newRow("en_US") << "en_US" << false << "";
    // Qt has German texts too; only a Chinese user gets Qt's translations.
    QTest::newRow("de_DE") << "de_DE" << false << "";
    QTest::newRow("C") << "C" << false << "";
}

void TestDesktop::translatorFollowsLanguage()
{
    QFETCH(QString, locale);
    QFETCH(bool, loads);
    QFETCH(QString, print);
    if (loads && !chineseInstalled())
        QSKIP("Qt's Chinese translations (qt6-translations-l10n) are not installed");
    const std::unique_ptr<QTranslator> t = txl::ui::systemTranslator(QLocale(locale));
    QCOMPARE(bool(t), loads);
    if (!t)
        return;
    QVERIFY(!t->isEmpty());
    // The print dialog's own title comes out in Chinese.
    const QString title = t->translate("QPrintDialog", "Print");
    QVERIFY2(title.contains(print), qPrintable(title));
}

void TestDesktop::fixedTextsUnderChinese_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("exit question") << 0 << "Confirm" << QStringList { QStringLiteral("&No"), QStringLiteral("&Yes") };
    QTest::newRow("delete question") << 1 << "Information"
                                     << QStringList { QStringLiteral("&No"), QStringLiteral("&Yes") };
    QTest::newRow("notice") << 2 << "提示" << QStringList { QStringLiteral("OK") };
    QTest::newRow("error report") << 3 << txl::ui::applicationTitle() << QStringList { QStringLiteral("OK") };
}

void TestDesktop::fixedTextsUnderChinese()
{
    QFETCH(int, kind);
    QFETCH(QString, caption);
    QFETCH(QStringList, buttons);
    if (!chineseInstalled())
        QSKIP("Qt's Chinese translations (qt6-translations-l10n) are not installed");
    m_installed = installChinese();
    QVERIFY(m_installed);
    // The translator is live: Qt's own standard button says 是(&Y).
    QVERIFY(QCoreApplication::translate("QPlatformTheme", "&Yes") != QStringLiteral("&Yes"));

    QString shownCaption;
    QStringList shownButtons;
    onNextBox([&](QMessageBox *box) {
        shownCaption = box->windowTitle();
        shownButtons = buttonTexts(box);
    });
    switch (kind) {
    case 0:
        txl::ui::askYesNo(QStringLiteral("真的要退出吗？"), txl::ui::QuestionKind::Confirmation);
        break;
    case 1:
        txl::ui::askYesNo(QStringLiteral("你是否真的要删除此用户？"), txl::ui::QuestionKind::Information);
        break;
    case 2:
        txl::ui::showNotice(QStringLiteral("记录为空！"), QStringLiteral("提示"));
        break;
    default:
        txl::ui::showErrorReport(QStringLiteral("no such table: data"));
        break;
    }
    QCOMPARE(shownCaption, caption);
    QCOMPARE(shownButtons, buttons);
}

void TestDesktop::previewCaptionUnderChinese()
{
    if (!chineseInstalled())
        QSKIP("Qt's Chinese translations (qt6-translations-l10n) are not installed");
    m_installed = installChinese();
    QVERIFY(m_installed);
    ContactsFixture fixture(3);
    fixture.createDm();
    Dm->reloadAll();
    auto holder = std::make_unique<Tfrm_print>();
    holder->QuickRep1->disconnect(holder.get());
    QPointer<txl::report::PreviewWindow> window = holder->QuickRep1->openPreview();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Print Preview"));
    delete window.data();
}

void TestDesktop::iconDensities_data()
{
    QTest::addColumn<int>("density");
    QTest::newRow("1x") << 1;
    QTest::newRow("2x") << 2;
    QTest::newRow("3x") << 3;
}

void TestDesktop::iconDensities()
{
    QFETCH(int, density);
    txl::ui::ImageList list;
    list.load(QStringLiteral(":/icons/image%1.png"), 13, QSize(16, 16));
    for (int i = 0; i < list.count(); ++i) {
        const QImage base = list.pixmap(i).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage dense
            = list.icon(i).pixmap(QSize(16, 16), density).toImage().convertToFormat(QImage::Format_ARGB32);
        const QString what = QStringLiteral("icon %1 at %2x").arg(i).arg(density);
        QCOMPARE(dense.size(), QSize(16, 16) * density);
        if (density == 1) {
            QCOMPARE(dense, base); // the hand-drawn pixels
            continue;
        }
        // The picture drawn for that density, not one stretched by the screen.
        const QImage drawn
            = QImage(QStringLiteral(":/icons/image%1@%2x.png").arg(i, 2, 10, QLatin1Char('0')).arg(density))
                  .convertToFormat(QImage::Format_ARGB32);
        // Compared as the screen gets it (premultiplied).
        QCOMPARE(dense.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        // Drawn from vectors: smooth edges, not the 1x pixels repeated as
        // blocks (as coarse at 200 % as at 100 %).
        int blocks = 0;
        int drawnCells = 0;
        int cells = 0;
        int sameShape = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                bool uniform = true;
                int alpha = 0;
                for (int dy = 0; dy < density; ++dy)
                    for (int dx = 0; dx < density; ++dx) {
                        const QRgb p = dense.pixel(x * density + dx, y * density + dy);
                        uniform = uniform && p == dense.pixel(x * density, y * density);
                        alpha += qAlpha(p);
                    }
                if (qAlpha(base.pixel(x, y)) > 0) {
                    blocks += uniform && dense.pixel(x * density, y * density) == base.pixel(x, y);
                    ++drawnCells;
                }
                ++cells;
                // The same picture: where 1x is clear, the dense one is mostly clear too.
                sameShape += (qAlpha(base.pixel(x, y)) > 0) == (alpha / (density * density) > 127);
            }
        QVERIFY2(blocks < drawnCells * 3 / 4, qPrintable(what + QStringLiteral(": repeated 1x pixels")));
        QVERIFY2(sameShape > cells * 8 / 10, qPrintable(what + QStringLiteral(": another picture")));
        // Anti-aliased: partly covered pixels along the edges.
        int partial = 0;
        for (int y = 0; y < dense.height(); ++y)
            for (int x = 0; x < dense.width(); ++x)
                partial += qAlpha(dense.pixel(x, y)) > 0 && qAlpha(dense.pixel(x, y)) < 255;
        QVERIFY2(partial > 0, qPrintable(what + QStringLiteral(": hard edges")));
    }
}

void TestDesktop::windowIconDensities()
{
    const QIcon icon = txl::ui::iconWithDensities(QStringLiteral(":/icons/window.png"));
    for (int density : { 1, 2, 3 }) {
        const QString file = density == 1 ? QStringLiteral(":/icons/window.png")
                                          : QStringLiteral(":/icons/window@%1x.png").arg(density);
        const QImage expected(file);
        QVERIFY2(!expected.isNull(), qPrintable(file));
        const QImage shown = icon.pixmap(QSize(16, 16), density).toImage();
        // Compared as the screen gets it (premultiplied): the picture drawn
        // for that density, not another one scaled.
        QCOMPARE(shown.size(), expected.size());
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    // The main window carries it.
    ContactsFixture fixture(0);
    fixture.createDm();
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    QCOMPARE(window.windowIcon().pixmap(QSize(16, 16), 2).size(), QSize(32, 32));
}

void TestDesktop::programArguments_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString version = QStringLiteral(TXL_VERSION);
    QTest::newRow("help") << "TXL_PROGRAM" << QStringList { QStringLiteral("--help") } << 0
                          << "Usage: tongxunlu [--help | --version]"
                          << "";
    QTest::newRow("-h") << "TXL_PROGRAM" << QStringList { QStringLiteral("-h") } << 0
                        << "Usage: tongxunlu [--help | --version]"
                        << "";
    QTest::newRow("version") << "TXL_PROGRAM" << QStringList { QStringLiteral("--version") } << 0
                             << QStringLiteral("tongxunlu ") + version + QLatin1Char('\n') << "";
    QTest::newRow("unknown option") << "TXL_PROGRAM" << QStringList { QStringLiteral("--bogus") } << 2 << ""
                                    << "tongxunlu: unexpected argument '--bogus'";
    QTest::newRow("a file name") << "TXL_PROGRAM" << QStringList { QStringLiteral("data_txl.mdb") } << 2 << ""
                                 << "tongxunlu: unexpected argument 'data_txl.mdb'";
    QTest::newRow("help and more") << "TXL_PROGRAM" << QStringList { QStringLiteral("--help"), QStringLiteral("x") }
                                   << 2 << ""
                                   << "tongxunlu: unexpected argument 'x'";
    QTest::newRow("Qt's own option") << "TXL_PROGRAM"
                                     << QStringList { QStringLiteral("-platform"), QStringLiteral("offscreen") } << 2
                                     << ""
                                     << "Try 'tongxunlu --help'.";
    QTest::newRow("tool version") << "TXL_DB_TOOL" << QStringList { QStringLiteral("--version") } << 0
                                  << QStringLiteral("tongxunlu-db ") + version + QLatin1Char('\n') << "";
}

void TestDesktop::programArguments()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString path = qEnvironmentVariable(program.toLatin1().constData());
    if (path.isEmpty() || !QFile::exists(path))
        QSKIP("program not found");
    // No window system: these answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QLatin1String(var));
    QTemporaryDir cwd;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(cwd.path());
    p.start(path, args);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == status, qPrintable(stdErr));
    if (out.isEmpty())
        QVERIFY2(stdOut.isEmpty(), qPrintable(stdOut));
    else if (out.endsWith(QLatin1Char('\n')))
        QCOMPARE(stdOut, out);
    else
        QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
    if (err.isEmpty())
        QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
    else
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    // Nothing was made in the working folder.
    QVERIFY(QDir(cwd.path()).isEmpty());
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
