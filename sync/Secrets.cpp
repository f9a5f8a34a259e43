#include "sync/Secrets.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QUrl>

namespace carddav {

namespace {

const QString service = QStringLiteral("tongxunlu");

// Runs a keychain job to its end in a local event loop.
void run(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

} // namespace

bool secretStoreAvailable()
{
    // Without a session bus there is no secret service to ask; asking would
    // only wait for one to be started.
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

std::optional<QString> readSecret(const QString &key)
{
    if (!secretStoreAvailable())
        return std::nullopt;
    QKeychain::ReadPasswordJob job(service);
    job.setKey(key);
    run(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool storeSecret(const QString &key, const QString &secret)
{
    if (!secretStoreAvailable())
        return false;
    QKeychain::WritePasswordJob job(service);
    job.setKey(key);
    job.setTextData(secret);
    run(job);
    return job.error() == QKeychain::NoError;
}

QString accountKey(const QString &serverUrl, const QString &user)
{
    return user + u'@' + QUrl(serverUrl).toString(QUrl::RemoveUserInfo);
}

} // namespace carddav
