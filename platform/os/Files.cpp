#include "platform/os/Files.h"

#include <QFile>

#include <sys/stat.h>

namespace txl::os {

namespace {

bool statOf(const QString &path, struct stat &st)
{
    const QByteArray native = QFile::encodeName(path);
    return !native.isEmpty() && ::stat(native.constData(), &st) == 0;
}

} // namespace

FileKind fileKind(const QString &path)
{
    struct stat st { };
    if (!statOf(path, st))
        return FileKind::Missing;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(st.st_mode))
        return FileKind::Directory;
    return FileKind::Other;
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat st { };
    if (!statOf(path, st))
        return std::nullopt;
    return FileIdentity { static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino) };
}

} // namespace txl::os
