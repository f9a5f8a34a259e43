#include "sync/Multistatus.h"

#include "sync/SyncError.h"

#include <QXmlStreamReader>

namespace carddav {

namespace {

const QString dav = QStringLiteral("DAV:");
const QString card = QStringLiteral("urn:ietf:params:xml:ns:carddav");

bool is(const QXmlStreamReader &xml, const QString &ns, QStringView name)
{
    return xml.namespaceUri() == ns && xml.name() == name;
}

// Calls f for each child element of the current one, leaving the reader on
// the current element's end.
template <typename F> void children(QXmlStreamReader &xml, F f)
{
    while (xml.readNextStartElement())
        f();
}

QString text(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
}

// The first <href> inside the current element.
QString innerHref(QXmlStreamReader &xml)
{
    QString href;
    children(xml, [&] {
        if (is(xml, dav, u"href") && href.isEmpty())
            href = text(xml);
        else
            xml.skipCurrentElement();
    });
    return href;
}

void readProp(QXmlStreamReader &xml, DavResponse &r)
{
    children(xml, [&] {
        if (is(xml, dav, u"getetag")) {
            QString etag = text(xml);
            if (etag.startsWith(QStringLiteral("W/")))
                etag = etag.mid(2);
            if (etag.size() >= 2 && etag.startsWith(u'"') && etag.endsWith(u'"'))
                etag = etag.mid(1, etag.size() - 2);
            r.etag = etag;
        } else if (is(xml, dav, u"displayname")) {
            r.displayName = text(xml);
        } else if (is(xml, dav, u"resourcetype")) {
            children(xml, [&] {
                if (is(xml, dav, u"collection"))
                    r.isCollection = true;
                else if (is(xml, card, u"addressbook"))
                    r.isAddressBook = true;
                xml.skipCurrentElement();
            });
        } else if (is(xml, dav, u"current-user-principal")) {
            r.principal = innerHref(xml);
        } else if (is(xml, card, u"addressbook-home-set")) {
            r.addressBookHome = innerHref(xml);
        } else if (is(xml, dav, u"supported-report-set")) {
            children(xml, [&] { // supported-report
                children(xml, [&] { // report
                    children(xml, [&] {
                        if (is(xml, dav, u"sync-collection"))
                            r.supportsSyncCollection = true;
                        xml.skipCurrentElement();
                    });
                });
            });
        } else if (is(xml, card, u"address-data")) {
            r.addressData = xml.readElementText(QXmlStreamReader::SkipChildElements).toUtf8();
        } else {
            xml.skipCurrentElement();
        }
    });
}

DavResponse readResponse(QXmlStreamReader &xml)
{
    DavResponse r;
    int ownStatus = 0;
    int propStatus = 0;
    children(xml, [&] {
        if (is(xml, dav, u"href")) {
            if (r.href.isEmpty())
                r.href = text(xml);
            else
                xml.skipCurrentElement();
        } else if (is(xml, dav, u"status")) {
            ownStatus = statusOfLine(text(xml));
        } else if (is(xml, dav, u"propstat")) {
            DavResponse props;
            int status = 0;
            children(xml, [&] {
                if (is(xml, dav, u"prop"))
                    readProp(xml, props);
                else if (is(xml, dav, u"status"))
                    status = statusOfLine(text(xml));
                else
                    xml.skipCurrentElement();
            });
            // Only properties found count; the others are listed as missing.
            if (status >= 200 && status < 300) {
                propStatus = status;
                if (!props.etag.isEmpty())
                    r.etag = props.etag;
                if (!props.displayName.isEmpty())
                    r.displayName = props.displayName;
                r.isAddressBook = r.isAddressBook || props.isAddressBook;
                r.isCollection = r.isCollection || props.isCollection;
                if (!props.principal.isEmpty())
                    r.principal = props.principal;
                if (!props.addressBookHome.isEmpty())
                    r.addressBookHome = props.addressBookHome;
                r.supportsSyncCollection = r.supportsSyncCollection || props.supportsSyncCollection;
                if (!props.addressData.isEmpty())
                    r.addressData = props.addressData;
            } else if (propStatus == 0) {
                propStatus = -status;
            }
        } else {
            xml.skipCurrentElement();
        }
    });
    r.status = ownStatus ? ownStatus : propStatus > 0 ? propStatus : propStatus < 0 ? -propStatus : 200;
    return r;
}

} // namespace

int statusOfLine(const QString &line)
{
    const QStringList parts = line.simplified().split(u' ');
    if (parts.size() < 2 || !parts.at(0).startsWith(QStringLiteral("HTTP/")))
        return 0;
    bool ok = false;
    const int code = parts.at(1).toInt(&ok);
    return ok && code >= 100 && code <= 999 ? code : 0;
}

Multistatus readMultistatus(const QByteArray &body)
{
    QXmlStreamReader xml(body);
    Multistatus m;
    if (!xml.readNextStartElement() || !is(xml, dav, u"multistatus")) {
        if (xml.hasError())
            throw SyncError(QStringLiteral("服务器的回答不是有效的 XML：%1").arg(xml.errorString()));
        throw SyncError(QStringLiteral("服务器的回答不是 WebDAV 的 multistatus。"));
    }
    children(xml, [&] {
        if (is(xml, dav, u"response"))
            m.responses.push_back(readResponse(xml));
        else if (is(xml, dav, u"sync-token"))
            m.syncToken = text(xml);
        else
            xml.skipCurrentElement();
    });
    // Anything after the root, or an error inside it, spoils the whole answer.
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError())
        throw SyncError(QStringLiteral("服务器的回答不是有效的 XML：%1").arg(xml.errorString()));
    return m;
}

} // namespace carddav
