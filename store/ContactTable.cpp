#include "store/ContactTable.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "platform/data/Statement.h"

#include <QHash>
#include <QStringDecoder>

#include <array>
#include <vector>

namespace store {

namespace {

const QString &param(int column)
{
    static const QString names[Contact::fieldCount] = { QStringLiteral("p0"), QStringLiteral("p1"),
        QStringLiteral("p2"), QStringLiteral("p3"), QStringLiteral("p4"), QStringLiteral("p5"), QStringLiteral("p6") };
    return names[column];
}

void bindContact(txl::Query &query, const Contact &c, int firstParam = 0)
{
    for (int column = 0; column < Contact::fieldCount; ++column)
        query.setParam(param(firstParam + column), c.field(column));
}

void point(txl::Query &q, txl::Connection &connection, const QString &name, const QString &sql)
{
    q.setObjectName(name);
    q.setConnection(&connection);
    q.addSql(sql);
}

} // namespace

ContactView::ContactView(const Contact &contact)
{
    for (int c = 0; c < Contact::fieldCount; ++c)
        fields[static_cast<std::size_t>(c)] = contact.field(c);
}

ContactTable::ContactTable(txl::Connection &connection)
    : m_connection(connection)
{
}

Contacts ContactTable::rowsOf(const txl::Query &query)
{
    int columns[Contact::fieldCount];
    for (int c = 0; c < Contact::fieldCount; ++c)
        columns[c] = query.fieldIndex(columnNames().at(c));
    const int count = query.recordCount();
    Contacts rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        Contact contact;
        for (int c = 0; c < Contact::fieldCount; ++c) {
            if (columns[c] >= 0)
                contact.field(c) = query.value(r, columns[c]);
        }
        rows.push_back(std::move(contact));
    }
    return rows;
}

namespace {

// Where each of the seven fields stands in a statement over the table, by
// name; -1 for one it lacks.
std::array<int, Contact::fieldCount> fieldColumns(const txl::Statement &select)
{
    std::array<int, Contact::fieldCount> columns;
    for (int c = 0; c < Contact::fieldCount; ++c) {
        columns[static_cast<std::size_t>(c)] = -1;
        for (int k = 0; k < select.columnCount(); ++k) {
            if (select.columnName(k) == columnNames().at(c))
                columns[static_cast<std::size_t>(c)] = k;
        }
    }
    return columns;
}

} // namespace

Contacts ContactTable::all() const
{
    txl::Statement select(m_connection, QStringLiteral("select * from data"));
    const std::array<int, Contact::fieldCount> columns = fieldColumns(select);
    Contacts rows;
    while (select.step()) {
        Contact contact;
        for (int c = 0; c < Contact::fieldCount; ++c) {
            if (columns[c] >= 0)
                contact.field(c) = select.text(columns[c]);
        }
        rows.push_back(std::move(contact));
    }
    return rows;
}

std::size_t ContactTable::forEach(const std::function<void(const ContactView &)> &visit) const
{
    txl::Statement select(m_connection, QStringLiteral("select * from data"));
    const std::array<int, Contact::fieldCount> columns = fieldColumns(select);
    // Every row is decoded into the one buffer, which grows to the longest
    // row and is then reused: no allocation per field. The decoder reads as
    // QString::fromUtf8 does (a leading U+FEFF dropped, bad bytes as U+FFFD).
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    std::vector<QChar> buffer;
    ContactView view;
    std::size_t count = 0;
    while (select.step()) {
        QByteArrayView bytes[Contact::fieldCount];
        qsizetype need = 0;
        for (int c = 0; c < Contact::fieldCount; ++c) {
            if (columns[c] >= 0)
                bytes[c] = select.utf8(columns[c]);
            need += decoder.requiredSpace(bytes[c].size());
        }
        if (buffer.size() < static_cast<std::size_t>(need))
            buffer.resize(static_cast<std::size_t>(need) * 2);
        QChar *out = buffer.data();
        for (int c = 0; c < Contact::fieldCount; ++c) {
            QChar *end = decoder.appendToBuffer(out, bytes[c]);
            view.fields[static_cast<std::size_t>(c)] = QStringView(out, end - out);
            out = end;
        }
        visit(view);
        ++count;
    }
    return count;
}

QSet<QString> ContactTable::names() const
{
    txl::Statement select(m_connection, QStringLiteral("select 姓名 from data"));
    QSet<QString> names;
    while (select.step())
        names.insert(select.text(0));
    return names;
}

std::optional<Contact> ContactTable::find(const QString &name) const
{
    txl::Query q;
    point(q, m_connection, QStringLiteral("findquery"), QStringLiteral("select * from data where 姓名=:p0"));
    q.setParam(param(0), name);
    q.open();
    const Contacts rows = rowsOf(q);
    if (rows.empty())
        return std::nullopt;
    return rows.front();
}

