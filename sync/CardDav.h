#pragma once

#include "sync/DavClient.h"

#include <QHash>
#include <QString>
#include <QUrl>

#include <vector>

namespace carddav {

struct AddressBook {
    QUrl url;
    QString name; // its display name, else the last part of its path
    bool syncCollection = false; // offers the sync-collection report
};

// Finds the user's address books from a plain server URL: the URL itself
// when it is one, else its or /.well-known/carddav's current-user-principal,
// the principal's addressbook-home-set and the address books in that.
// Throws SyncError when none is found.
std::vector<AddressBook> discoverAddressBooks(DavClient &client, const QUrl &serverUrl);

// What the server holds now, or what changed since a token.
struct Listing {
    QHash<QString, QString> etags; // href path -> ETag of the cards listed
    QStringList removed; // href paths reported gone (sync-collection only)
    QString syncToken; // empty when the server gave none
    bool complete = false; // etags holds every card: those missing are gone
};

// With sync-collection: the changes since the token (all cards for an empty
// or stale token). Without: a PROPFIND of depth 1. Throws SyncError.
Listing listCards(DavClient &client, const QUrl &book, const QString &syncToken, bool useSyncCollection);

struct FetchedCard {
    QString etag;
    QByteArray text;
};

// The cards at these hrefs, read with addressbook-multiget in batches;
// hrefs the server no longer has are missing from the result.
QHash<QString, FetchedCard> fetchCards(DavClient &client, const QUrl &book, const QStringList &hrefs);

// The path a server href names, resolved against the address book, as the
// state keeps it.
QString hrefPath(const QUrl &book, const QString &href);

// Cards per multiget request.
constexpr int multigetBatch = 200;

} // namespace carddav
