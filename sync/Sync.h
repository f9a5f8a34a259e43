#pragma once

#include "sync/DavClient.h"

#include <QStringList>

#include <functional>

namespace txl {
class Connection;
} // namespace txl

namespace carddav {

enum class Prefer { Neither, Local, Server };

// Where a sync is, for a progress display.
enum class SyncStep {
    Listing, // asking the server what changed
    Downloading, // `total` server cards to read; `done` once they are in
    Uploading, // `done` of `total` local changes sent
};

struct SyncOptions {
    bool dryRun = false; // nothing written on either side
    Prefer prefer = Prefer::Neither; // how conflicts are settled; Neither reports them
    // Called on the sync's own thread at each step; may be empty.
    std::function<void(SyncStep step, int done, int total)> progress {};
};

struct SyncReport {
    int uploaded = 0;
    int downloaded = 0;
    int deleted = 0; // on either side
    QStringList conflicts; // one line each: the name and what happened
    QStringList skipped; // server cards the import's rules keep out
    QString summaryLine() const; // "上传 N 条，下载 N 条，删除 N 条，冲突 N 条"
    QStringList lines() const; // the conflicts, then the skipped cards
};

// One two-way sync of the contacts file on `connection` with its account's
// address book, three-way per contact against the state of the last sync.
// Server changes and the state are stored in one transaction; each upload's
// state as soon as the server took it, so a sync cut short anywhere is
// finished by the next with nothing lost or doubled. Throws SyncError (no
// account, the server refused or failed) or the data layer's error.
SyncReport synchronize(txl::Connection &connection, DavClient &client, const SyncOptions &options);

} // namespace carddav
