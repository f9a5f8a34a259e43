#include "store/NewContacts.h"

#include "platform/data/Statement.h"

#include <algorithm>
#include <string_view>

namespace store {

NewContacts::NewContacts(ContactTable &table, bool dryRun)
    : m_encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless)
{
    txl::Connection &connection = table.m_connection;
    // The names are read inside the write transaction, so no other writer
    // can store one of them between the check and the insert.
    if (!dryRun)
        m_transaction.emplace(connection);
    txl::Statement select(connection, QStringLiteral("select 姓名 from data"));
    while (select.step()) {
        bool inserted = false;
        slotOf(QStringView(select.text(0)), -1, inserted);
    }
    if (!dryRun)
        m_insert
            = std::make_unique<txl::Statement>(connection, QStringLiteral("insert into data values(?,?,?,?,?,?,?)"));
}

NewContacts::~NewContacts() = default;

namespace {

std::size_t hashOf(QStringView name)
{
    return std::hash<std::u16string_view>()(std::u16string_view(name.utf16(), std::size_t(name.size())));
}

} // namespace

void NewContacts::reserve(qsizetype count)
{
    std::size_t wanted = 16;
    while (wanted < 2 * (m_entries.size() + std::size_t(count)))
        wanted *= 2;
    if (wanted > m_slots.size())
        rehash(wanted);
    m_entries.reserve(m_entries.size() + std::size_t(count));
}

void NewContacts::rehash(std::size_t slotCount)
{
    std::vector<quint64> old(slotCount, 0);
    old.swap(m_slots);
    const std::size_t mask = slotCount - 1;
    for (const quint64 s : old) {
        if (s == 0)
            continue;
        // The slot keeps the hash's high half; the low bits that place it
        // come from the text, hashed again only here, as the table grows.
        const Entry &e = m_entries[std::size_t(quint32(s)) - 1];
        std::size_t i = hashOf(QStringView(m_text.data() + e.offset, e.size)) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = s;
    }
}

qint64 &NewContacts::slotOf(QStringView name, qint64 value, bool &inserted)
{
    if (2 * (m_entries.size() + 1) > m_slots.size())
        rehash(std::max<std::size_t>(16, m_slots.size() * 2));
    const std::size_t hash = hashOf(name);
    const quint64 tag = quint64(hash >> 32) << 32;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const quint64 s = m_slots[i];
        if (s == 0) {
            m_entries.push_back({ value, quint32(m_text.size()), quint32(name.size()) });
            m_text.insert(m_text.end(), name.utf16(), name.utf16() + name.size());
            m_slots[i] = tag | quint64(m_entries.size());
            inserted = true;
            return m_entries.back().value;
        }
        if ((s & 0xFFFFFFFF00000000ULL) == tag) {
            Entry &e = m_entries[std::size_t(quint32(s)) - 1];
            if (e.size == quint32(name.size())
                && std::equal(name.utf16(), name.utf16() + name.size(), m_text.data() + e.offset)) {
                inserted = false;
                return e.value;
            }
        }
    }
}

NewContacts::Outcome NewContacts::add(const Contact &contact)
{
    const std::size_t index = m_handed++;
    bool inserted = false;
    const qint64 slot = slotOf(QStringView(contact.name), qint64(index), inserted);
    if (!inserted) {
        Outcome duplicate;
        if (slot >= 0)
            duplicate.earlier = std::size_t(slot);
        return duplicate;
    }
    if (m_insert) {
        for (int column = 0; column < Contact::fieldCount; ++column) {
            const QString &text = contact.field(column);
            QByteArray &utf8 = m_utf8[std::size_t(column)];
            utf8.resize(m_encoder.requiredSpace(text.size()));
            utf8.truncate(m_encoder.appendToBuffer(utf8.data(), text) - utf8.data());
            m_insert->bindUtf8(column + 1, utf8);
        }
        m_insert->execute();
    }
    ++m_inserted;
    return { true, std::nullopt };
}

void NewContacts::commit()
{
    if (m_transaction)
        m_transaction->commit();
}

} // namespace store
