#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// Debian's radicale on a free port of this computer, with a throw-away
// storage folder and one htpasswd user, for the tests that sync with a real
// CardDAV server. It goes with the process that started it, even when that
// one is killed.
class RadicaleServer {
public:
    RadicaleServer() = default;
    ~RadicaleServer();
    RadicaleServer(const RadicaleServer &) = delete;
    RadicaleServer &operator=(const RadicaleServer &) = delete;

    // Writes the user and the configuration and starts the server; false
    // with the reason in error() when it cannot. A second start() after
    // stop() uses the same port and storage, as a restarted server would.
    bool start(const QString &user, const QString &password);
    // Before the first start(): serve HTTPS with this certificate and key
    // (PEM files). They are read at each start, so replacing the files
    // between stop() and start() gives the server a new certificate.
    void useTls(const QString &certificateFile, const QString &keyFile);
    // A self-signed certificate for 127.0.0.1 made with openssl into
    // folder/cert.pem and folder/key.pem; its SHA-256 fingerprint as the
    // program shows it, empty on failure.
    static QString makeCertificate(const QString &folder);
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QString error() const { return m_error; }

    int port() const { return m_port; }
    QUrl url(const QString &path = QStringLiteral("/")) const;
    QString storageFolder() const;

private:
    bool launch();
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_config;
    QString m_error;
    int m_port = 0;
    QString m_certificate;
    QString m_key;
};
