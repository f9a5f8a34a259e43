#include "sync/Sync.h"

#include "store/ContactTable.h"
#include "store/SyncState.h"
#include "sync/CardDav.h"
#include "sync/CardText.h"
#include "sync/SyncError.h"

#include <QHash>
#include <QSet>
#include <QUuid>

namespace carddav {

namespace {

using store::Contact;
using store::SyncItem;
using store::SyncState;

// What the server side of one conflict needs once settled for the local one.
enum class Push { Put, PutNew, Delete };
struct Upload {
    Push kind = Push::Put;
    QString href;
    QString etag; // the server's, for If-Match
    QString baseText; // the server's card the change is merged into
    Contact contact;
    QString uid;
};

QUrl urlOf(const QUrl &book, const QString &path)
{
    QUrl url = book;
    url.setPath(path);
    return url;
}

class Run {
public:
    Run(txl::Connection &connection, DavClient &client, const SyncOptions &options)
        : m_connection(connection)
        , m_client(client)
        , m_options(options)
        , m_state(connection)
    {
    }

    SyncReport go()
    {
        const std::optional<store::SyncAccount> account = m_state.account();
        if (!account)
            throw SyncError(QStringLiteral("这个通讯录文件还没有设置同步：先用 sync-setup。"));
        m_state.upgrade();
        m_book = QUrl(account->bookUrl);
        for (SyncItem &item : m_state.items()) {
            m_byName.insert(item.name, item.href);
            m_items.insert(item.href, std::move(item));
        }
        for (Contact &c : store::ContactTable(m_connection).all())
            m_local.insert(c.name, std::move(c));

        // The server's side first: what changed there since the last sync.
        tell(SyncStep::Listing, 0, 0);
        const Listing listing = listCards(m_client, m_book, account->syncToken, true);
        QStringList changed;
        QSet<QString> gone(listing.removed.begin(), listing.removed.end());
        for (auto it = listing.etags.constBegin(); it != listing.etags.constEnd(); ++it) {
            const auto item = m_items.constFind(it.key());
            if (item == m_items.constEnd() || item->etag != it.value() || it.value().isEmpty())
                changed.append(it.key());
        }
        // A card of ours the server never got (its upload was cut short) is
        // missing from the listing without having been deleted there.
        if (listing.complete)
            for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it)
                if (!listing.etags.contains(it.key()) && !isPending(it.value()))
                    gone.insert(it.key());
        changed.sort(); // the same order every time: conflicts read the same
        tell(SyncStep::Downloading, 0, int(changed.size()));
        const QHash<QString, FetchedCard> cards = fetchCards(m_client, m_book, changed);
        tell(SyncStep::Downloading, int(changed.size()), int(changed.size()));
        for (const QString &href : changed)
            if (!cards.contains(href) && !(m_items.contains(href) && isPending(m_items.value(href))))
                gone.insert(href); // deleted between the listing and the fetch
        for (const QString &href : changed)
            if (cards.contains(href))
                serverChanged(href, cards.value(href));
        QStringList goneSorted(gone.begin(), gone.end());
        goneSorted.sort();
        for (const QString &href : goneSorted)
            if (m_items.contains(href))
                serverDeleted(href);

        // A conflict left open keeps the old token, so the next sync sees
        // the same server changes again instead of forgetting them.
        if (m_report.conflicts.isEmpty() || m_options.prefer != Prefer::Neither)
            if (!listing.syncToken.isEmpty() && listing.syncToken != account->syncToken)
                m_batch.syncToken = listing.syncToken;
        if (!m_options.dryRun)
            m_state.apply(m_batch);
        m_batch = store::SyncBatch();

