#pragma once

#include "store/Contact.h"

#include <QString>
#include <stdexcept>
#include <vector>

namespace exchange {

// One contact as files carry it, with where it stood in its file.
struct ContactRecord : store::Contact {
    int line = 0; // where the record starts in its file (1-based), 0 when not from a file
};

using ContactRecords = std::vector<ContactRecord>;

// The records of stored contacts (no lines), for the writers.
ContactRecords recordsOf(const store::Contacts &contacts);

// True when the text holds a Chinese (Han) character.
bool containsHan(const QString &text);

// One name from a family and a given name, as the files split it: Han names
// run together ("张" + "三"), others read given first ("John Smith").
QString joinedName(const QString &family, const QString &given);

// A file that cannot be read or written as a whole, or an import given up:
// its message says why in a whole sentence. A std::exception, so any guard
// that reports errors has its text (carried as UTF-8).
class ExchangeError : public std::runtime_error {
public:
    explicit ExchangeError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace exchange
