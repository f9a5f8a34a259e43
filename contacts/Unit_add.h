#pragma once

#include "ui_Unit_add.h"

#include <QDialog>

// The contact editor: one modal dialog for adding a contact and for modifying
// the contact on the current row of the contacts query. Its mode is the
// caption of BitBtn1 ("添加" or "修改"), set by the opener with the other
// captions; the dialog keeps no other record of it. Created for one use.
class Tfrm_Add : public QDialog, public Ui::Tfrm_Add {
    Q_OBJECT
public:
    explicit Tfrm_Add(QWidget *parent = nullptr);
    ~Tfrm_Add() override;

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
    void addContact();
    void modifyContact();
    void cancelPendingEdit();

    bool m_editPending = false;
};

extern Tfrm_Add *frm_Add;
