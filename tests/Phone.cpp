#include "Phone.h"

#include "sync/CardDav.h"
#include "sync/CardText.h"

#include <QUuid>
#include <QtDebug>

namespace {

carddav::DavClient::Options withFingerprint(const QString &acceptedFingerprint)
{
    carddav::DavClient::Options options;
    options.acceptedFingerprint = acceptedFingerprint;
    return options;
}

} // namespace

Phone::Phone(const QString &user, const QString &password, const QString &acceptedFingerprint)
    : m_user(user)
    , m_client(user, password, withFingerprint(acceptedFingerprint))
{
}

QUrl Phone::newBook(const QUrl &root, const QString &displayName)
{
    QUrl book = root;
    book.setPath(QStringLiteral("/%1/%2/").arg(m_user, QUuid::createUuid().toString(QUuid::Id128)));
    const QByteArray body = "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
                            "<set><prop><resourcetype><collection/><C:addressbook/></resourcetype>"
                            "<displayname>"
        + displayName.toHtmlEscaped().toUtf8() + "</displayname></prop></set></mkcol>";
    const carddav::DavReply reply = m_client.send("MKCOL", book, body, "application/xml");
    if (reply.status != 201)
        qWarning() << "MKCOL" << reply.status << reply.body;
    return book;
}

carddav::DavReply Phone::put(const QUrl &book, const QString &file, const QByteArray &card)
{
    return m_client.send("PUT", book.resolved(QUrl(file)), card, "text/vcard; charset=utf-8");
}

carddav::DavReply Phone::remove(const QUrl &book, const QString &file)
{
    return m_client.send("DELETE", book.resolved(QUrl(file)));
}

QByteArray Phone::get(const QUrl &url)
{
    return m_client.send("GET", url).body;
}

QStringList Phone::cards(const QUrl &book, QByteArray *allText)
{
    const carddav::Listing listing = carddav::listCards(m_client, book, QString(), false);
    QStringList cards;
    for (const QString &href : listing.etags.keys()) {
        QUrl url = book;
        url.setPath(href);
        const QByteArray text = get(url);
        const carddav::ReadCard read = carddav::readCard(text);
        cards << read.contact.name + u'|' + read.contact.mobile;
        if (allText) {
            QByteArray unfolded = text;
            unfolded.replace("\r\n ", "").replace("\n ", "");
            *allText += unfolded.toUpper();
        }
    }
    cards.sort();
    return cards;
}
