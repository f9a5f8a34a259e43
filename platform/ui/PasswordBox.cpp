#include "platform/ui/PasswordBox.h"

#include "ui_PasswordBox.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace txl::ui {

PasswordBox::PasswordBox(const QString &title, const QString &prompt, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::PasswordBox)
{
    m_ui->setupUi(this);
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->Label2->setText(prompt);
    m_ui->ButtonBox1->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    m_ui->ButtonBox1->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    // Nothing typed is offered elsewhere: no completion, no drag, no input
    // method that would keep a candidate list of it.
    m_ui->Edit1->setContextMenuPolicy(Qt::NoContextMenu);
    m_ui->Edit1->setDragEnabled(false);
    m_ui->Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    setMessage(QString());
    connect(m_ui->Edit1, &QLineEdit::textChanged, this, &PasswordBox::updateOk);
    updateOk();
}

PasswordBox::~PasswordBox()
{
    m_ui->Edit1->setText(QString());
    delete m_ui;
}

void PasswordBox::setMessage(const QString &text)
{
    m_ui->Label1->setText(text);
    m_ui->Label1->setVisible(!text.isEmpty());
}

QString PasswordBox::message() const
{
    return m_ui->Label1->text();
}

QString PasswordBox::prompt() const
{
    return m_ui->Label2->text();
}

QLineEdit *PasswordBox::field() const
{
    return m_ui->Edit1;
}

QString PasswordBox::takePassword()
{
    QString typed = m_ui->Edit1->text();
    // Replacing the text also drops the field's undo history, which holds
    // every character typed.
    m_ui->Edit1->setText(QString());
    return typed;
}

void PasswordBox::updateOk()
{
    // An empty password is never one: OK waits for a character.
    m_ui->ButtonBox1->button(QDialogButtonBox::Ok)->setEnabled(!m_ui->Edit1->text().isEmpty());
}

void PasswordBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    adjustSize();
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    m_ui->Edit1->setFocus();
}

void PasswordBox::done(int result)
{
    // Cancel leaves nothing typed behind.
    if (result != QDialog::Accepted)
        m_ui->Edit1->setText(QString());
    QDialog::done(result);
}

bool PasswordBox::ask(
    const QString &title, const QString &prompt, const QString &message, QString &password, QWidget *parent)
{
    PasswordBox box(title, prompt, parent);
    box.setMessage(message);
    const bool ok = box.exec() == QDialog::Accepted;
    password = ok ? box.takePassword() : QString();
    return ok;
}

} // namespace txl::ui