        // Then ours: edits, deletions and new contacts since the last sync.
        for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
            const SyncItem &item = it.value();
            if (m_handled.contains(item.href))
                continue;
            const auto local = m_local.constFind(item.name);
            if (isPending(item)) {
                // Sent before, its answer never stored: sent again to the
                // same href, which the server refuses if it has it already.
                if (local == m_local.constEnd())
                    m_uploads.push_back({ Push::Delete, item.href, {}, {}, {}, item.uid });
                else
                    m_uploads.push_back({ Push::PutNew, item.href, {}, item.vcard, *local, item.uid });
            } else if (local == m_local.constEnd())
                m_uploads.push_back({ Push::Delete, item.href, item.etag, {}, {}, item.uid });
            else if (SyncState::fieldHash(*local) != item.hash)
                m_uploads.push_back({ Push::Put, item.href, item.etag, item.vcard, *local, item.uid });
        }
        QStringList names = m_local.keys();
        names.sort();
        for (const QString &name : names)
            if (!m_byName.contains(name) && !m_conflictNames.contains(name) && !m_queued.contains(name))
                m_uploads.push_back({ Push::PutNew, {}, {}, {}, m_local.value(name), {} });
        uploadAll();
        if (!m_options.dryRun)
            m_state.apply(m_batch);
        return m_report;
    }

private:
    void tell(SyncStep step, int done, int total) const
    {
        if (m_options.progress)
            m_options.progress(step, done, total);
    }

    // An item stored just before its card went up as new: the server may
    // have it or not. Its ETag is unknown until it is found there.
    static bool isPending(const SyncItem &item) { return item.etag.isEmpty(); }

    void conflict(const QString &name, const QString &what)
    {
        m_report.conflicts.append(QStringLiteral("冲突 %1：%2").arg(name, what));
        m_conflictNames.insert(name);
    }

    void keepItem(const QString &href, const FetchedCard &card, const QString &uid, const Contact &local)
    {
        SyncItem item { href, card.etag, uid, QString::fromUtf8(card.text), SyncState::fieldHash(local), local.name };
        m_batch.items.push_back(item);
        m_byName.remove(m_items.value(href).name);
        m_byName.insert(local.name, href);
        m_items.insert(href, item);
    }

    // The local name this server card's contact may take: free, or the
    // contact's own.
    bool nameFree(const QString &name, const QString &own) const
    {
        return name == own || (!m_local.contains(name) && !m_taken.contains(name));
    }

    void serverChanged(const QString &href, const FetchedCard &card)
    {
        m_handled.insert(href);
        const ReadCard read = readCard(card.text);
        const auto item = m_items.constFind(href);
        if (!read.reason.isEmpty()) {
            m_report.skipped.append(
                QStringLiteral("跳过 %1：%2").arg(read.contact.name.isEmpty() ? href : read.contact.name, read.reason));
            return;
        }
        const Contact &theirs = read.contact;
        if (item == m_items.constEnd()) {
            serverNew(href, card, read);
            return;
        }
        if (isPending(*item) && readCard(item->vcard.toUtf8()).contact == theirs) {
            // Our own new card, taken as sent by a sync cut short: now known,
            // and whatever changed here since goes up as an edit of it.
            SyncItem known = *item;
            known.etag = card.etag;
            known.vcard = QString::fromUtf8(card.text);
            m_batch.items.push_back(known);
            m_items.insert(href, known);
            m_handled.remove(href);
            return;
        }
        const QString base = item->name;
        const auto local = m_local.constFind(base);
        const bool localGone = local == m_local.constEnd();
        const bool localChanged = !localGone && SyncState::fieldHash(*local) != item->hash;
        if (!localGone && *local == theirs) {
            keepItem(href, card, read.uid, theirs); // both sides alike: only the state moves
            return;
        }
        if (localGone) {
            if (m_options.prefer == Prefer::Server && nameFree(theirs.name, QString()))
                insertLocal(href, card, read);
            else if (m_options.prefer == Prefer::Local)
                m_uploads.push_back({ Push::Delete, href, card.etag, {}, {}, read.uid });
            else
                conflict(theirs.name, QStringLiteral("这里已删除，服务器上却改过；两边都保持原样"));
            return;
        }
        if (localChanged && m_options.prefer != Prefer::Server) {
            if (m_options.prefer == Prefer::Local)
                m_uploads.push_back({ Push::Put, href, card.etag, QString::fromUtf8(card.text), *local, read.uid });
            else
                conflict(base, QStringLiteral("这里和服务器上都改过；两边都保持原样"));
            return;
        }
        if (!nameFree(theirs.name, base)) {
            conflict(base, QStringLiteral("服务器上改名为“%1”，这里已有同名的联系人").arg(theirs.name));
            return;
        }
        m_batch.updates.emplace_back(base, theirs);
        m_local.remove(base);
        m_local.insert(theirs.name, theirs);
        keepItem(href, card, read.uid, theirs);
        ++m_report.downloaded;
    }

