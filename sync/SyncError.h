#pragma once

#include <QString>

namespace carddav {

// A sync that cannot go on: the message says why, in the program's
// language. What was stored before it stays as it was.
class SyncError {
public:
    explicit SyncError(QString message, int httpStatus = 0, QString untrustedFingerprint = QString())
        : m_message(std::move(message))
        , m_status(httpStatus)
        , m_fingerprint(std::move(untrustedFingerprint))
    {
    }
    const QString &message() const { return m_message; }
    int httpStatus() const { return m_status; }
    // The SHA-256 fingerprint of the server certificate refused, when that
    // is why: the user may accept it.
    const QString &untrustedFingerprint() const { return m_fingerprint; }

private:
    QString m_message;
    int m_status;
    QString m_fingerprint;
};

} // namespace carddav
