#include "platform/ui/Dialogs.h"

#include "platform/text/Cp936.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace txl::ui {

namespace {
BoxRecorder *g_recorder = nullptr;

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::None:
        return QMessageBox::NoIcon;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Stop:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QWidget *dialogParent()
{
    // Boxes belong to the window the user is working in, so they stay above it.
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void centreOnScreen(QWidget *box)
{
    box->adjustSize();
    QScreen *screen = box->screen() ? box->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    box->move(area.center() - QPoint(box->width() / 2, box->height() / 2));
}
} // namespace

struct BoxRecorderAccess {
    static bool record(ShownBox box, bool *answer)
    {
        if (!g_recorder)
            return false;
        g_recorder->m_boxes.append(box);
        if (answer)
            *answer = g_recorder->m_answers.isEmpty() ? false : g_recorder->m_answers.takeFirst();
        return true;
    }
};

BoxRecorder::BoxRecorder()
{
    g_recorder = this;
}

BoxRecorder::~BoxRecorder()
{
    if (g_recorder == this)
        g_recorder = nullptr;
}

QStringList BoxRecorder::texts() const
{
    QStringList out;
    for (const ShownBox &b : m_boxes)
        out << b.text;
    return out;
}

void showNotice(const QString &text, const QString &caption, Icon icon)
{
    if (BoxRecorderAccess::record({ ShownBox::Notice, text, caption, icon, { QStringLiteral("OK") } }, nullptr))
        return;
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, dialogParent());
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

bool askYesNo(const QString &text, QuestionKind kind)
{
    const bool confirm = kind == QuestionKind::Confirmation;
    const QString caption = confirm ? QStringLiteral("Confirm") : QStringLiteral("Information");
    const Icon icon = confirm ? Icon::Question : Icon::Information;
    bool answer = false;
    if (BoxRecorderAccess::record(
            { ShownBox::Question, text, caption, icon, { QStringLiteral("&Yes"), QStringLiteral("&No") } }, &answer))
        return answer;

    QMessageBox box(toQt(icon), caption, text, QMessageBox::NoButton, dialogParent());
    box.setObjectName(QStringLiteral("QuestionDialog"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    yes->setObjectName(QStringLiteral("Yes"));
    no->setObjectName(QStringLiteral("No"));
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    centreOnScreen(&box);
    box.exec();
    return box.clickedButton() == yes;
}

QString withFullStop(const QString &text)
{
    return txl::text::withFullStop(text);
}

QString applicationTitleFor(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    // The first character keeps its case; only the rest is lowered.
    return name.left(1) + name.mid(1).toLower();
}

QString applicationTitle()
{
    const QStringList args = QCoreApplication::arguments();
    return applicationTitleFor(args.isEmpty() ? QString() : args.first());
}

void showErrorReport(const QString &message)
{
    const QString text = withFullStop(message);
    const QString caption = applicationTitle();
    if (BoxRecorderAccess::record(
            { ShownBox::ErrorReport, text, caption, Icon::Stop, { QStringLiteral("OK") } }, nullptr))
        return;
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, dialogParent());
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void guarded(const std::function<void()> &body) noexcept
{
    try {
        try {
            body();
        } catch (const std::exception &e) {
            showErrorReport(QString::fromUtf8(e.what()));
        } catch (...) {
            showErrorReport(QString());
        }
    } catch (...) {
        // The report itself failed (out of memory, say): carry on with the
        // next event rather than end the program.
    }
}

} // namespace txl::ui