    void insertLocal(const QString &href, const FetchedCard &card, const ReadCard &read)
    {
        m_batch.inserts.push_back(read.contact);
        m_local.insert(read.contact.name, read.contact);
        keepItem(href, card, read.uid, read.contact);
        ++m_report.downloaded;
    }

    void serverNew(const QString &href, const FetchedCard &card, const ReadCard &read)
    {
        const Contact &theirs = read.contact;
        const auto local = m_local.constFind(theirs.name);
        if (local == m_local.constEnd()) {
            if (m_taken.contains(theirs.name)) {
                m_report.skipped.append(QStringLiteral("跳过 %1：服务器上有两张同名的名片").arg(theirs.name));
                return;
            }
            m_taken.insert(theirs.name);
            insertLocal(href, card, read);
            return;
        }
        if (m_byName.contains(theirs.name)) {
            conflict(theirs.name, QStringLiteral("服务器上新建的名片与这里已同步的联系人同名"));
            return;
        }
        // An unsynced contact of the same name: the same one when alike (a
        // sync cut short after its upload), else a conflict.
        if (*local == theirs) {
            keepItem(href, card, read.uid, theirs);
        } else if (m_options.prefer == Prefer::Server) {
            m_batch.updates.emplace_back(theirs.name, theirs);
            m_local.insert(theirs.name, theirs);
            keepItem(href, card, read.uid, theirs);
            ++m_report.downloaded;
        } else if (m_options.prefer == Prefer::Local) {
            m_uploads.push_back({ Push::Put, href, card.etag, QString::fromUtf8(card.text), *local, read.uid });
            m_byName.insert(theirs.name, href);
        } else {
            conflict(
                theirs.name, QStringLiteral("服务器上新建的名片与这里未同步的联系人同名，内容不同；两边都保持原样"));
        }
    }

    void serverDeleted(const QString &href)
    {
        m_handled.insert(href);
        const SyncItem item = m_items.value(href);
        const auto local = m_local.constFind(item.name);
        const bool localGone = local == m_local.constEnd();
        const bool localChanged = !localGone && SyncState::fieldHash(*local) != item.hash;
        if (localChanged && m_options.prefer != Prefer::Server) {
            if (m_options.prefer == Prefer::Local) {
                dropItem(href);
                m_uploads.push_back({ Push::PutNew, {}, {}, item.vcard, *local, item.uid });
                m_queued.insert(item.name);
            } else {
                conflict(item.name, QStringLiteral("服务器上已删除，这里却改过；两边都保持原样"));
            }
            return;
        }
        if (!localGone) {
            m_batch.removes.append(item.name);
            m_local.remove(item.name);
            ++m_report.deleted;
        }
        dropItem(href);
    }

    void dropItem(const QString &href)
    {
        m_batch.droppedItems.append(href);
        m_byName.remove(m_items.value(href).name);
        m_items.remove(href);
    }

    // One upload as it goes out: where, and the card text sent.
    struct Outgoing {
        const Upload *upload = nullptr;
        QString href;
        QString uid;
        QByteArray text;
    };

