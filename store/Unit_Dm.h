#pragma once

#include "platform/data/Connection.h"
#include "platform/data/DataSource.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"

#include <QObject>

#include <memory>

// The data module: the connection to the contacts file, the one shared
// contacts query every window works on, and the data source the main grid
// is bound to. Created before the main window and destroyed after it.
class TDm : public QObject {
    Q_OBJECT
public:
    explicit TDm(QObject *parent = nullptr);
    ~TDm() override;

    // Begins opening the contacts file with the built-in password on a
    // worker thread, for scon to take over (Connection::takeOpenFrom): the
    // key derivation then runs beside the rest of the start-up. Null when it
    // cannot be begun; the first open then opens the file itself.
    static std::unique_ptr<txl::OpeningAhead> openAhead() noexcept;
    // Start-up, before the main window: opens the contacts file, asking for
    // its owner's password when the built-in one does not fit. A file that
    // stays shut (Cancel, three wrong tries, any other failure) is left to
    // the first open of addquery, which reports it as it always has.
    // The owner's password is not kept: scon stays open until exit, so no
    // later open needs it (one would try the built-in password and fail).
    void unlock(const ContactFile::PasswordPrompt &ask) noexcept;
    // The reload step: the contacts query shows every contact again.
    void reloadAll();
    // Narrows the contacts query to the contacts whose `column` contains
    // `text`; wildcards in `text` keep their meaning. On the name column a
    // text in pinyin letters also matches the names' readings. Returns the
    // count found.
    int searchContacts(const QString &column, const QString &text);
    // The table behind the contacts query, for bulk reads and writes
    // (import, export) on the same connection.
    store::ContactTable contactTable() const;

    txl::Connection *scon;
    txl::Query *addquery;
    txl::DataSource *addsource;
};

extern TDm *Dm;
