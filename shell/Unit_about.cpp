#include "shell/Unit_about.h"

#include "platform/image/JpegImage.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <memory>
#include <stdexcept>

Tfrm_about *frm_about = nullptr;

Tfrm_about::Tfrm_about(QWidget *parent, const QString &picturePath)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setupUi(this);
    setFixedSize(398, 283);
    Image1->setGeometry(0, 0, 398, 283);

    QFile file(picturePath);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("无法读取关于图片 %1").arg(picturePath).toStdString());
    const txl::ui::JpegDecoded picture = txl::ui::decodeJpeg(file.readAll());
    if (!picture.ok())
        throw std::runtime_error(picture.error.toStdString());
    // Unscaled from the top-left corner; the label paints no background, so
    // whatever the picture leaves uncovered shows the window's face colour.
    Image1->setPixmap(QPixmap::fromImage(picture.image));
    Image1->installEventFilter(this);
    centreOnScreen();
}

QString Tfrm_about::defaultPicturePath()
{
    return QStringLiteral(":/about/about.jpg");
}

void Tfrm_about::execute(QWidget *owner)
{
    std::unique_ptr<Tfrm_about> box(new Tfrm_about(owner));
    frm_about = box.get();
    struct Forget {
        ~Forget() { frm_about = nullptr; }
    } forget;
    box->exec();
}

void Tfrm_about::Image1Click()
{
    accept();
}

bool Tfrm_about::eventFilter(QObject *watched, QEvent *event)
{
    // A click is a left press and release on the picture, as a button's is.
    if (watched == Image1) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton)
                m_pressed = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton) {
                const bool click = m_pressed && Image1->rect().contains(mouse->position().toPoint());
                m_pressed = false;
                if (click)
                    Image1Click();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tfrm_about::reject()
{
    // Escape does not close the box: the click on the picture is the only way.
}

void Tfrm_about::closeEvent(QCloseEvent *event)
{
    // Nor does the window manager's close (Alt+F4); a close the program
    // itself asks for (the application ending) goes ahead.
    // (QDialog's own handler would go through reject(), which does nothing.)
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    done(QDialog::Rejected);
    event->accept();
}

void Tfrm_about::centreOnScreen()
{
    QScreen *screen = parentWidget() ? parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}
