#include "platform/ui/Dialogs.h"
#include "platform/ui/HintTiming.h"
#include "shell/StartupPassword.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
    Dm->unlock(askContactsPassword);

    frm_Main = new Tfrm_Main;
    frm_Main->show();
    const int status = QApplication::exec();
    delete frm_Main;
    delete Dm;
    return status;
}
