#include "platform/os/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace txl::os {

namespace {
constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;
constexpr mode_t kPrivateFolder = S_IRWXU;
} // namespace

bool makePrivatePath(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    // The parents first, so each folder is made by mkdir with its own mode
    // and never exists with a wider one.
    QStringList missing;
    QString at = absolute;
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            break;
        at = parent;
    }
    for (const QString &folder : std::as_const(missing)) {
        const QByteArray name = QFile::encodeName(folder);
        if (::mkdir(name.constData(), kPrivateFolder) != 0) {
            if (errno == EEXIST)
                continue; // made meanwhile by someone else: not ours to change
            return false;
        }
        // A umask can only take bits off; an odd one could take the owner's.
        if (::chmod(name.constData(), kPrivateFolder) != 0)
            return false;
    }
    return QFileInfo(absolute).isDir();
}

bool restrictToOwner(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0)
        return false;
    return ::chmod(name.constData(), S_ISDIR(st.st_mode) ? kPrivateFolder : kPrivateFile) == 0;
}

bool restrictToOwner(QFileDevice &file)
{
    const int fd = file.handle();
    return fd >= 0 && ::fchmod(fd, kPrivateFile) == 0;
}

bool preparePrivateFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return false;
    // Non-blocking, so a pipe of that name fails at once instead of waiting.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kPrivateFile);
    if (fd < 0)
        return false;
    // An existing file keeps its mode through open: set it here.
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fchmod(fd, kPrivateFile) == 0;
    ::close(fd);
    return ok;
}

} // namespace txl::os
