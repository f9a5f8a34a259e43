#pragma once

#include <QString>

namespace carddav {

// A sync that cannot go on: the message says why, in the program's
// language. What was stored before it stays as it was.
class SyncError {
public:
    explicit SyncError(QString message, int httpStatus = 0)
        : m_message(std::move(message))
        , m_status(httpStatus)
    {
    }
    const QString &message() const { return m_message; }
    int httpStatus() const { return m_status; }

private:
    QString m_message;
    int m_status;
};

} // namespace carddav
