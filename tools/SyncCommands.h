#pragma once

#include "sync/Sync.h"

#include <QString>
#include <QTextStream>
#include <QUrl>

#include <functional>

namespace txl {
class Connection;
} // namespace txl

// The work of the tool's sync-setup and sync commands, once their command
// lines are read. The contacts file is opened by the tool's own way (asking
// its password when needed). Each returns the exit status: 0 done, 1
// refused (or conflicts left).
namespace synccommands {

using OpenFile = std::function<void(txl::Connection &connection, const QString &dir, bool fromStdin)>;

struct SetupArgs {
    QUrl url;
    QString user;
    QString dir;
    bool fromStdin = false;
    bool insecure = false;
    QString book; // the address book's name, when the server has several
    QString acceptFingerprint; // normalised; empty: ask on the terminal
};
int setup(const SetupArgs &args, QTextStream &out, QTextStream &err, const OpenFile &open);

struct SyncArgs {
    QString dir;
    bool fromStdin = false;
    bool insecure = false;
    carddav::SyncOptions options;
};
int sync(const SyncArgs &args, QTextStream &out, QTextStream &err, const OpenFile &open);

} // namespace synccommands
