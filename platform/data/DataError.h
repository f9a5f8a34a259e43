#pragma once

#include <QString>
#include <stdexcept>

namespace txl {

// A failure of the data layer. The message is the text the general error
// report shows; it travels as UTF-8 so any std::exception guard can show it.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace txl