ContactTable::InsertResult ContactTable::insertNew(const Contacts &contacts, bool dryRun, const Progress &progress)
{
    return insertNew(
        contacts.size(), [&contacts](std::size_t i) -> const Contact & { return contacts[i]; }, dryRun, progress);
}

ContactTable::InsertResult ContactTable::insertNew(
    std::size_t count, const ContactAt &at, bool dryRun, const Progress &progress)
{
    InsertResult result;
    // The names are read inside the write transaction, so no other writer
    // can store one of them between the check and the insert.
    std::optional<WriteTransaction> transaction;
    if (!dryRun)
        transaction.emplace(m_connection);
    const QSet<QString> stored = names();
    QHash<QString, std::size_t> batch;
    batch.reserve(static_cast<int>(count));

    txl::Statement insert(m_connection, QStringLiteral("insert into data values(?,?,?,?,?,?,?)"));
    const int total = static_cast<int>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Contact &c = at(i);
        if (stored.contains(c.name)) {
            result.duplicates.push_back({ i, std::nullopt });
        } else if (const auto it = batch.constFind(c.name); it != batch.constEnd()) {
            result.duplicates.push_back({ i, *it });
        } else {
            batch.insert(c.name, i);
            if (!dryRun) {
                for (int column = 0; column < Contact::fieldCount; ++column)
                    insert.bind(column + 1, c.field(column));
                insert.execute();
            }
            ++result.inserted;
        }
        if (progress && (i % 1000 == 999) && !progress(static_cast<int>(i + 1), total)) {
            result.inserted = 0;
            result.cancelled = true;
            return result; // the transaction rolls back as it goes
        }
    }
    if (transaction)
        transaction->commit();
    if (progress)
        progress(total, total);
    return result;
}

void ContactTable::update(const QString &name, const Contact &contact)
{
    WriteTransaction transaction(m_connection);
    update(transaction, name, contact);
    transaction.commit();
}

void ContactTable::remove(const QString &name)
{
    WriteTransaction transaction(m_connection);
    remove(transaction, name);
    transaction.commit();
}

void ContactTable::update(WriteTransaction &within, const QString &name, const Contact &contact)
{
    checkWithin(within);
    if (contact.name != name && find(contact.name))
        throw txl::DataError(QStringLiteral("A contact named '%1' exists already").arg(contact.name));
    txl::Query q;
    point(q, m_connection, QStringLiteral("updatequery"),
        QStringLiteral("update data set 姓名=:p0, 性别=:p1, QQ号码=:p2, 手机号码=:p3, 电子邮件=:p4, 家庭住址=:p5, "
                       "组名=:p6 where 姓名=:p7"));
    bindContact(q, contact);
    q.setParam(QStringLiteral("p7"), name);
    q.execSql();
    if (m_connection.changedRows() == 0)
        throw txl::DataError(QStringLiteral("No contact is named '%1'").arg(name));
}

void ContactTable::remove(WriteTransaction &within, const QString &name)
{
    checkWithin(within);
    txl::Query q;
    point(q, m_connection, QStringLiteral("deletequery"), QStringLiteral("delete from data where 姓名=:p0"));
    q.setParam(param(0), name);
    q.execSql();
    if (m_connection.changedRows() == 0)
        throw txl::DataError(QStringLiteral("No contact is named '%1'").arg(name));
}

void ContactTable::insert(WriteTransaction &within, const Contacts &contacts)
{
    checkWithin(within);
    if (contacts.empty())
        return;
    QSet<QString> taken = names();
    txl::Statement insert(m_connection, QStringLiteral("insert into data values(?,?,?,?,?,?,?)"));
    for (const Contact &c : contacts) {
        if (taken.contains(c.name))
            throw txl::DataError(QStringLiteral("A contact named '%1' exists already").arg(c.name));
        taken.insert(c.name);
        for (int column = 0; column < Contact::fieldCount; ++column)
            insert.bind(column + 1, c.field(column));
        insert.execute();
    }
}

void ContactTable::checkWithin(const WriteTransaction &within) const
{
    // A transaction on another connection would leave these writes outside
    // it, committed on their own: a caller's mistake, refused before writing.
    if (&within.connection() != &m_connection)
        throw txl::DataError(QStringLiteral("The write transaction is on another connection"));
}

WriteTransaction::WriteTransaction(txl::Connection &connection)
    : m_connection(connection)
{
    m_connection.executeScript(QStringLiteral("begin immediate;"));
}

WriteTransaction::~WriteTransaction()
{
    if (!m_open)
        return;
    try {
        m_connection.executeScript(QStringLiteral("rollback;"));
    } catch (...) {
        // The transaction is gone already; the error that ended it says why.
    }
}

void WriteTransaction::commit()
{
    m_connection.executeScript(QStringLiteral("commit;"));
    m_open = false;
}

} // namespace store
