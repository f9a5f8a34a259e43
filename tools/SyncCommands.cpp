#include "tools/SyncCommands.h"

#include "platform/data/Connection.h"
#include "platform/os/Terminal.h"
#include "store/ContactFile.h"
#include "store/SyncState.h"
#include "sync/CardDav.h"
#include "sync/Secrets.h"
#include "sync/Sync.h"
#include "sync/SyncError.h"

#include <exception>

namespace synccommands {

namespace {

int fail(QTextStream &err, const QString &message)
{
    err << "tongxunlu-db: " << message << '\n';
    return 1;
}

// The server password: one line of standard input with --stdin, else typed
// on the terminal without echo. False when there is nowhere to ask.
bool askServerPassword(bool fromStdin, const QString &user, const QString &server, QString &password)
{
    if (fromStdin)
        return txl::os::readLine(password);
    if (!txl::os::standardInputIsTerminal())
        return false;
    return txl::os::readLine(password, true, QStringLiteral("%1 在 %2 的密码：").arg(user, server));
}

struct Common {
    bool fromStdin = false;
    bool insecure = false;
};

} // namespace

QString usage()
{
    return QStringLiteral(R"(       tongxunlu-db sync-setup [--stdin] [--insecure] [--book NAME] URL USER [DIR]
       tongxunlu-db sync [--stdin] [--insecure] [--dry-run] [--prefer local|server] [DIR]

sync-setup  Finds USER's CardDAV address books from the server URL (the
            address book's own URL, the server's, or one whose
            /.well-known/carddav leads to it) and keeps the account in the
            contacts file. With several address books, --book NAME chooses
            one. The server password is asked for (or read from standard
            input with --stdin) and kept in the desktop's secret store when
            one runs; otherwise sync asks for it each time.
sync        Two-way sync with that address book: changes on either side are
            carried to the other, contacts changed on both sides (or deleted
            on one and changed on the other) are conflicts that keep both
            sides as they are, unless --prefer local or --prefer server says
            which wins. --dry-run reports without writing anywhere. Prints
            one summary line, then one line per conflict or skipped card.
            Exit status 1 when conflicts are left. Plain http:// is used only
            for this computer unless --insecure is given.
)");
}

int setup(QStringList args, QTextStream &out, QTextStream &err, const OpenFile &open)
{
    Common common;
    QString bookName;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--stdin"))
            common.fromStdin = true;
        else if (arg == QStringLiteral("--insecure"))
            common.insecure = true;
        else if (arg == QStringLiteral("--book") && !args.isEmpty())
            bookName = args.takeFirst();
        else if (arg.startsWith(u'-'))
            return 2;
        else
            positional.append(arg);
    }
    if (positional.size() < 2 || positional.size() > 3)
        return 2;
    const QUrl url = QUrl::fromUserInput(positional.at(0));
    const QString user = positional.at(1);
    const QString dir = positional.value(2, QStringLiteral("."));
    if (!url.isValid() || user.isEmpty())
        return 2;

    QString password;
    try {
        txl::Connection connection;
        open(connection, dir, common.fromStdin);
        if (!askServerPassword(common.fromStdin, user, url.toDisplayString(), password))
            return fail(err, QStringLiteral("没有得到服务器的密码（没有终端可以询问；脚本请用 --stdin）。"));
        carddav::DavClient client(user, password, { common.insecure, 30000, 64 * 1024 * 1024 });
        const std::vector<carddav::AddressBook> books = carddav::discoverAddressBooks(client, url);
        const carddav::AddressBook *chosen = nullptr;
        for (const carddav::AddressBook &b : books)
            if (bookName.isEmpty() ? books.size() == 1 : b.name == bookName)
                chosen = &b;
        if (!chosen) {
            QStringList names;
            for (const carddav::AddressBook &b : books)
                names.append(QStringLiteral("“%1”").arg(b.name));
            ContactFile::wipe(password);
            return fail(err,
                QStringLiteral("服务器上有这些通讯录：%1；用 --book NAME 选一个。")
                    .arg(names.join(QStringLiteral("、"))));
        }
        store::SyncState(connection).setUp({ url.toString(), user, chosen->url.toString(), QString() });
        out << QStringLiteral("已设置同步：%1 在 %2 的通讯录“%3”（%4）\n")
                   .arg(user, url.toDisplayString(), chosen->name, chosen->url.toDisplayString());
        if (!common.fromStdin && carddav::storeSecret(carddav::accountKey(url.toString(), user), password))
            out << QStringLiteral("密码已存入桌面的密钥环。\n");
        else
            out << QStringLiteral("密码没有保存：每次同步时询问。\n");
    } catch (const carddav::SyncError &e) {
        ContactFile::wipe(password);
        return fail(err, e.message());
    } catch (const std::exception &e) {
        ContactFile::wipe(password);
        return fail(err, QString::fromUtf8(e.what()) + u'.');
    }
    ContactFile::wipe(password);
    return 0;
}

int sync(QStringList args, QTextStream &out, QTextStream &err, const OpenFile &open)
{
    Common common;
    carddav::SyncOptions options;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--stdin"))
            common.fromStdin = true;
        else if (arg == QStringLiteral("--insecure"))
            common.insecure = true;
        else if (arg == QStringLiteral("--dry-run"))
            options.dryRun = true;
        else if (arg == QStringLiteral("--prefer") && !args.isEmpty()) {
            const QString side = args.takeFirst();
            if (side == u"local")
                options.prefer = carddav::Prefer::Local;
            else if (side == u"server")
                options.prefer = carddav::Prefer::Server;
            else
                return 2;
        } else if (arg.startsWith(u'-'))
            return 2;
        else
            positional.append(arg);
    }
    if (positional.size() > 1)
        return 2;
    const QString dir = positional.value(0, QStringLiteral("."));

    QString password;
    try {
        txl::Connection connection;
        open(connection, dir, common.fromStdin);
        const std::optional<store::SyncAccount> account = store::SyncState(connection).account();
        if (!account)
            return fail(err, QStringLiteral("这个通讯录文件还没有设置同步：先用 tongxunlu-db sync-setup URL USER。"));
        const std::optional<QString> kept = common.fromStdin
            ? std::nullopt
            : carddav::readSecret(carddav::accountKey(account->serverUrl, account->user));
        if (kept)
            password = *kept;
        else if (!askServerPassword(common.fromStdin, account->user, account->serverUrl, password))
            return fail(err, QStringLiteral("没有得到服务器的密码（没有终端可以询问；脚本请用 --stdin）。"));
        carddav::DavClient client(account->user, password, { common.insecure, 30000, 64 * 1024 * 1024 });
        ContactFile::wipe(password);
        const carddav::SyncReport report = carddav::synchronize(connection, client, options);
        if (options.dryRun)
            out << QStringLiteral("试运行，没有写入：\n");
        out << report.summaryLine() << '\n';
        for (const QString &line : report.lines())
            out << line << '\n';
        return report.conflicts.isEmpty() ? 0 : 1;
    } catch (const carddav::SyncError &e) {
        ContactFile::wipe(password);
        return fail(err, e.message());
    } catch (const std::exception &e) {
        ContactFile::wipe(password);
        return fail(err, QString::fromUtf8(e.what()) + u'.');
    }
}

} // namespace synccommands
