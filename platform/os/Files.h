#pragma once

#include <QString>

#include <optional>

namespace txl::os {

// What a path names, its links followed.
enum class FileKind { Missing, Regular, Directory, Other }; // Other: pipe, device, socket

FileKind fileKind(const QString &path);

// A file's identity (device and inode, links followed): two paths with the
// same identity name one file, whatever their spelling, `..` or links.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
};

// Empty when the path names nothing that can be looked at.
std::optional<FileIdentity> fileIdentity(const QString &path);

} // namespace txl::os
