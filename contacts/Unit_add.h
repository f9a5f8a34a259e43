#pragma once

#include "ui_Unit_add.h"

#include <QDialog>

namespace txl {
class Query;
}

// The contact editor: one modal dialog for adding a contact and for modifying
// the contact on the current row of the contacts query. The opener chooses
// the mode; the dialog shows it in its captions ("添加" or "修改" on BitBtn1).
// Created for one use.
class Tfrm_Add : public QDialog, public Ui::Tfrm_Add {
    Q_OBJECT
public:
    enum class Mode { Add, Modify };

    explicit Tfrm_Add(QWidget *parent = nullptr);
    ~Tfrm_Add() override;

    Mode mode() const { return m_mode; }
    // Sets the mode with the captions that show it; in modify mode the name,
    // which identifies the contact, cannot be changed.
    void setMode(Mode mode);
    // Copies the current row of `q` into the inputs, each column by name.
    void loadContact(const txl::Query &q);

public slots:
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    // Every way of closing passes here: an edit this dialog began and could
    // not write is given up, so the list shows the stored values again.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool isAddMode() const;
    QList<QPair<QString, QLineEdit *>> textBoxes() const;
    void addContact();
    void modifyContact();
    void cancelPendingEdit();

    Mode m_mode = Mode::Add;
    bool m_editPending = false;
};

extern Tfrm_Add *frm_Add;
