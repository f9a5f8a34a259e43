#include "platform/data/Statement.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"

#include <sqlcipher/sqlite3.h>

namespace txl {

Statement::Statement(Connection &connection, const QString &sql)
    : m_connection(connection)
{
    m_connection.open();
    m_stmt = m_connection.prepare(sql);
    if (!m_stmt)
        throw DataError(QStringLiteral("No statement to run"));
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int position, QStringView text)
{
    // UTF-16 in native order, as QString holds it; the engine keeps a copy.
    const int rc = sqlite3_bind_text16(
        m_stmt, position, text.utf16() ? text.utf16() : u"", static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw DataError(m_connection.errorMessage());
}

void Statement::bindUtf8(int position, QByteArrayView utf8)
{
    const int rc = sqlite3_bind_text(
        m_stmt, position, utf8.data() ? utf8.data() : "", static_cast<int>(utf8.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        throw DataError(m_connection.errorMessage());
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = m_connection.errorMessage();
    sqlite3_reset(m_stmt);
    throw DataError(message);
}

void Statement::execute()
{
    while (step()) { }
    sqlite3_reset(m_stmt); // releases its locks now
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Statement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return data ? QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column)) : QString();
}

QByteArrayView Statement::utf8(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return data ? QByteArrayView(data, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

} // namespace txl
