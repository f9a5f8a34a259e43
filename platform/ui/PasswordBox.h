#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class PasswordBox;
}
class QLabel;
class QLineEdit;

namespace txl::ui {

// A modal box that asks for one password: a prompt, a masked field, OK and
// Cancel, centred on the screen. The caller gives every text. The typed
// password leaves the field when it is taken, so the box holds no copy.
class PasswordBox : public QDialog {
    Q_OBJECT
public:
    PasswordBox(const QString &title, const QString &prompt, QWidget *parent = nullptr);
    ~PasswordBox() override;

    // A line above the prompt, e.g. that the last password was wrong; empty
    // hides it.
    void setMessage(const QString &text);
    QString message() const;
    QString prompt() const;
    QLineEdit *field() const;

    // Returns the typed password and empties the field.
    QString takePassword();

    // Shows a box and waits. True for OK: the password is in password.
    // False for Cancel or the close box.
    static bool ask(const QString &title, const QString &prompt, const QString &message, QString &password,
        QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void updateOk();

    Ui::PasswordBox *m_ui;
};

} // namespace txl::ui