    // The uploads go out side by side; each one's state is stored as soon
    // as the server has taken it, so a sync cut short sends none twice.
    void uploadAll()
    {
        std::vector<Outgoing> outgoing;
        std::vector<DavRequest> requests;
        for (const Upload &u : m_uploads) {
            if (m_options.dryRun) {
                ++(u.kind == Push::Delete ? m_report.deleted : m_report.uploaded);
                continue;
            }
            Outgoing o { &u, u.href, u.uid, {} };
            if (u.kind == Push::Delete) {
                requests.push_back({ "DELETE", urlOf(m_book, u.href), {}, {}, -1,
                    u.etag.isEmpty() ? QByteArray() : quotedEtag(u.etag) });
            } else {
                if (u.kind == Push::PutNew) {
                    // A card sent again after the server lost it keeps its UID.
                    const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces);
                    if (o.uid.isEmpty())
                        o.uid = fresh;
                    if (o.href.isEmpty())
                        o.href = m_book.path() + fresh + QStringLiteral(".vcf");
                    o.text
                        = u.baseText.isEmpty() ? newCard(u.contact, o.uid) : mergedCard(u.baseText.toUtf8(), u.contact);
                } else {
                    o.text = mergedCard(u.baseText.toUtf8(), u.contact);
                }
                requests.push_back({ "PUT", urlOf(m_book, o.href), o.text, "text/vcard; charset=utf-8", -1,
                    u.kind == Push::Put ? quotedEtag(u.etag) : QByteArray(), u.kind == Push::PutNew });
            }
            if (u.kind == Push::PutNew)
                m_batch.items.push_back({ o.href, QString(), o.uid, QString::fromUtf8(o.text),
                    SyncState::fieldHash(u.contact), u.contact.name });
            outgoing.push_back(std::move(o));
        }
        // Each new card's href is stored before it goes: a sync cut short
        // between the server taking it and its answer being stored then
        // sends it again to the same href, never as a second card.
        m_state.apply(m_batch);
        m_batch = store::SyncBatch();
        const int total = int(requests.size());
        int done = 0;
        tell(SyncStep::Uploading, done, total);
        m_client.sendAll(requests, [&](std::size_t i, const DavReply &reply) {
            taken(outgoing[i], reply);
            tell(SyncStep::Uploading, ++done, total);
        });
    }

    void taken(const Outgoing &o, const DavReply &reply)
    {
        const Upload &u = *o.upload;
        if (u.kind == Push::Delete) {
            if (reply.status == 412) {
                conflict(
                    m_items.value(u.href).name, QStringLiteral("这里已删除，服务器上却改过（412）；两边都保持原样"));
                return;
            }
            if ((reply.status < 200 || reply.status >= 300) && reply.status != 404)
                throw SyncError(
                    QStringLiteral("服务器没有删除 %1（HTTP %2）。").arg(u.href).arg(reply.status), reply.status);
            dropItem(u.href);
            m_state.apply(m_batch);
            m_batch = store::SyncBatch();
            ++m_report.deleted;
            return;
        }
        if (reply.status == 412 && u.kind == Push::PutNew) {
            // The server has a card at that href already: ours, sent by a
            // sync cut short, when it reads as ours.
            const QHash<QString, FetchedCard> there = fetchCards(m_client, m_book, { o.href });
            if (there.contains(o.href) && readCard(there.value(o.href).text).contact == u.contact) {
                keepItem(o.href, there.value(o.href), o.uid, u.contact);
                m_state.apply(m_batch);
                m_batch = store::SyncBatch();
                ++m_report.uploaded;
                return;
            }
        }
        if (reply.status == 412) {
            conflict(u.contact.name, QStringLiteral("服务器上的名片同时改过（412）；两边都保持原样"));
            return;
        }
        if (reply.status < 200 || reply.status >= 300)
            throw SyncError(
                QStringLiteral("服务器没有收下 %1（HTTP %2）。").arg(u.contact.name).arg(reply.status), reply.status);
        FetchedCard card { reply.etag, o.text };
        if (card.etag.isEmpty()) {
            // A server that gives no ETag for a PUT: read it back once.
            const QHash<QString, FetchedCard> back = fetchCards(m_client, m_book, { o.href });
            if (back.contains(o.href))
                card = back.value(o.href);
        }
        keepItem(o.href, card, o.uid, u.contact);
        m_state.apply(m_batch);
        m_batch = store::SyncBatch();
        ++m_report.uploaded;
    }

    txl::Connection &m_connection;
    DavClient &m_client;
    SyncOptions m_options;
    SyncState m_state;
    QUrl m_book;
    QHash<QString, SyncItem> m_items; // by href
    QHash<QString, QString> m_byName; // local name -> href
    QHash<QString, Contact> m_local; // by name
    QSet<QString> m_handled; // hrefs the server's side dealt with
    QSet<QString> m_taken; // names new server cards took in this sync
    QSet<QString> m_conflictNames;
    QSet<QString> m_queued; // local names already to be sent as new cards
    std::vector<Upload> m_uploads;
    store::SyncBatch m_batch;
    SyncReport m_report;
};

} // namespace

QString SyncReport::summaryLine() const
{
    return QStringLiteral("上传 %1 条，下载 %2 条，删除 %3 条，冲突 %4 条")
        .arg(uploaded)
        .arg(downloaded)
        .arg(deleted)
        .arg(conflicts.size());
}

QStringList SyncReport::lines() const
{
    return conflicts + skipped;
}

SyncReport synchronize(txl::Connection &connection, DavClient &client, const SyncOptions &options)
{
    return Run(connection, client, options).go();
}

} // namespace carddav
