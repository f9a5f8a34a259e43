#pragma once

#include <QDialog>
#include <QString>

#include "ui_Unit_about.h"

class QCloseEvent;

// The About box: one borderless picture, closed by a click on it.
class Tfrm_about : public QDialog, public Ui::Tfrm_about {
    Q_OBJECT

public:
    // Throws std::runtime_error (with the decoder's message) when the
    // picture cannot be decoded; no box is made then.
    explicit Tfrm_about(QWidget *parent = nullptr, const QString &picturePath = defaultPicturePath());

    static QString defaultPicturePath();

    // Creates frm_about, shows it modally and destroys it when it closes.
    static void execute(QWidget *owner);

    void Image1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void centreOnScreen();

    bool m_pressed = false;
};

extern Tfrm_about *frm_about;
