#include "store/ContactFile.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/os/PrivateFiles.h"
#include "platform/os/Process.h"
#include "store/ContactTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace ContactFile {

QString relativePath()
{
    return QStringLiteral("DataBase/data_txl.mdb");
}

QString password()
{
    return QStringLiteral("86420975310");
}

QString schemaSql()
{
    return QStringLiteral("create table data (") + store::columnNames().join(QStringLiteral(" text, "))
        + QStringLiteral(" text);");
}

namespace {

// A new file is built under "<name>.part-<pid>" beside its final name and
// renamed into place only when complete, so an interrupted creation never
// leaves a file the program would take for a contacts file. What such a
// creation left (its process is gone) is removed by the next one.
QString partName(const QString &path, qint64 pid)
{
    return path + QStringLiteral(".part-") + QString::number(pid);
}

void removeLeftovers(const QString &path)
{
    const QFileInfo target(path);
    const QString prefix = target.fileName() + QStringLiteral(".part-");
    const QStringList found = target.dir().entryList({ prefix + QLatin1Char('*') }, QDir::Files | QDir::Hidden);
    for (const QString &name : found) {
        QString pidText = name.mid(prefix.size());
        if (pidText.endsWith(QStringLiteral("-journal")))
            pidText.chop(8);
        bool ok = false;
        const qint64 pid = pidText.toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        if (!txl::os::processIsGone(pid))
            continue; // still being built (or not ours to judge)
        QFile::remove(target.dir().filePath(name));
    }
}

// The first contacts of a new file, in one transaction.
void fill(const QString &path, const store::Contacts &contacts)
{
    if (contacts.empty())
        return;
    txl::Connection connection;
    connection.setDatabaseFile(path);
    connection.setPassword(password());
    connection.open();
    store::ContactTable(connection).insertNew(contacts);
}

} // namespace

QString pathIn(const QString &dir)
{
    return QDir(dir).absoluteFilePath(relativePath());
}

void openIn(txl::Connection &connection, const QString &dir, const PasswordPrompt &ask)
{
    connection.setDatabaseFile(pathIn(dir));
    openAsking(connection, ask);
}

void wipe(QString &password)
{
    if (password.isDetached())
        password.fill(QChar(u'\0'));
    password = QString();
}

void openAsking(txl::Connection &connection, const PasswordPrompt &ask)
{
    connection.setPassword(password());
    try {
        connection.open();
        return;
    } catch (const txl::WrongKeyError &) {
        // An encrypted file with a password of its owner's: ask below.
    }
    for (int attempt = 1; attempt <= kPasswordTries; ++attempt) {
        QString answer;
        if (!ask || !ask(attempt, answer)) {
            wipe(answer);
            throw txl::WrongKeyError(QStringLiteral("Not a valid password"));
        }
        try {
            connection.openWithPassword(answer);
            wipe(answer);
            return;
        } catch (const txl::WrongKeyError &) {
            wipe(answer);
            if (attempt == kPasswordTries)
                throw;
        } catch (...) {
            wipe(answer);
            throw;
        }
    }
}

void create(const QString &dir, const store::Contacts &contacts)
{
    const QString path = pathIn(dir);
    if (QFileInfo::exists(path))
        throw txl::DataError(
            QStringLiteral("The file '%1' exists already; it is left as it is").arg(QDir::toNativeSeparators(path)));
    if (txl::os::makePrivatePath(QFileInfo(path).absolutePath()))
        removeLeftovers(path);
    const QString part = partName(path, QCoreApplication::applicationPid());
    QFile::remove(part);
    QFile::remove(part + QStringLiteral("-journal"));
    txl::Connection::createDatabase(part, password(), schemaSql());
    try {
        // Owner-only before the first contact goes in: the password is built in.
        if (!txl::os::restrictToOwner(part))
            throw txl::DataError(QStringLiteral("Could not make '%1' private").arg(QDir::toNativeSeparators(part)));
        fill(part, contacts);
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    // Never replaces a file that appeared meanwhile.
    QFile made(part);
    if (!made.rename(path)) {
        const QString why = QFileInfo::exists(path)
            ? QStringLiteral("exists already; it is left as it is")
            : QStringLiteral("could not be put in place: ") + made.errorString();
        QFile::remove(part);
        throw txl::DataError(QStringLiteral("The file '%1' %2").arg(QDir::toNativeSeparators(path), why));
    }
}

} // namespace ContactFile
