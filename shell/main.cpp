#include "platform/ui/Dialogs.h"
#include "platform/ui/HintTiming.h"
#include "platform/ui/SystemTranslations.h"
#include "shell/StartupPassword.h"
#include "shell/Unit_Main.h"
#include "store/Backups.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

const char kHelp[] = R"(Usage: tongxunlu [--help | --version]

通讯录 (tongxunlu), an address book. Opens the contacts file
DataBase/data_txl.mdb under the working directory.

Installed, the command tongxunlu starts the program in the user's data
folder: $TXL_DATA_DIR, else $XDG_DATA_HOME/tongxunlu, else
~/.local/share/tongxunlu; the first time it makes an empty contacts file
there with tongxunlu-db create. An existing file is never touched.

  --help     show this help and exit
  --version  show the version and exit

The program takes no other arguments: any other exits with status 2.
)";

// The program takes no arguments but these two; they are answered before any
// window system is needed. Returns the exit status, or -1 to go on.
int answerArguments(int argc, char *argv[])
{
    if (argc <= 1)
        return -1;
    const char *arg = argv[1];
    const bool help = std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
    const bool version = std::strcmp(arg, "--version") == 0;
    if (argc == 2 && help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && version) {
        std::fputs("tongxunlu " TXL_VERSION "\n", stdout);
        return 0;
    }
    const char *unexpected = help || version ? argv[2] : arg;
    std::fprintf(stderr, "tongxunlu: unexpected argument '%s'\nTry 'tongxunlu --help'.\n", unexpected);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    const int answered = answerArguments(argc, argv);
    if (answered >= 0)
        return answered;

    QApplication app(argc, argv);
    // Qt's own dialogs (print, page set-up, files) in the user's Chinese.
    const std::unique_ptr<QTranslator> qtTexts = txl::ui::systemTranslator(QLocale::system());
    if (qtTexts)
        QCoreApplication::installTranslator(qtTexts.get());
    // The task bar names the program by its title (the window class carries
    // the application name); the display name is left unset because the
    // platform would append it to the window's caption, which stays "通讯录".
    QApplication::setApplicationName(txl::ui::applicationTitle());
    QGuiApplication::setDesktopFileName(QStringLiteral("tongxunlu"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    QApplication::setStyle(new txl::ui::HintTimingStyle);

    try {
        Dm = new TDm;
    } catch (const std::exception &e) {
        // Nothing else exists yet: the last chance to say why we stop.
        QMessageBox box(QMessageBox::Critical, txl::ui::applicationTitle(),
            QStringLiteral("无法启动：") + QString::fromUtf8(e.what()), QMessageBox::Ok);
        box.exec();
        return 1;
    } catch (...) {
        QMessageBox box(
            QMessageBox::Critical, txl::ui::applicationTitle(), QStringLiteral("无法启动。"), QMessageBox::Ok);
        box.exec();
        return 1;
    }

    // A file with its owner's password is opened here; the main window's
    // first open then finds the connection ready.
    // Held while the window runs: the tool's restore refuses to replace the
    // file meanwhile.
    const store::FileInUse inUse(ContactFile::relativePath(), store::FileInUse::Mode::Shared);
    Dm->unlock(askContactsPassword);

    frm_Main = new Tfrm_Main;
    frm_Main->show();
    const int status = QApplication::exec();
    delete frm_Main;
    delete Dm;
    return status;
}
