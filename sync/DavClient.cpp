#include "sync/DavClient.h"

#include "sync/SyncError.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace carddav {

namespace {

bool isLocalHost(const QUrl &url)
{
    const QString host = url.host();
    if (host == u"localhost")
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString unquoted(QString etag)
{
    if (etag.startsWith(QStringLiteral("W/")))
        etag = etag.mid(2);
    if (etag.size() >= 2 && etag.startsWith(u'"') && etag.endsWith(u'"'))
        etag = etag.mid(1, etag.size() - 2);
    return etag;
}

} // namespace

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
}

void DavClient::checkScheme(const QUrl &url) const
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https")
        return;
    if (scheme != u"http")
        throw SyncError(QStringLiteral("“%1”不是 http 或 https 地址。").arg(url.toDisplayString()));
    if (!isLocalHost(url) && !m_options.insecure)
        throw SyncError(
            QStringLiteral("“%1”用明文 HTTP，密码会被看到：请用 https，或加 --insecure。").arg(url.toDisplayString()));
}

DavReply DavClient::send(const QByteArray &method, const QUrl &startUrl, const QByteArray &body,
    const QByteArray &contentType, int depth, const QByteArray &ifMatch, bool ifNoneMatchAny)
{
    QUrl url = startUrl;
    for (int redirects = 0;; ++redirects) {
        checkScheme(url);
        if (m_cancelled)
            throw SyncError(QStringLiteral("同步已取消。"));
        QNetworkRequest request(url);
        request.setTransferTimeout(m_options.timeoutMs);
        const QByteArray credentials = (m_user + u':' + m_password).toUtf8().toBase64();
        request.setRawHeader("Authorization", "Basic " + credentials);
        if (!contentType.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        if (depth >= 0)
            request.setRawHeader("Depth", QByteArray::number(depth));
        if (!ifMatch.isEmpty())
            request.setRawHeader("If-Match", ifMatch);
        if (ifNoneMatchAny)
            request.setRawHeader("If-None-Match", "*");
        ++m_requests;
        std::unique_ptr<QNetworkReply> reply(m_network->sendCustomRequest(request, method, body));

        QEventLoop loop;
        DavReply result;
        bool tooLarge = false;
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
            result.body += reply->readAll();
            if (result.body.size() > m_options.maxBody) {
                tooLarge = true;
                reply->abort();
            }
        });
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // The cancel flag is looked at now and then, as it may come from anywhere.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (m_cancelled)
                reply->abort();
        });
        poll.start(100);
        if (!reply->isFinished())
            loop.exec();
        if (reply->isOpen())
            result.body += reply->readAll();

        if (m_cancelled)
            throw SyncError(QStringLiteral("同步已取消。"));
        if (tooLarge)
            throw SyncError(
                QStringLiteral("服务器的回答太大（超过 %1 MB），同步已停止。").arg(m_options.maxBody / (1024 * 1024)));
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (result.status == 0)
            throw SyncError(QStringLiteral("无法连接服务器 %1：%2")
                                .arg(url.toDisplayString(QUrl::RemoveUserInfo), reply->errorString()));
        result.etag = unquoted(QString::fromUtf8(reply->rawHeader("ETag")));
        result.url = url;
        if (result.status == 401)
            throw SyncError(QStringLiteral("服务器拒绝了用户名或密码（401）。"), 401);
        if (result.status >= 300 && result.status < 400 && result.status != 304) {
            const QUrl target = url.resolved(QUrl(QString::fromUtf8(reply->rawHeader("Location"))));
            if (redirects >= 5 || !target.isValid() || target.host() != url.host())
                return result;
            url = target;
            continue;
        }
        return result;
    }
}

} // namespace carddav
