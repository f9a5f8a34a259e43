#pragma once

#include "store/Contact.h"

#include <QSet>
#include <QStringView>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>

namespace txl {
class Connection;
class Query;
} // namespace txl

namespace store {

class WriteTransaction;

// A contact's seven texts as views, in stored order: how a bulk reader is
// handed a row without a copy of its own. Valid only while it is handed.
struct ContactView {
    std::array<QStringView, Contact::fieldCount> fields;
    ContactView() = default;
    explicit ContactView(const Contact &contact);
    QStringView field(int column) const { return fields[static_cast<std::size_t>(column)]; }
};

// The table `data` of an open contacts file, for everything that reads or
// writes it in bulk (import, export, sample data, sync). The windows keep
// working on the data module's contacts query instead. Failures throw the
// data layer's error; a failed write leaves the table as it was.
class ContactTable {
public:
    explicit ContactTable(txl::Connection &connection);

    // Every contact, in the order the file returns them.
    Contacts all() const;
    // The same rows handed to visit one at a time, so no more than one row
    // is held: what an export of the whole table reads. Returns the count.
    std::size_t forEach(const std::function<void(const ContactView &)> &visit) const;
    QSet<QString> names() const;
    std::optional<Contact> find(const QString &name) const;

    // A contact that the duplicate rule kept out: its name was stored
    // already, or given earlier in the same batch (earlier is then that
    // contact's index).
    struct Duplicate {
        std::size_t index = 0;
        std::optional<std::size_t> earlier;
    };
    struct InsertResult {
        int inserted = 0;
        std::vector<Duplicate> duplicates;
        bool cancelled = false; // the progress answered false: nothing stored
    };
    // Called now and then with the contacts done so far; false cancels.
    using Progress = std::function<bool(int done, int total)>;
    using ContactAt = std::function<const Contact &(std::size_t index)>;

    // Stores the contacts whose names are neither stored nor given earlier
    // in the batch, all in one write transaction: the names are read and
    // the rows written under one lock, so two imports at once cannot both
    // store a name. All or nothing: on an error or a cancel nothing is
    // stored. With dryRun the rule is applied and nothing is written.
    InsertResult insertNew(std::size_t count, const ContactAt &at, bool dryRun = false, const Progress &progress = {});
    InsertResult insertNew(const Contacts &contacts, bool dryRun = false, const Progress &progress = {});

    // Replaces the stored contact called `name` (its name may change, not to
    // one another contact has); removes one. Each throws when no contact has
    // that name, and changes nothing then.
    void update(const QString &name, const Contact &contact);
    void remove(const QString &name);

    // The same writes inside a write transaction the caller holds open on
    // this table's connection, for a caller that stores more with them (the
    // sync state): nothing is committed here, and a throw leaves the rest
    // of the caller's transaction to its commit or rollback. insert() stores
    // the contacts and throws when a name is stored already or given twice;
    // the names are read once, so a large batch costs no search per row.
    void update(WriteTransaction &within, const QString &name, const Contact &contact);
    void remove(WriteTransaction &within, const QString &name);
    void insert(WriteTransaction &within, const Contacts &contacts);

    // The rows of an open query over the table, its columns found by name.
    static Contacts rowsOf(const txl::Query &query);

private:
    void checkWithin(const WriteTransaction &within) const;
    friend class NewContacts;
    txl::Connection &m_connection;
};

// A write transaction on a connection (begin immediate): committed by
// commit(), rolled back when left without it.
class WriteTransaction {
public:
    explicit WriteTransaction(txl::Connection &connection);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;
    void commit();
    txl::Connection &connection() const { return m_connection; }

private:
    txl::Connection &m_connection;
    bool m_open = true;
};

} // namespace store
