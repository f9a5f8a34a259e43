// The database tool: makes the contacts file the program opens, and sets
// its owner's password.
#include "platform/data/Connection.h"
#include "platform/os/Terminal.h"
#include "store/ContactFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

const char kUsage[] = R"(Usage: tongxunlu-db create [--sample N] [DIR]
       tongxunlu-db passwd [--stdin] [--reset] [DIR]

create  Makes DIR/DataBase/data_txl.mdb (DIR defaults to the current folder):
        the password-protected contacts file of tongxunlu, with its table
        "data" and, with --sample N, N sample contacts (the same N gives the
        same contacts). It has the built-in password. An existing file is
        never touched: the tool refuses and exits with status 1.

passwd  Gives DIR/DataBase/data_txl.mdb a password of its owner's own. The
        tool asks for the current password (only when the built-in one does
        not open the file), then for the new one twice; nothing typed is
        shown. An empty new password, or two that differ, change nothing.
        The change is made in one transaction: if it is interrupted, even by
        a crash, the file opens with the old password or the new one. The
        program then asks for the password when it starts.
  --stdin  read the passwords from standard input, one per line, for
           scripts: the current one (only when the built-in one does not
           open the file; one try), the new one, the new one again
  --reset  give the file the built-in password again (asks only for the
           current one)

The passwords are never taken from the command line or the environment and
never written anywhere but into the file's encryption. A file with the
built-in password can be read by anyone who has the program; saved reports
and PDF files are plain files.

Exit status: 0 done, 1 refused or failed (the file is as it was), 2 usage.

To read the file with the sqlcipher shell (the built-in password shown;
use the file's own if it has one):
  sqlcipher DIR/DataBase/data_txl.mdb \
    "PRAGMA key='86420975310'; %1 select * from data;"
)";

int usage(QTextStream &out, int status)
{
    out << QString::fromUtf8(kUsage).arg(txl::Connection::cipherPragmas());
    return status;
}

// Asks for the current password when the built-in one does not open the
// file: on the terminal without echo, three tries, or one line of standard
// input. Used by every command that opens an existing file.
ContactFile::PasswordPrompt currentPasswordPrompt(bool fromStdin)
{
    return [fromStdin](int attempt, QString &password) {
        if (fromStdin)
            return attempt == 1 && txl::os::readLine(password);
        if (!txl::os::standardInputIsTerminal())
            return false;
        if (attempt > 1)
            fputs("Wrong password.\n", stderr);
        return txl::os::readLine(password, true, QStringLiteral("Password of the contacts file: "));
    };
}

void openContactsFile(txl::Connection &connection, const QString &dir, bool fromStdin)
{
    connection.setDatabaseFile(QDir(dir).absoluteFilePath(ContactFile::relativePath()));
    try {
        ContactFile::openAsking(connection, currentPasswordPrompt(fromStdin));
    } catch (const txl::WrongKeyError &) {
        if (!fromStdin && !txl::os::standardInputIsTerminal())
            throw txl::DataError(QStringLiteral(
                "The file has a password of its own and there is no terminal to ask for it on; give it with --stdin"));
        throw;
    }
}

int passwd(QStringList args, QTextStream &out, QTextStream &err)
{
    bool fromStdin = false;
    bool reset = false;
    QString dir = QStringLiteral(".");
    bool dirGiven = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--stdin"))
            fromStdin = true;
        else if (arg == QStringLiteral("--reset"))
            reset = true;
        else if (!arg.startsWith(QLatin1Char('-')) && !dirGiven) {
            dir = arg;
            dirGiven = true;
        } else {
            return usage(err, 2);
        }
    }

    const QString native = QDir::toNativeSeparators(QDir(dir).absoluteFilePath(ContactFile::relativePath()));
    txl::Connection connection;
    QString newPassword;
    try {
        openContactsFile(connection, dir, fromStdin);
        if (reset) {
            newPassword = ContactFile::password();
        } else {
            if (!fromStdin && !txl::os::standardInputIsTerminal())
                throw txl::DataError(
                    QStringLiteral("There is no terminal to ask for the new password on; give it with --stdin"));
            QString again;
            const bool gotNew = txl::os::readLine(newPassword, true, QStringLiteral("New password: "));
            const bool gotAgain = gotNew && txl::os::readLine(again, true, QStringLiteral("The new password again: "));
            const bool same = newPassword == again;
            ContactFile::wipe(again);
            if (!gotNew || !gotAgain)
                throw txl::DataError(QStringLiteral("The new password was not given twice; nothing was changed"));
            if (newPassword.isEmpty())
                throw txl::DataError(QStringLiteral("The new password is empty; nothing was changed"));
            if (!same)
                throw txl::DataError(QStringLiteral("The two new passwords differ; nothing was changed"));
        }
        connection.rekey(newPassword);
        ContactFile::wipe(newPassword);
    } catch (const std::exception &e) {
        ContactFile::wipe(newPassword);
        err << "tongxunlu-db: " << QString::fromUtf8(e.what()) << ".\n";
        return 1;
    }
    connection.close();
    if (reset)
        out << native << " has the built-in password again.\n";
    else
        out << "Changed the password of " << native << ".\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")))
        return usage(out, args.isEmpty() ? 2 : 0);
    const QString command = args.takeFirst();
    if (command == QStringLiteral("passwd"))
        return passwd(args, out, err);
    if (command != QStringLiteral("create"))
        return usage(err, 2);

    int sample = 0;
    QString dir = QStringLiteral(".");
    bool dirGiven = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--sample")) {
            bool ok = false;
            sample = args.isEmpty() ? -1 : args.takeFirst().toInt(&ok);
            if (!ok || sample < 0 || sample > 10000000) {
                err << "tongxunlu-db: --sample takes a whole number from 0 to 10000000\n";
                return 2;
            }
        } else if (!arg.startsWith(QLatin1Char('-')) && !dirGiven) {
            dir = arg;
            dirGiven = true;
        } else {
            return usage(err, 2);
        }
    }

    QElapsedTimer timer;
    timer.start();
    try {
        ContactFile::create(dir, sample);
    } catch (const std::exception &e) {
        err << "tongxunlu-db: " << QString::fromUtf8(e.what()) << ".\n";
        return 1;
    }
    out << "Made " << QDir::toNativeSeparators(QDir(dir).absoluteFilePath(ContactFile::relativePath())) << " with "
        << sample << " contacts in " << timer.elapsed() << " ms.\n";
    return 0;
}
