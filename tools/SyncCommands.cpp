#include "tools/SyncCommands.h"

#include "platform/data/Connection.h"
#include "platform/os/Terminal.h"
#include "store/ContactFile.h"
#include "store/SyncState.h"
#include "sync/CardDav.h"
#include "sync/Secrets.h"
#include "sync/SyncError.h"

#include <QCoreApplication>

#include <exception>
#include <optional>

namespace synccommands {

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;

int fail(QTextStream &err, const QString &message)
{
    err << "tongxunlu-db: " << message << '\n';
    return kRefused;
}

// The server password: one line of standard input with --stdin, else typed
// on the terminal without echo. False when there is nowhere to ask.
bool askServerPassword(bool fromStdin, const QString &user, const QString &server, QString &password)
{
    if (fromStdin)
        return txl::os::readLine(password);
    if (!txl::os::standardInputIsTerminal())
        return false;
    return txl::os::readLine(
        password, true, QCoreApplication::translate("Tool", "Password of %1 on %2: ").arg(user, server));
}

QString noPassword()
{
    return QCoreApplication::translate(
        "Tool", "No server password was given (there is no terminal to ask on; scripts give it with --stdin).");
}

carddav::DavClient::Options clientOptions(bool insecure, const QString &fingerprint)
{
    carddav::DavClient::Options options;
    options.insecure = insecure;
    options.acceptedFingerprint = fingerprint;
    return options;
}

// The user's answer to a certificate the system does not trust, asked on
// the terminal: only "yes" accepts it.
bool acceptedOnTerminal(const carddav::SyncError &refusal, QTextStream &err)
{
    if (!txl::os::standardInputIsTerminal())
        return false;
    err << refusal.message() << '\n'
        << QCoreApplication::translate(
               "Tool", "Accept this certificate only if its fingerprint is the one the server's administrator gives.")
        << '\n';
    err.flush();
    QString answer;
    return txl::os::readLine(answer, false, QCoreApplication::translate("Tool", "Accept it? Type yes to accept: "))
        && answer.trimmed() == u"yes";
}

QString acceptHint(const QString &fingerprint)
{
    return QCoreApplication::translate("Tool",
        "To accept that certificate, check its fingerprint with the server's administrator, then run sync-setup "
        "again with --accept-fingerprint %1.")
        .arg(fingerprint);
}

// Called in a catch block, for a command the engine or the data layer
// stopped: says why, with the way to accept a refused certificate. Any
// other exception goes on.
int failed(QTextStream &err)
{
    try {
        throw;
    } catch (const carddav::SyncError &e) {
        if (!e.untrustedFingerprint().isEmpty())
            return fail(err, e.message() + u'\n' + acceptHint(e.untrustedFingerprint()));
        return fail(err, e.message());
    } catch (const std::exception &e) {
        return fail(err, QString::fromUtf8(e.what()) + u'.');
    }
}

} // namespace

int setup(const SetupArgs &args, QTextStream &out, QTextStream &err, const OpenFile &open)
{
    QString password;
    try {
        txl::Connection connection;
        open(connection, args.dir, args.fromStdin);
        if (!askServerPassword(args.fromStdin, args.user, args.url.toDisplayString(), password))
            return fail(err, noPassword());
        QString fingerprint = args.acceptFingerprint;
        std::vector<carddav::AddressBook> books;
        for (;;) {
            carddav::DavClient client(args.user, password, clientOptions(args.insecure, fingerprint));
            try {
                books = carddav::discoverAddressBooks(client, args.url);
                break;
            } catch (const carddav::SyncError &e) {
                // Asked once, on a terminal, when no fingerprint was given.
                if (e.untrustedFingerprint().isEmpty() || !fingerprint.isEmpty() || args.fromStdin
                    || !acceptedOnTerminal(e, err))
                    throw;
                fingerprint = e.untrustedFingerprint();
            }
        }
        const carddav::AddressBook *chosen = nullptr;
        for (const carddav::AddressBook &b : books)
            if (args.book.isEmpty() ? books.size() == 1 : b.name == args.book)
                chosen = &b;
        if (!chosen) {
            QStringList names;
            for (const carddav::AddressBook &b : books)
                names.append(QStringLiteral("\"%1\"").arg(b.name));
            ContactFile::wipe(password);
            return fail(err,
                QCoreApplication::translate(
                    "Tool", "The server has these address books: %1; choose one with --book NAME.")
                    .arg(names.join(QStringLiteral(", "))));
        }
        store::SyncState(connection)
            .setUp({ args.url.toString(), args.user, chosen->url.toString(), QString(), fingerprint });
        out << QCoreApplication::translate("Tool", "Set up sync with the address book \"%1\" of %2 on %3 (%4).")
                   .arg(chosen->name, args.user, args.url.toDisplayString(), chosen->url.toDisplayString())
            << '\n';
        if (!fingerprint.isEmpty())
            out << QCoreApplication::translate("Tool", "The server's certificate %1 is accepted.").arg(fingerprint)
                << '\n';
        if (!args.fromStdin && carddav::storeSecret(carddav::accountKey(args.url.toString(), args.user), password))
            out << QCoreApplication::translate("Tool", "The password is kept in the desktop's secret store.") << '\n';
        else
            out << QCoreApplication::translate("Tool", "The password is not kept: each sync asks for it.") << '\n';
    } catch (...) {
        ContactFile::wipe(password);
        return failed(err);
    }
    ContactFile::wipe(password);
    return kDone;
}

int sync(const SyncArgs &args, QTextStream &out, QTextStream &err, const OpenFile &open)
{
    QString password;
    try {
        txl::Connection connection;
        open(connection, args.dir, args.fromStdin);
        const std::optional<store::SyncAccount> account = store::SyncState(connection).account();
        if (!account)
            return fail(err,
                QCoreApplication::translate(
                    "Tool", "This contacts file is not set up for sync: run tongxunlu-db sync-setup URL USER first."));
        const std::optional<QString> kept = args.fromStdin
            ? std::nullopt
            : carddav::readSecret(carddav::accountKey(account->serverUrl, account->user));
        if (kept)
            password = *kept;
        else if (!askServerPassword(args.fromStdin, account->user, account->serverUrl, password))
            return fail(err, noPassword());
        carddav::DavClient client(account->user, password, clientOptions(args.insecure, account->certFingerprint));
        ContactFile::wipe(password);
        const carddav::SyncReport report = carddav::synchronize(connection, client, args.options);
        if (args.options.dryRun)
            out << QCoreApplication::translate("Tool", "Dry run, nothing was written:") << '\n';
        out << report.summaryLine() << '\n';
        for (const QString &line : report.lines())
            out << line << '\n';
        return report.conflicts.isEmpty() ? kDone : kRefused;
    } catch (...) {
        ContactFile::wipe(password);
        return failed(err);
    }
}

} // namespace synccommands
