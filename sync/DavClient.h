#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;

namespace carddav {

struct DavReply {
    int status = 0;
    QByteArray body;
    QString etag; // the ETag header, without quotes
    QUrl url; // where the answer came from, after redirects
};

struct DavRequest {
    QByteArray method;
    QUrl url;
    QByteArray body = {};
    QByteArray contentType = {};
    int depth = -1;
    QByteArray ifMatch = {};
    bool ifNoneMatchAny = false;
};

// Requests in flight at once: as many connections as Qt Network opens to
// one host.
constexpr int parallelRequests = 6;

// Speaks HTTP to one CardDAV server through Qt Network, waiting for the
// answers in a local event loop. The password is held only here, in
// memory, and sent as Basic authentication; it is never logged. HTTPS
// certificates are checked against the system's store; one it does not
// trust is taken only when its SHA-256 fingerprint is the accepted one.
class DavClient {
public:
    struct Options {
        bool insecure = false; // plain HTTP to another host than this one
        int timeoutMs = 30000; // no data for this long ends a request
        qint64 maxBody = 64 * 1024 * 1024; // an answer larger than this is refused
        QString acceptedFingerprint = QString(); // "AB:CD:...", see normalFingerprint()
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

    // Sends the requests with up to `parallel` in flight and hands each
    // answer to done(index, reply) as it comes in, outside any Qt signal, so
    // done may store it at once, and may throw: the requests still in flight
    // are then aborted and the throw goes on. Fails as send() does.
    using Done = std::function<void(std::size_t index, const DavReply &reply)>;
    void sendAll(const std::vector<DavRequest> &requests, const Done &done, int parallel = parallelRequests);

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

// Whether the URL names this computer (localhost or a loopback address),
// the only place plain HTTP may send the password to.
bool isThisComputer(const QUrl &url);

// Quotes an ETag for If-Match.
QByteArray quotedEtag(const QString &etag);

// A SHA-256 fingerprint as the program shows and keeps it (upper-case hex
// pairs joined by colons), from one typed with or without the colons, in
// either case; empty when it is not one.
QString normalFingerprint(const QString &typed);

} // namespace carddav
