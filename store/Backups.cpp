#include "store/Backups.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

const char kSchema[] = "txl_backup";

QString absolute(const QString &path)
{
    return QDir::current().absoluteFilePath(path);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString errnoText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("the disk is full");
    return QString::fromLocal8Bit(std::strerror(error));
}

// A rename is on disk only once the folder that holds it is synced.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Makes the backups folder, 0700 whatever the umask or an older mode.
QString preparedFolder(const QString &contactsFile)
{
    const QString folder = Backups::folderOf(contactsFile);
    if (!QDir().mkpath(folder))
        throw txl::DataError(QStringLiteral("Could not make the folder '%1'").arg(native(folder)));
    if (::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        throw txl::DataError(
            QStringLiteral("Could not make the folder '%1' private: %2").arg(native(folder), errnoText(errno)));
    return folder;
}

// Temporary copies are "<name>.part-<pid>"; those whose process is gone were
// cut short (a kill, a power cut) and are removed.
QString partName(const QString &path)
{
    return path + QStringLiteral(".part-") + QString::number(QCoreApplication::applicationPid());
}

void removeLeftovers(const QString &folder, const QString &prefix)
{
    const QDir dir(folder);
    const QStringList found = dir.entryList({ prefix + QStringLiteral("*.part-*") }, QDir::Files | QDir::Hidden);
    for (const QString &name : found) {
        bool ok = false;
        const qint64 pid = name.mid(name.lastIndexOf(QStringLiteral(".part-")) + 6).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == QCoreApplication::applicationPid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // still being made
        QFile::remove(dir.filePath(name));
    }
}

// data_txl-2026-12-11-094740.mdb, with "-2", "-3" … when two come within a second.
const QRegularExpression &backupName()
{
    static const QRegularExpression re(QStringLiteral("^data_txl-(\\d{4}-\\d\\d-\\d\\d-\\d{6})(?:-(\\d+))?\\.mdb$"));
    return re;
}

QStringList backupNames(const QString &folder)
{
    QStringList names;
    const QStringList all = QDir(folder).entryList({ QStringLiteral("data_txl-*.mdb") }, QDir::Files);
    for (const QString &name : all)
        if (backupName().match(name).hasMatch())
            names.append(name);
    // The date and time sort as text; a "-N" of the same second after it.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const auto ma = backupName().match(a);
        const auto mb = backupName().match(b);
        if (ma.captured(1) != mb.captured(1))
            return ma.captured(1) < mb.captured(1);
        return ma.captured(2).toInt() < mb.captured(2).toInt();
    });
    return names;
}

// Renames without replacing: false when `to` exists.
bool renameNew(const QString &from, const QString &to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS)
        throw txl::DataError(QStringLiteral("Could not name the backup '%1': %2").arg(native(to), errnoText(errno)));
    // A file system without the flag: a link never replaces either.
    if (::link(a.constData(), b.constData()) != 0) {
        if (errno == EEXIST)
            return false;
        throw txl::DataError(QStringLiteral("Could not name the backup '%1': %2").arg(native(to), errnoText(errno)));
    }
    ::unlink(a.constData());
    return true;
}

// Copies the file `connection` has open to `part` and reads it back whole.
void copyChecked(txl::Connection &connection, const QString &part)
{
    connection.copyFileTo(part);
    QString verdict;
    try {
        connection.attach(part, QString::fromLatin1(kSchema));
        verdict = connection.quickCheck(QString::fromLatin1(kSchema));
        connection.detach(QString::fromLatin1(kSchema));
    } catch (const txl::DataError &e) {
        verdict = e.message();
    }
    if (verdict != QStringLiteral("ok")) {
        QFile::remove(part);
        throw txl::DataError(QStringLiteral("The copy did not read back whole (%1)").arg(verdict));
    }
}

int countRows(txl::Connection &connection, const QString &schema)
{
    txl::Query query;
    query.setObjectName(QStringLiteral("backupCount"));
    query.setConnection(&connection);
    query.addSql(QStringLiteral("select count(*) from \"%1\".data").arg(schema));
    query.open();
    return query.value(0, 0).toInt();
}

// Counts the contacts of a backup attached to `connection`, keyed as its
// file or with `password`.
int countContacts(txl::Connection &connection, const QString &path, const QString *password)
{
    const QString schema = QString::fromLatin1(kSchema);
    connection.attach(path, schema, password);
    try {
        const int count = countRows(connection, schema);
        connection.detach(schema);
        return count;
    } catch (...) {
        connection.detach(schema);
        throw;
    }
}

} // namespace

FileInUse::FileInUse(const QString &contactsFile, Mode mode, int waitMs)
{
    const QString folder = QFileInfo(absolute(contactsFile)).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    const int how = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    QElapsedTimer timer;
    timer.start();
    while (::flock(fd, how) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || mode == Mode::Exclusive || timer.elapsed() >= waitMs) {
            ::close(fd);
            return;
        }
        QThread::msleep(20);
    }
    m_fd = fd;
}

