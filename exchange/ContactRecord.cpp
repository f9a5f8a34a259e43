#include "exchange/ContactRecord.h"

namespace exchange {

bool containsHan(const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        // Unified ideographs with extension A, compatibility ideographs, and
        // the supplementary planes' extensions (as surrogates).
        if ((u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || c.isSurrogate())
            return true;
    }
    return false;
}

QString joinedName(const QString &family, const QString &given)
{
    if (family.isEmpty() || given.isEmpty())
        return family + given;
    if (containsHan(family) || containsHan(given))
        return family + given;
    return given + u' ' + family;
}

ContactRecords recordsOf(const store::Contacts &contacts)
{
    ContactRecords records;
    records.reserve(contacts.size());
    for (const store::Contact &c : contacts) {
        ContactRecord r;
        static_cast<store::Contact &>(r) = c;
        records.push_back(std::move(r));
    }
    return records;
}

} // namespace exchange
