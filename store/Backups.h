#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

namespace txl {
class Connection;
}

namespace store {

// Marks the contacts file of a folder as in use: every process that has it
// open for a while (the program, the tool's writing commands) holds the
// shared mark; a restore, which puts another file in its place, needs the
// exclusive one. The mark is an flock on the file's folder, so it survives
// the file being replaced and dies with its process, even under kill -9.
class FileInUse {
public:
    enum class Mode { Shared, Exclusive };
    // Never waits for an exclusive mark; waits up to waitMs for a shared
    // one (a restore takes a second or two). held() tells whether it came.
    FileInUse(const QString &contactsFile, Mode mode, int waitMs = 10000);
    ~FileInUse();
    FileInUse(const FileInUse &) = delete;
    FileInUse &operator=(const FileInUse &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Copies of the contacts file in DataBase/backups/, made before every bulk
// change (import, password change, restore, sync). Each is the file's own
// bytes, so it has the file's key; it is made under a hidden temporary
// name, synced, read back with PRAGMA quick_check and only then given its
// name, data_txl-YYYY-MM-DD-HHMMSS.mdb (local time). The newest keepCount()
// are kept. Files are 0600 in a 0700 folder. Failures throw txl::DataError
// with the reason; a failed backup leaves no file and changes nothing.
namespace Backups {

constexpr int kDefaultKeep = 10;
constexpr int kMaxKeep = 1000;

QString folderOf(const QString &contactsFile);
// The number of backups kept: the whole number in backups/keep, else 10.
int keepCount(const QString &contactsFile);
void setKeepCount(const QString &contactsFile, int count);

// The one call before a bulk change: backs up the file `open` has open,
// then removes the oldest past keepCount(). Returns the backup's path.
QString beforeChange(txl::Connection &open);

struct Entry {
    QString path;
    QDateTime made;
    qint64 bytes = 0;
    int contacts = -1; // -1: not readable with the key at hand
    QString problem; // why not, when contacts is -1
};
// The backups in the folder, oldest first. With `current` open, each is
// counted under its key (most backups share it), else, or when that does
// not fit, under the built-in password.
std::vector<Entry> list(const QString &contactsFile, txl::Connection *current);

// Puts the backup `backup` has open in place of contactsFile: copied beside
// it and checked, then backUpCurrent is called (it backs the current file
// up; it may prune the very backup being restored, whose copy is made by
// then), then the copy is renamed over the file in one step, so the file is
// the old one or the backup at every moment. The caller holds FileInUse in
// Exclusive mode. A missing contacts file is fine: the backup becomes it.
void restore(txl::Connection &backup, const QString &contactsFile, const std::function<void()> &backUpCurrent);

} // namespace Backups

} // namespace store
