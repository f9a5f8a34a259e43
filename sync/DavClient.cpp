#include "sync/DavClient.h"

#include "sync/SyncError.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>

#include <algorithm>
#include <deque>

namespace carddav {

namespace {

QString unquoted(QString etag)
{
    if (etag.startsWith(QStringLiteral("W/")))
        etag = etag.mid(2);
    if (etag.size() >= 2 && etag.startsWith(u'"') && etag.endsWith(u'"'))
        etag = etag.mid(1, etag.size() - 2);
    return etag;
}

QString fingerprintOf(const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return QString();
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString untrustedMessage(const QUrl &url, const QString &fingerprint, const QString &accepted, const QString &why)
{
    if (!accepted.isEmpty())
        return QStringLiteral(
            "服务器 %1 的证书变了，不是先前接受的那一张（%2）：同步已拒绝。现在的证书 SHA-256 指纹：%3")
            .arg(url.host(), why, fingerprint);
    return QStringLiteral("服务器 %1 的证书不受信任（%2）：连接已拒绝。证书的 SHA-256 指纹：%3")
        .arg(url.host(), why, fingerprint);
}

} // namespace

QString normalFingerprint(const QString &typed)
{
    QString hex;
    for (const QChar c : typed) {
        if (c == u':' || c.isSpace())
            continue;
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return QString();
        hex.append(c.toUpper());
    }
    if (hex.size() != 64)
        return QString();
    QStringList pairs;
    for (int i = 0; i < hex.size(); i += 2)
        pairs.append(hex.mid(i, 2));
    return pairs.join(u':');
}

QByteArray quotedEtag(const QString &etag)
{
    return '"' + etag.toUtf8() + '"';
}

DavClient::DavClient(QString user, QString password)
    : DavClient(std::move(user), std::move(password), Options())
{
}

DavClient::DavClient(QString user, QString password, Options options)
    : m_network(std::make_unique<QNetworkAccessManager>())
    , m_user(std::move(user))
    , m_password(std::move(password))
    , m_options(options)
{
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

DavClient::~DavClient()
{
    m_password.fill(u'\0');
    // A connection cut in the middle (a refused certificate, an abort)
    // leaves sockets to a later deletion; a program that ends without
    // another event loop would never run it.
    m_network.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool isThisComputer(const QUrl &url)
{
    const QString host = url.host();
    if (host == u"localhost")
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

void DavClient::checkScheme(const QUrl &url) const
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https")
        return;
    if (scheme != u"http")
        throw SyncError(QStringLiteral("“%1”不是 http 或 https 地址。").arg(url.toDisplayString()));
    if (!isThisComputer(url) && !m_options.insecure)
        throw SyncError(
            QStringLiteral("“%1”用明文 HTTP，密码会被看到：请用 https，或加 --insecure。").arg(url.toDisplayString()));
}

DavReply DavClient::send(const QByteArray &method, const QUrl &url, const QByteArray &body,
    const QByteArray &contentType, int depth, const QByteArray &ifMatch, bool ifNoneMatchAny)
{
    DavReply result;
    sendAll(
        { { method, url, body, contentType, depth, ifMatch, ifNoneMatchAny } },
        [&result](std::size_t, const DavReply &reply) { result = reply; }, 1);
    return result;
}

namespace {

// One request on its way, with what its signals have told so far.
struct InFlight {
    std::size_t index = 0;
    QUrl url;
    int redirects = 0;
    std::unique_ptr<QNetworkReply> reply;
    QByteArray body;
    bool tooLarge = false;
    bool finished = false;
    QString untrusted; // the fingerprint of a certificate refused
    QString sslErrors;
};

// Aborts what is still in flight when sendAll is left by a throw.
struct Flights {
    std::vector<std::unique_ptr<InFlight>> list;
    ~Flights()
    {
        for (const auto &f : list) {
            f->reply->disconnect();
            f->reply->abort();
        }
    }
};

} // namespace

void DavClient::sendAll(const std::vector<DavRequest> &requests, const Done &done, int parallel)
{
    struct Pending {
        std::size_t index;
        QUrl url;
        int redirects;
    };
    std::deque<Pending> pending;
    for (std::size_t i = 0; i < requests.size(); ++i)
        pending.push_back({ i, requests[i].url, 0 });
    Flights flights;
    QEventLoop loop;
    // The cancel flag is looked at now and then, as it may come from anywhere.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_cancelled)
            for (const auto &f : flights.list)
                f->reply->abort();
    });
    poll.start(100);
    const QByteArray credentials = "Basic " + (m_user + u':' + m_password).toUtf8().toBase64();

    while (!pending.empty() || !flights.list.empty()) {
        while (static_cast<int>(flights.list.size()) < std::max(parallel, 1) && !pending.empty()) {
            const Pending next = pending.front();
            pending.pop_front();
            checkScheme(next.url);
            if (m_cancelled)
                throw SyncError(QStringLiteral("同步已取消。"));
            const DavRequest &r = requests[next.index];
            QNetworkRequest request(next.url);
            request.setTransferTimeout(m_options.timeoutMs);
            request.setRawHeader("Authorization", credentials);
            if (!r.contentType.isEmpty())
                request.setHeader(QNetworkRequest::ContentTypeHeader, r.contentType);
            if (r.depth >= 0)
                request.setRawHeader("Depth", QByteArray::number(r.depth));
            if (!r.ifMatch.isEmpty())
                request.setRawHeader("If-Match", r.ifMatch);
            if (r.ifNoneMatchAny)
                request.setRawHeader("If-None-Match", "*");
            ++m_requests;
            auto f = std::make_unique<InFlight>();
            f->index = next.index;
            f->url = next.url;
            f->redirects = next.redirects;
            f->reply.reset(m_network->sendCustomRequest(request, r.method, r.body));
            InFlight *raw = f.get();
            QNetworkReply *reply = raw->reply.get();
            QObject::connect(reply, &QNetworkReply::readyRead, &loop, [this, raw] {
                raw->body += raw->reply->readAll();
                if (raw->body.size() > m_options.maxBody) {
                    raw->tooLarge = true;
                    raw->reply->abort();
                }
            });
            QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [this, raw](const QList<QSslError> &errors) {
                const QString fingerprint = fingerprintOf(raw->reply->sslConfiguration().peerCertificate());
                if (!fingerprint.isEmpty() && fingerprint == m_options.acceptedFingerprint) {
                    raw->reply->ignoreSslErrors(errors);
                    return;
                }
                raw->untrusted = fingerprint;
                QStringList why;
                for (const QSslError &e : errors)
                    why.append(e.errorString());
                raw->sslErrors = why.join(QStringLiteral("; "));
            });
            QObject::connect(reply, &QNetworkReply::finished, &loop, [raw, &loop] {
                raw->finished = true;
                loop.quit();
            });
            flights.list.push_back(std::move(f));
        }

        const auto anyFinished = [&flights] {
            return std::any_of(flights.list.begin(), flights.list.end(), [](const auto &f) { return f->finished; });
        };
        // A reply may have finished while done() ran for another one.
        if (!anyFinished())
            loop.exec();

        for (std::size_t k = 0; k < flights.list.size();) {
            if (!flights.list[k]->finished) {
                ++k;
                continue;
            }
            std::unique_ptr<InFlight> f = std::move(flights.list[k]);
            flights.list.erase(flights.list.begin() + static_cast<std::ptrdiff_t>(k));
            f->reply->disconnect();
            if (f->reply->isOpen())
                f->body += f->reply->readAll();
            if (m_cancelled)
                throw SyncError(QStringLiteral("同步已取消。"));
            if (f->tooLarge)
                throw SyncError(QStringLiteral("服务器的回答太大（超过 %1 MB），同步已停止。")
                                    .arg(m_options.maxBody / (1024 * 1024)));
            if (!f->untrusted.isEmpty())
                throw SyncError(untrustedMessage(f->url, f->untrusted, m_options.acceptedFingerprint, f->sslErrors), 0,
                    f->untrusted);
            DavReply result;
            result.status = f->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (result.status == 0)
                throw SyncError(QStringLiteral("无法连接服务器 %1：%2")
                                    .arg(f->url.toDisplayString(QUrl::RemoveUserInfo), f->reply->errorString()));
            result.etag = unquoted(QString::fromUtf8(f->reply->rawHeader("ETag")));
            result.url = f->url;
            result.body = std::move(f->body);
            if (result.status == 401)
                throw SyncError(QStringLiteral("服务器拒绝了用户名或密码（401）。"), 401);
            if (result.status >= 300 && result.status < 400 && result.status != 304) {
                const QUrl target = f->url.resolved(QUrl(QString::fromUtf8(f->reply->rawHeader("Location"))));
                if (f->redirects < 5 && target.isValid() && target.host() == f->url.host()) {
                    pending.push_front({ f->index, target, f->redirects + 1 });
                    continue;
                }
            }
            done(f->index, result);
        }
    }
}

} // namespace carddav
