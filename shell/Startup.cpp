#include "shell/Startup.h"

#include "platform/data/Connection.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/HintTiming.h"
#include "platform/ui/SystemTranslations.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>

namespace startup {

std::unique_ptr<QTranslator> setUpApplication()
{
    // Qt's own dialogs (print, page set-up, files) in the user's Chinese.
    std::unique_ptr<QTranslator> qtTexts = txl::ui::systemTranslator(QLocale::system());
    if (qtTexts)
        QCoreApplication::installTranslator(qtTexts.get());
    // The task bar names the program by its title (the window class carries
    // the application name); the display name is left unset because the
    // platform would append it to the window's caption, which stays "通讯录".
    QApplication::setApplicationName(txl::ui::applicationTitle());
    QGuiApplication::setDesktopFileName(QStringLiteral("tongxunlu"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    QApplication::setStyle(new txl::ui::HintTimingStyle);
    return qtTexts;
}

bool createDataModule(std::unique_ptr<txl::OpeningAhead> ahead)
{
    try {
        Dm = new TDm;
        Dm->scon->takeOpenFrom(std::move(ahead));
        return true;
    } catch (const std::exception &e) {
        // Nothing else exists yet: the last chance to say why we stop.
        QMessageBox box(QMessageBox::Critical, txl::ui::applicationTitle(),
            QStringLiteral("无法启动：") + QString::fromUtf8(e.what()), QMessageBox::Ok);
        box.exec();
    } catch (...) {
        QMessageBox box(
            QMessageBox::Critical, txl::ui::applicationTitle(), QStringLiteral("无法启动。"), QMessageBox::Ok);
        box.exec();
    }
    return false;
}

void showMainWindow(const ContactFile::PasswordPrompt &ask)
{
    // Built (hidden, without its list) while the key may still be derived;
    // nothing of it shows before the password box and the first load.
    frm_Main = new Tfrm_Main(nullptr, Tfrm_Main::FirstLoad::Later);
    // A file with its owner's password is opened here; the main window's
    // first open then finds the connection ready.
    Dm->unlock(ask);
    frm_Main->FormCreate();
    frm_Main->show();
}

} // namespace startup
