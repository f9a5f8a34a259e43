// The database tool: makes the contacts file the program opens, sets its
// owner's password, and moves contacts in and out of it as vCard or CSV.
#include "exchange/Exchange.h"
#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/os/Terminal.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"
#include "tools/SyncCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

const char kUsage[] = R"(Usage: tongxunlu-db create [--sample N] [DIR]
       tongxunlu-db passwd [--stdin] [--reset] [DIR]
       tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]
       tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]
       tongxunlu-db --help | --version

DIR is the program's working folder (default: the current folder); the
contacts file is DIR/DataBase/data_txl.mdb.

create   Makes the password-protected contacts file with its table "data" and,
         with --sample N, N sample contacts (the same N gives the same
         contacts). It has the built-in password. An existing file is never
         touched: the tool refuses.
passwd   Gives the contacts file a password of its owner's own. The tool asks
         for the current password (only when the built-in one does not open
         the file), then for the new one twice; nothing typed is shown. An
         empty new password, or two that differ, change nothing. The change is
         made in one transaction: if it is interrupted, even by a crash, the
         file opens with the old password or the new one. The program then
         asks for the password when it starts.
         --reset gives the file the built-in password again.
import   Adds the contacts of a vCard (2.1, 3.0, 4.0) or CSV file, told apart by
         the content. Chinese text in UTF-8, UTF-16, GBK/GB18030, GB2312, Big5
         or UTF-7 (as the file declares or as found) is read. Records without a
         name, with a name already stored or given twice, or with a name, mobile
         or QQ longer than 11 bytes are skipped, each with its line and reason.
         All accepted contacts are stored in one transaction: on any error
         nothing is stored. --dry-run reports without writing.
export   Writes every contact as vCard 3.0 (UTF-8) or as CSV with a Chinese
         header row (UTF-8 with a byte-order mark, or GBK with --encoding gbk).
         The format defaults to CSV for a .csv or .txt FILE, else vCard.

Every command that opens an existing file asks for its password on the
terminal when the built-in one does not open it. With --stdin the passwords
are read from standard input instead, one per line, for scripts: the current
one (only when needed; one try), then for passwd the new one twice. Passwords
are never taken from the command line or the environment and never written
anywhere but into the file's encryption. A file with the built-in password
can be read by anyone who has the program; saved reports, PDF files and
exported files are plain files.

Exit status: 0 on success, 1 when refused (nothing changed), 2 on bad usage.

To read the file with the sqlcipher shell (the built-in password shown; use
the file's own if it has one):
  sqlcipher DIR/DataBase/data_txl.mdb \
    "PRAGMA key='%1'; %2 select * from data;"
)";

int usage(QTextStream &out, int status)
{
    // A quote in the key is doubled, as the PRAGMA's string literal needs.
    QString key = ContactFile::password();
    key.replace(QLatin1Char('\''), QStringLiteral("''"));
    out << QString::fromUtf8(kUsage).arg(key, txl::Connection::cipherPragmas());
    out << "\n" << synccommands::usage();
    return status;
}

