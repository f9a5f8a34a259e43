#pragma once

#include "ui_SyncSetup.h"

#include "sync/CardDav.h"

#include <QDialog>

#include <vector>

class QCloseEvent;

// The main window's sync commands: the account's set-up and "立即同步". The
// work is the sync library's, shared with the database tool.
namespace SyncWindow {

// Shows the set-up dialog; OK stores the account in the contacts file and
// the password in the desktop's secret store when one runs.
void setUp(QWidget *parent);

// One two-way sync: the password (kept or asked), a backup, the sync on a
// worker thread behind a window-modal progress box whose Cancel stops it
// safely, then the reload step and the summary.
void syncNow(QWidget *parent);

} // namespace SyncWindow

// The set-up dialog: server, user, password, a connection test and the
// address book. Controls are public, as every form's are.
class SyncSetupDialog : public QDialog, public Ui::SyncSetup {
    Q_OBJECT
public:
    explicit SyncSetupDialog(QWidget *parent = nullptr);
    ~SyncSetupDialog() override;

    // Looks for the user's address books with what is typed; fills the list
    // and says what was found, or why nothing was. True when one or more
    // were found.
    bool testConnection();

    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void fieldsChanged();

    std::vector<carddav::AddressBook> m_books; // found with the fields as they are
    QString m_storedBook; // the account's address book, chosen again when found
    QString m_fingerprint; // the server certificate the user accepted, if any
    bool m_busy = false;
};
