#pragma once

#include "store/Contact.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace txl {
class Connection;
} // namespace txl

namespace store {

// The one CardDAV account of a contacts file. The password is not here: it
// lives in the desktop's secret store or is asked for.
struct SyncAccount {
    QString serverUrl;
    QString user;
    QString bookUrl; // the address book synced with
    QString syncToken; // empty before the first sync or without sync-collection
    // The SHA-256 fingerprint of a server certificate the system does not
    // trust but the user accepted ("AB:CD:..."); empty for none.
    QString certFingerprint = QString();
};

// One contact as it was at its last sync, on both sides.
struct SyncItem {
    QString href; // the server's name for the card, absolute path
    QString etag;
    QString uid;
    QString vcard; // the server's card text as last seen or sent
    QString hash; // fieldHash() of the local row then
    QString name; // the local row's name then: rows are known by their names
};

// Everything one sync step writes, applied in one write transaction: the
// local rows and the state that says they are in step with the server.
struct SyncBatch {
    QStringList removes; // names
    std::vector<std::pair<QString, Contact>> updates; // the stored name, the new row
    Contacts inserts;
    std::vector<SyncItem> items; // stored or replaced by href
    QStringList droppedItems; // hrefs
    std::optional<QString> syncToken;
    bool isEmpty() const
    {
        return removes.isEmpty() && updates.empty() && inserts.empty() && items.empty() && droppedItems.isEmpty()
            && !syncToken;
    }
};

// The sync tables of an open contacts file, beside `data` (which they never
// change the shape of). A file without them is a file never set up for
// sync; the tables are made by setUp(). Failures throw the data layer's
// error; a failed write leaves the file as it was.
class SyncState {
public:
    explicit SyncState(txl::Connection &connection);

    bool isSetUp() const;
    // Makes the tables when missing and stores the account. Another server,
    // user or address book than the stored one forgets every item and the
    // token: nothing known about the old one holds for the new one. The
    // accepted certificate is always the one given.
    void setUp(const SyncAccount &account);
    // Adds to tables made by an earlier version what this one keeps there:
    // the accepted certificate's column and the trigger that moves an
    // item's name along when its contact is renamed, whoever renames it (a
    // rename is then an edit of the same card, not a delete and a new one).
    // Does nothing on a file never set up.
    void upgrade();
    std::optional<SyncAccount> account() const;
    std::vector<SyncItem> items() const;

    // Removes, then updates, then inserts, then the state. An insert whose
    // name is stored, or an update or remove whose name is not, throws and
    // leaves everything as it was.
    void apply(const SyncBatch &batch);

    // A hash of the seven fields, to tell later whether the row changed.
    static QString fieldHash(const Contact &contact);

private:
    std::optional<SyncAccount> account_() const;
    void upgradeWithin();
    txl::Connection &m_connection;
};

} // namespace store
