#pragma once

#include "store/Contact.h"

#include <QString>
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

// A file that cannot be read as a whole: its message says why, in the
// program's language.
class ExchangeError {
public:
    explicit ExchangeError(QString message)
        : m_message(std::move(message))
    {
    }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace exchange
