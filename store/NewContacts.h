#pragma once

#include "store/Contact.h"
#include "store/ContactTable.h"

#include <QByteArray>
#include <QStringEncoder>
#include <QStringView>

#include <array>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace txl {
class Statement;
} // namespace txl

namespace store {

// Stores contacts handed one at a time, as they are read, under the table's
// duplicate rule (see ContactTable::insertNew): a name stored already, or
// handed earlier, is kept out. Everything happens in one write transaction,
// begun here; the names are read under its lock, so two imports at once
// cannot both store a name. Nothing is stored unless commit() is called: an
// error or a cancel on the way leaves the table as it was. With dryRun the
// rule is applied and nothing is written.
class NewContacts {
public:
    explicit NewContacts(ContactTable &table, bool dryRun = false);
    ~NewContacts();
    NewContacts(const NewContacts &) = delete;
    NewContacts &operator=(const NewContacts &) = delete;

    // What became of a contact handed in: stored, or kept out as a
    // duplicate (of a stored one, or of the contact handed in at `earlier`,
    // counting every contact handed in from 0).
    struct Outcome {
        bool stored = false;
        std::optional<std::size_t> earlier;
    };
    Outcome add(const Contact &contact);
    // Room for that many names more, when the count is known roughly.
    void reserve(qsizetype count);

    int inserted() const { return m_inserted; }
    void commit();

private:
    std::optional<WriteTransaction> m_transaction;
    std::unique_ptr<txl::Statement> m_insert;
    // One set for both parts of the rule: a stored name maps to -1, a name
    // handed in to its index. The names' text lies in one arena, their
    // entries in one array in the order they came; the table (open
    // addressing, at most half full) holds 8 bytes a slot: half the hash
    // beside the entry's number. No allocation per name, growing rehashes
    // nothing, and a look-up touches one small slot before any text.
    struct Entry {
        qint64 value;
        quint32 offset;
        quint32 size;
    };
    // The value of the name, inserted with `value` when it is new (then
    // `inserted` is set).
    qint64 &slotOf(QStringView name, qint64 value, bool &inserted);
    void rehash(std::size_t slotCount);
    std::vector<char16_t> m_text;
    std::vector<Entry> m_entries;
    std::vector<quint64> m_slots; // hash's high half << 32 | entry number + 1; 0 is empty
    // The fields as UTF-8, bound without a copy; reused from row to row.
    QStringEncoder m_encoder;
    std::array<QByteArray, Contact::fieldCount> m_utf8;
    std::size_t m_handed = 0;
    int m_inserted = 0;
};

} // namespace store
