#include "sync/CardDav.h"

#include "sync/Multistatus.h"
#include "sync/SyncError.h"

#include <QXmlStreamWriter>

#include <functional>

namespace carddav {

namespace {

const QString dav = QStringLiteral("DAV:");
const QString card = QStringLiteral("urn:ietf:params:xml:ns:carddav");
const QByteArray xmlType = "application/xml; charset=utf-8";

// An XML request body: root element in DAV: or CardDAV, filled by f.
QByteArray xmlBody(const QString &ns, const QString &root, const std::function<void(QXmlStreamWriter &)> &f)
{
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.writeStartDocument();
    xml.writeNamespace(dav, QStringLiteral("d"));
    xml.writeNamespace(card, QStringLiteral("card"));
    xml.writeStartElement(ns, root);
    f(xml);
    xml.writeEndElement();
    xml.writeEndDocument();
    return body;
}

void props(QXmlStreamWriter &xml, const std::vector<std::pair<QString, QString>> &names)
{
    xml.writeStartElement(dav, QStringLiteral("prop"));
    for (const auto &[ns, name] : names)
        xml.writeEmptyElement(ns, name);
    xml.writeEndElement();
}

QString statusMessage(const char *what, const DavReply &reply)
{
    return QStringLiteral("服务器没有回答%1（HTTP %2）。").arg(QString::fromUtf8(what)).arg(reply.status);
}

Multistatus propfind(
    DavClient &client, const QUrl &url, int depth, const std::vector<std::pair<QString, QString>> &names)
{
    const QByteArray body = xmlBody(dav, QStringLiteral("propfind"), [&](QXmlStreamWriter &xml) { props(xml, names); });
    const DavReply reply = client.send("PROPFIND", url, body, xmlType, depth);
    if (reply.status != 207)
        throw SyncError(statusMessage("PROPFIND", reply), reply.status);
    return readMultistatus(reply.body);
}

const std::vector<std::pair<QString, QString>> bookProps { { dav, QStringLiteral("resourcetype") },
    { dav, QStringLiteral("displayname") }, { dav, QStringLiteral("supported-report-set") },
    { dav, QStringLiteral("current-user-principal") } };

AddressBook bookOf(const QUrl &base, const DavResponse &r)
{
    AddressBook b;
    b.url = base.resolved(QUrl(r.href));
    if (!b.url.path().endsWith(u'/'))
        b.url.setPath(b.url.path() + u'/');
    b.name = r.displayName;
    if (b.name.isEmpty()) {
        const QStringList parts = b.url.path().split(u'/', Qt::SkipEmptyParts);
        b.name = parts.isEmpty() ? b.url.path() : parts.last();
    }
    b.syncCollection = r.supportsSyncCollection;
    return b;
}

} // namespace

QString hrefPath(const QUrl &book, const QString &href)
{
    return book.resolved(QUrl(href)).path();
}

std::vector<AddressBook> discoverAddressBooks(DavClient &client, const QUrl &serverUrl)
{
    client.checkScheme(serverUrl);
    QString principal;
    try {
        const Multistatus m = propfind(client, serverUrl, 0, bookProps);
        for (const DavResponse &r : m.responses) {
            if (r.isAddressBook)
                return { bookOf(serverUrl, r) };
            if (principal.isEmpty())
                principal = r.principal;
        }
    } catch (const SyncError &e) {
        if (e.httpStatus() == 401)
            throw;
    }
    QUrl base = serverUrl;
    if (principal.isEmpty()) {
        QUrl wellKnown = serverUrl;
        wellKnown.setPath(QStringLiteral("/.well-known/carddav"));
        const Multistatus m = propfind(client, wellKnown, 0, { { dav, QStringLiteral("current-user-principal") } });
        for (const DavResponse &r : m.responses)
            if (principal.isEmpty())
                principal = r.principal;
        base = wellKnown;
    }
    if (principal.isEmpty())
        throw SyncError(QStringLiteral("在 %1 找不到 CardDAV 服务（没有 current-user-principal）。")
                            .arg(serverUrl.toDisplayString()));
    const QUrl principalUrl = base.resolved(QUrl(principal));
    QString home;
    for (const DavResponse &r :
        propfind(client, principalUrl, 0, { { card, QStringLiteral("addressbook-home-set") } }).responses)
        if (home.isEmpty())
            home = r.addressBookHome;
    if (home.isEmpty())
        throw SyncError(QStringLiteral("服务器没有给出这个用户的通讯录位置（addressbook-home-set）。"));
    const QUrl homeUrl = principalUrl.resolved(QUrl(home));
    std::vector<AddressBook> books;
    for (const DavResponse &r : propfind(client, homeUrl, 1, bookProps).responses)
        if (r.isAddressBook && r.status >= 200 && r.status < 300)
            books.push_back(bookOf(homeUrl, r));
    if (books.empty())
        throw SyncError(QStringLiteral("这个用户在服务器上还没有通讯录。"));
    return books;
}

Listing listCards(DavClient &client, const QUrl &book, const QString &syncToken, bool useSyncCollection)
{
    Listing listing;
    if (useSyncCollection) {
        for (const QString &token : { syncToken, QString() }) {
            const QByteArray body = xmlBody(dav, QStringLiteral("sync-collection"), [&](QXmlStreamWriter &xml) {
                xml.writeTextElement(dav, QStringLiteral("sync-token"), token);
                xml.writeTextElement(dav, QStringLiteral("sync-level"), QStringLiteral("1"));
                props(xml, { { dav, QStringLiteral("getetag") } });
            });
            const DavReply reply = client.send("REPORT", book, body, xmlType, 0);
            if (reply.status == 207) {
                const Multistatus m = readMultistatus(reply.body);
                for (const DavResponse &r : m.responses) {
                    const QString path = hrefPath(book, r.href);
                    if (path == book.path())
                        continue;
                    if (r.status == 404)
                        listing.removed.append(path);
                    else if (r.status >= 200 && r.status < 300)
                        listing.etags.insert(path, r.etag);
                }
                listing.syncToken = m.syncToken;
                listing.complete = token.isEmpty();
                return listing;
            }
            // A token the server no longer knows: start again from none.
            if (token.isEmpty() || (reply.status != 403 && reply.status != 409 && reply.status != 400))
                break;
        }
    }
    const Multistatus m
        = propfind(client, book, 1, { { dav, QStringLiteral("getetag") }, { dav, QStringLiteral("resourcetype") } });
    for (const DavResponse &r : m.responses) {
        const QString path = hrefPath(book, r.href);
        if (path != book.path() && !r.isCollection && r.status >= 200 && r.status < 300)
            listing.etags.insert(path, r.etag);
    }
    listing.complete = true;
    return listing;
}

QHash<QString, FetchedCard> fetchCards(DavClient &client, const QUrl &book, const QStringList &hrefs)
{
    std::vector<DavRequest> requests;
    for (qsizetype start = 0; start < hrefs.size(); start += multigetBatch) {
        const QStringList batch = hrefs.mid(start, multigetBatch);
        const QByteArray body = xmlBody(card, QStringLiteral("addressbook-multiget"), [&](QXmlStreamWriter &xml) {
            props(xml, { { dav, QStringLiteral("getetag") }, { card, QStringLiteral("address-data") } });
            for (const QString &href : batch)
                xml.writeTextElement(
                    dav, QStringLiteral("href"), QString::fromUtf8(QUrl::toPercentEncoding(href, "/")));
        });
        requests.push_back({ "REPORT", book, body, xmlType, 1 });
    }
    // The batches go out side by side; each answer is read as it comes.
    QHash<QString, FetchedCard> cards;
    client.sendAll(requests, [&](std::size_t, const DavReply &reply) {
        if (reply.status != 207)
            throw SyncError(statusMessage("addressbook-multiget", reply), reply.status);
        for (const DavResponse &r : readMultistatus(reply.body).responses) {
            if (r.status >= 200 && r.status < 300 && !r.addressData.isEmpty())
                cards.insert(hrefPath(book, r.href), { r.etag, r.addressData });
        }
    });
    return cards;
}

} // namespace carddav