int fail(QTextStream &err, const QString &message)
{
    err << "tongxunlu-db: " << message << '\n';
    return 1;
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

int create(QStringList args, QTextStream &out, QTextStream &err)
{
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
        return fail(err, QString::fromUtf8(e.what()) + QLatin1Char('.'));
    }
    out << "Made " << QDir::toNativeSeparators(QDir(dir).absoluteFilePath(ContactFile::relativePath())) << " with "
        << sample << " contacts in " << timer.elapsed() << " ms.\n";
    return 0;
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

// FILE then an optional DIR, with the options each command knows.
struct Operands {
    QString file;
    QString dir = QStringLiteral(".");
    bool ok = true;
};

Operands operands(const QStringList &positional)
{
    Operands o;
    if (positional.isEmpty() || positional.size() > 2) {
        o.ok = false;
        return o;
    }
    o.file = positional.at(0);
    if (positional.size() == 2)
        o.dir = positional.at(1);
    return o;
}

int import(QStringList args, QTextStream &out, QTextStream &err)
{
    bool dryRun = false;
    bool fromStdin = false;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--dry-run"))
            dryRun = true;
        else if (arg == QStringLiteral("--stdin"))
            fromStdin = true;
        else if (arg.startsWith(QLatin1Char('-')) && arg != QStringLiteral("-"))
            return usage(err, 2);
        else
            positional.append(arg);
    }
    const Operands o = operands(positional);
    if (!o.ok)
        return usage(err, 2);

    QElapsedTimer timer;
    timer.start();
    exchange::ImportSummary summary;
    try {
        exchange::ContactRecords records = exchange::readContactsFile(o.file);
        txl::Connection connection;
        openContactsFile(connection, o.dir, fromStdin);
        store::ContactTable table(connection);
        summary = exchange::importContacts(table, std::move(records), dryRun);
    } catch (const exchange::ExchangeError &e) {
        return fail(err, e.message());
    } catch (const std::exception &e) {
        return fail(err, QString::fromUtf8(e.what()) + QStringLiteral("；没有导入任何联系人。"));
    }
    if (dryRun)
        out << "试运行，没有写入：\n";
    out << summary.summaryLine() << '\n';
    for (const QString &line : summary.skippedLines())
        out << line << '\n';
    err << "(" << timer.elapsed() << " ms)\n";
    return 0;
}

int exportContacts(QStringList args, QTextStream &out, QTextStream &err)
{
    QString format;
    exchange::CsvEncoding encoding = exchange::CsvEncoding::Utf8;
    bool fromStdin = false;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--stdin")) {
            fromStdin = true;
        } else if (arg == QStringLiteral("--format") && !args.isEmpty()) {
            format = args.takeFirst().toLower();
            if (format != u"vcard" && format != u"csv")
                return usage(err, 2);
        } else if (arg == QStringLiteral("--encoding") && !args.isEmpty()) {
            const QString e = args.takeFirst().toLower();
            if (e == u"utf-8" || e == u"utf8")
                encoding = exchange::CsvEncoding::Utf8;
            else if (e == u"gbk")
                encoding = exchange::CsvEncoding::Gbk;
            else
                return usage(err, 2);
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return usage(err, 2);
        } else {
            positional.append(arg);
        }
    }
    const Operands o = operands(positional);
    if (!o.ok)
        return usage(err, 2);
    const exchange::FileFormat fileFormat = format.isEmpty() ? exchange::formatForPath(o.file)
        : format == u"csv"                                   ? exchange::FileFormat::Csv
                                                             : exchange::FileFormat::VCard;
    if (fileFormat == exchange::FileFormat::VCard && encoding == exchange::CsvEncoding::Gbk)
        return fail(err, QStringLiteral("vCard 文件总是以 UTF-8 写出；--encoding gbk 只用于 CSV。"));

    QElapsedTimer timer;
    timer.start();
    try {
        txl::Connection connection;
        openContactsFile(connection, o.dir, fromStdin);
        const exchange::ContactRecords records = exchange::recordsOf(store::ContactTable(connection).all());
        exchange::exportFile(o.file, records, fileFormat, encoding);
        out << "导出 " << records.size() << " 条到 " << QDir::toNativeSeparators(QFileInfo(o.file).absoluteFilePath())
            << '\n';
    } catch (const exchange::ExchangeError &e) {
        return fail(err, e.message());
    } catch (const std::exception &e) {
        return fail(err, QString::fromUtf8(e.what()) + QLatin1Char('.'));
    }
    err << "(" << timer.elapsed() << " ms)\n";
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
    if (args == QStringList { QStringLiteral("--version") }) {
        out << "tongxunlu-db " TXL_VERSION "\n";
        return 0;
    }
    const QString command = args.takeFirst();
    if (command == QStringLiteral("create"))
        return create(args, out, err);
    if (command == QStringLiteral("passwd"))
        return passwd(args, out, err);
    if (command == QStringLiteral("import"))
        return import(args, out, err);
    if (command == QStringLiteral("export"))
        return exportContacts(args, out, err);
    if (command == QStringLiteral("sync-setup") || command == QStringLiteral("sync")) {
        const int status = (command == QStringLiteral("sync") ? synccommands::sync : synccommands::setup)(
            args, out, err, openContactsFile);
        return status == 2 ? usage(err, 2) : status;
    }
    return usage(err, 2);
}