FileInUse::~FileInUse()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace Backups {

QString folderOf(const QString &contactsFile)
{
    return QFileInfo(absolute(contactsFile)).absoluteDir().filePath(QStringLiteral("backups"));
}

int keepCount(const QString &contactsFile)
{
    QFile file(QDir(folderOf(contactsFile)).filePath(QStringLiteral("keep")));
    if (!file.open(QIODevice::ReadOnly))
        return kDefaultKeep;
    bool ok = false;
    const int count = QString::fromUtf8(file.read(32)).trimmed().toInt(&ok);
    return ok && count >= 1 && count <= kMaxKeep ? count : kDefaultKeep;
}

void setKeepCount(const QString &contactsFile, int count)
{
    if (count < 1 || count > kMaxKeep)
        throw txl::DataError(QStringLiteral("The number of backups kept is from 1 to %1").arg(kMaxKeep));
    const QString folder = preparedFolder(contactsFile);
    QFile file(QDir(folder).filePath(QStringLiteral("keep")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(QByteArray::number(count) + '\n') < 0
        || !file.flush())
        throw txl::DataError(
            QStringLiteral("Could not write '%1': %2").arg(native(file.fileName()), file.errorString()));
}

QString beforeChange(txl::Connection &open)
{
    const QString contactsFile = absolute(open.databaseFile());
    const QString folder = preparedFolder(contactsFile);
    removeLeftovers(folder, QStringLiteral(".data_txl-"));

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    const QString base = QStringLiteral("data_txl-") + stamp;
    const QString part = partName(QDir(folder).filePath(QLatin1Char('.') + base));
    QFile::remove(part);
    copyChecked(open, part);

    // Past every name of the same second, even one whose elder was pruned,
    // so the newest backup always sorts last.
    int first = 1;
    for (const QString &name : backupNames(folder)) {
        const QRegularExpressionMatch m = backupName().match(name);
        if (m.captured(1) == stamp)
            first = std::max(first, std::max(1, m.captured(2).toInt()) + 1);
    }
    QString made;
    for (int n = first; made.isEmpty(); ++n) {
        const QString name = base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".mdb");
        const QString target = QDir(folder).filePath(name);
        try {
            if (renameNew(part, target))
                made = target;
        } catch (...) {
            QFile::remove(part);
            throw;
        }
    }
    syncFolder(folder);

    // The newest are kept; the one just made is always among them.
    const QStringList names = backupNames(folder);
    const int keep = keepCount(contactsFile);
    for (int i = 0; i + keep < names.size(); ++i)
        if (QDir(folder).filePath(names.at(i)) != made)
            QFile::remove(QDir(folder).filePath(names.at(i)));
    return made;
}

std::vector<Entry> list(const QString &contactsFile, txl::Connection *current)
{
    const QString folder = folderOf(contactsFile);
    std::vector<Entry> entries;
    for (const QString &name : backupNames(folder)) {
        Entry e;
        e.path = QDir(folder).filePath(name);
        e.made = QDateTime::fromString(backupName().match(name).captured(1), QStringLiteral("yyyy-MM-dd-HHmmss"));
        e.bytes = QFileInfo(e.path).size();
        const QString builtIn = ContactFile::password();
        try {
            if (current) {
                try {
                    e.contacts = countContacts(*current, e.path, nullptr);
                } catch (const txl::DataError &) {
                    e.contacts = countContacts(*current, e.path, &builtIn);
                }
            } else {
                txl::Connection c;
                c.setDatabaseFile(e.path);
                c.setPassword(builtIn);
                c.open();
                e.contacts = countRows(c, QStringLiteral("main"));
            }
        } catch (const txl::DataError &error) {
            e.problem = error.message();
        }
        entries.push_back(e);
    }
    return entries;
}

void restore(txl::Connection &backup, const QString &contactsFile, const std::function<void()> &backUpCurrent)
{
    const QString target = absolute(contactsFile);
    const QString check = backup.quickCheck();
    if (check != QStringLiteral("ok"))
        throw txl::DataError(QStringLiteral("The backup is damaged (%1); nothing was restored").arg(check));
    const QString folder = QFileInfo(target).absolutePath();
    removeLeftovers(folder, QFileInfo(target).fileName());
    const QString part = partName(target);
    QFile::remove(part);
    copyChecked(backup, part);
    try {
        if (backUpCurrent)
            backUpCurrent();
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    // A journal beside a missing file belongs to no file we keep; beside the
    // new one it would be played into it.
    if (!QFileInfo::exists(target))
        QFile::remove(target + QStringLiteral("-journal"));
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString why = errnoText(errno);
        QFile::remove(part);
        throw txl::DataError(QStringLiteral("Could not put the backup in place of '%1': %2").arg(native(target), why));
    }
    syncFolder(folder);
}

} // namespace Backups

} // namespace store
