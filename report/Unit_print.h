#pragma once

#include "platform/report/Report.h"

#include <QWidget>

// The report holder: a form that is never shown, holding the contact list
// report QuickRep1 bound to the contacts query. One is made per print
// command and handed to the preview it opens, which deletes it on closing.
class Tfrm_print : public QWidget {
    Q_OBJECT
public:
    explicit Tfrm_print(QWidget *parent = nullptr);
    ~Tfrm_print() override;

    txl::report::Report *QuickRep1;
};

extern Tfrm_print *frm_print;
