#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace txl {
class Connection;
} // namespace txl

// The tool's sync-setup and sync commands. The contacts file is opened by
// the tool's own way (asking its password when needed).
namespace synccommands {

using OpenFile = std::function<void(txl::Connection &connection, const QString &dir, bool fromStdin)>;

QString usage(); // their part of the tool's help
int setup(QStringList args, QTextStream &out, QTextStream &err, const OpenFile &open);
int sync(QStringList args, QTextStream &out, QTextStream &err, const OpenFile &open);

} // namespace synccommands
