#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace carddav {

// One <response> of a WebDAV multistatus body, with the properties a
// CardDAV client asks for. Hrefs are as the server wrote them (decoded
// percent escapes are left to the caller, which resolves them against the
// request's URL).
struct DavResponse {
    QString href;
    int status = 200; // the response's own status, else the found properties'
    QString etag; // without its quotes
    QString displayName;
    bool isAddressBook = false;
    bool isCollection = false;
    QString principal; // current-user-principal
    QString addressBookHome; // addressbook-home-set
    bool supportsSyncCollection = false; // supported-report-set
    QByteArray addressData; // the vCard text of a multiget or sync report
};

struct Multistatus {
    std::vector<DavResponse> responses;
    QString syncToken; // of a sync-collection report
};

// Reads a multistatus body. Throws SyncError for one that is not well
// formed XML or not a multistatus.
Multistatus readMultistatus(const QByteArray &body);

// The status code of an HTTP status line ("HTTP/1.1 404 Not Found"), 0 when
// there is none.
int statusOfLine(const QString &line);

} // namespace carddav
