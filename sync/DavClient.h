#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>

class QNetworkAccessManager;

namespace carddav {

struct DavReply {
    int status = 0;
    QByteArray body;
    QString etag; // the ETag header, without quotes
    QUrl url; // where the answer came from, after redirects
};

// Speaks HTTP to one CardDAV server through Qt Network, one request at a
// time, waiting for each in a local event loop. The password is held only
// here, in memory, and sent as Basic authentication; it is never logged.
class DavClient {
public:
    struct Options {
        bool insecure = false; // plain HTTP to another host than this one
        int timeoutMs = 30000; // no data for this long ends a request
        qint64 maxBody = 64 * 1024 * 1024; // an answer larger than this is refused
    };
    DavClient(QString user, QString password, Options options);
    DavClient(QString user, QString password);
    ~DavClient();
    DavClient(const DavClient &) = delete;
    DavClient &operator=(const DavClient &) = delete;

    // Sends one request and waits for its answer; follows redirects on the
    // same host. Throws SyncError when there is no answer (refused, cut,
    // timed out, too large, cancelled) or it is 401/403 for the whole
    // account; other statuses come back for the caller to judge.
    DavReply send(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
        const QByteArray &contentType = {}, int depth = -1, const QByteArray &ifMatch = {},
        bool ifNoneMatchAny = false);

    // Set from anywhere (another thread, a dialog): the request under way
    // stops and send() throws.
    void cancel() { m_cancelled = true; }
    int requestCount() const { return m_requests; }

    // Refuses a URL plain HTTP would send the password in the clear to.
    void checkScheme(const QUrl &url) const;

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_user;
    QString m_password;
    Options m_options;
    std::atomic<bool> m_cancelled { false };
    int m_requests = 0;
};

// Quotes an ETag for If-Match.
QByteArray quotedEtag(const QString &etag);

} // namespace carddav
