#include "RadicaleServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

RadicaleServer::~RadicaleServer()
{
    stop();
}

bool RadicaleServer::start(const QString &user, const QString &password)
{
    if (!m_config.isEmpty())
        return launch();
    const QString radicale = QStandardPaths::findExecutable(QStringLiteral("radicale"));
    const QString htpasswd = QStandardPaths::findExecutable(QStringLiteral("htpasswd"));
    if (radicale.isEmpty() || htpasswd.isEmpty()) {
        m_error = QStringLiteral("radicale and htpasswd are missing: ./scripts/test installs them "
                                 "(radicale, apache2-utils)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder for the server");
        return false;
    }
    const QString users = m_dir.filePath(QStringLiteral("users"));
    QProcess pw;
    pw.start(htpasswd, { QStringLiteral("-i"), QStringLiteral("-c"), QStringLiteral("-m"), users, user });
    pw.waitForStarted();
    // The password goes in on standard input, never on the command line.
    pw.write(password.toUtf8() + '\n');
    pw.closeWriteChannel();
    if (!pw.waitForFinished() || pw.exitCode() != 0) {
        m_error = QStringLiteral("htpasswd failed");
        return false;
    }

    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        m_error = QStringLiteral("no free port");
        return false;
    }
    m_port = probe.serverPort();
    probe.close();
    m_config = m_dir.filePath(QStringLiteral("config"));
    QFile file(m_config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write the server's configuration");
        return false;
    }
    const QString tls = m_certificate.isEmpty()
        ? QString()
        : QStringLiteral("ssl = True\ncertificate = %1\nkey = %2\n").arg(m_certificate, m_key);
    file.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n%4[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                              "htpasswd_encryption = md5\n[storage]\nfilesystem_folder = %3\n[rights]\ntype = "
                              "owner_only\n[logging]\nlevel = warning\n")
                   .arg(m_port)
                   .arg(users, storageFolder(), tls)
                   .toUtf8());
    file.close();
    return launch();
}

bool RadicaleServer::launch()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(
        QStandardPaths::findExecutable(QStringLiteral("radicale")), { QStringLiteral("--config"), m_config });
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("radicale did not start");
        return false;
    }
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(100);
    }
    m_error = QStringLiteral("radicale did not start listening");
    return false;
}

void RadicaleServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void RadicaleServer::useTls(const QString &certificateFile, const QString &keyFile)
{
    m_certificate = certificateFile;
    m_key = keyFile;
}

QUrl RadicaleServer::url(const QString &path) const
{
    QUrl url;
    url.setScheme(m_certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_port);
    url.setPath(path);
    return url;
}

QString RadicaleServer::storageFolder() const
{
    return m_dir.filePath(QStringLiteral("collections"));
}

QString RadicaleServer::makeCertificate(const QString &folder)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
            QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
            QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
            QDir(folder).filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
            QDir(folder).filePath(QStringLiteral("cert.pem")) });
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return QString();
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(QDir(folder).filePath(QStringLiteral("cert.pem")));
    if (certs.isEmpty())
        return QString();
    return QString::fromLatin1(certs.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}
