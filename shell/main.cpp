#include "platform/data/Connection.h"
#include "shell/Startup.h"
#include "shell/StartupPassword.h"
#include "shell/Unit_Main.h"
#include "store/Backups.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>

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
    // The contacts file's key is derived on a worker meanwhile (most of a
    // small file's start-up); the first open waits for it.
    std::unique_ptr<txl::OpeningAhead> ahead = TDm::openAhead();

    QApplication app(argc, argv);
    const std::unique_ptr<QTranslator> qtTexts = startup::setUpApplication();
    if (!startup::createDataModule(std::move(ahead)))
        return 1;
    // Held while the window runs: the tool's restore refuses to replace the
    // file meanwhile.
    const store::FileInUse inUse(ContactFile::relativePath(), store::FileInUse::Mode::Shared);
    startup::showMainWindow(askContactsPassword);
    const int status = QApplication::exec();
    delete frm_Main;
    delete Dm;
    return status;
}
