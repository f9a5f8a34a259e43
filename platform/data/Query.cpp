#include "platform/data/Query.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

namespace txl {

namespace {

QString quoted(const QString &identifier)
{
    QString out = identifier;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// Owns a prepared statement for the length of one call.
class Statement {
public:
    explicit Statement(sqlite3_stmt *stmt)
        : m_stmt(stmt)
    {
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *get() const { return m_stmt; }

private:
    sqlite3_stmt *m_stmt;
};

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

} // namespace

Query::Query(QObject *parent)
    : QObject(parent)
{
}

Query::~Query()
{
    dropExecStatement();
}

void Query::dropExecStatement()
{
    // A statement keeps a closed connection alive until it is finalised.
    sqlite3_finalize(m_execStmt);
    m_execStmt = nullptr;
}

void Query::setConnection(Connection *connection)
{
    m_connection = connection;
}

void Query::clearSql()
{
    m_lines.clear();
    m_params.clear();
    m_paramNamesKnown = false;
    dropExecStatement();
}

void Query::addSql(const QString &line)
{
    m_lines.append(line);
    m_paramNamesKnown = false;
    dropExecStatement();
}

QStringList Query::parameterNames() const
{
    // ":name" outside string literals and comments.
    if (m_paramNamesKnown)
        return m_paramNames;
    QStringList names;
    const QString text = sql();
    QChar quote;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('-') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('-')) {
            while (i < text.size() && text.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char(':') && i + 1 < text.size() && isNameChar(text.at(i + 1))) {
            int j = i + 1;
            while (j < text.size() && isNameChar(text.at(j)))
                ++j;
            const QString name = text.mid(i + 1, j - i - 1);
            if (!names.contains(name))
                names.append(name);
            i = j - 1;
        }
    }
    m_paramNames = names;
    m_paramNamesKnown = true;
    return names;
}

void Query::setParam(const QString &name, const QString &value)
{
    if (!parameterNames().contains(name))
        throw DataError(QStringLiteral("Parameter '%1' not found").arg(name));
    m_params.insert(name, value);
}

void Query::checkActive() const
{
    if (m_state == State::Inactive)
        throw DataError(objectName() + QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

sqlite3_stmt *Query::prepare() const
{
    if (!m_connection)
        throw DataError(objectName() + QStringLiteral(": Missing Connection"));
    m_connection->open();
    QByteArray rest;
    sqlite3_stmt *stmt = m_connection->prepare(sql(), &rest);
    if (!stmt)
        throw DataError(objectName() + QStringLiteral(": CommandText does not return a result set"));
    // One statement per query: a second one behind it is refused, never
    // silently dropped.
    const char *tail = rest.constData();
    while (*tail && (*tail == ' ' || *tail == '\n' || *tail == '\r' || *tail == '\t' || *tail == ';'))
        ++tail;
    if (*tail) {
        sqlite3_finalize(stmt);
        throw DataError(objectName() + QStringLiteral(": only one statement may be given"));
    }
    return stmt;
}

void Query::bindParameters(sqlite3_stmt *stmt) const
{
    for (auto it = m_params.cbegin(); it != m_params.cend(); ++it) {
        const QByteArray name = (QLatin1Char(':') + it.key()).toUtf8();
        const int index = sqlite3_bind_parameter_index(stmt, name.constData());
        if (index <= 0)
            continue;
        const QByteArray value = it.value().toUtf8();
        sqlite3_bind_text(stmt, index, value.constData(), value.size(), SQLITE_TRANSIENT);
    }
}

void Query::appendCell(std::vector<Cell> &cells, const char *data, int length)
{
    Cell cell;
    if (data) {
        cell.offset = static_cast<uint32_t>(m_arena.size());
        cell.length = length;
        m_arena.insert(m_arena.end(), data, data + length);
    }
    cells.push_back(cell);
}

void Query::open()
{
    if (m_state != State::Inactive)
        return;
    Statement stmt(prepare());
    sqlite3_stmt *s = stmt.get();
    const int columns = sqlite3_column_count(s);
    if (columns == 0)
        throw DataError(objectName() + QStringLiteral(": CommandText does not return a result set"));
    bindParameters(s);

    QStringList fields;
    QStringList origins;
    QString baseTable;
    bool oneTable = true;
    for (int c = 0; c < columns; ++c) {
        fields << QString::fromUtf8(sqlite3_column_name(s, c));
        const char *table = sqlite3_column_table_name(s, c);
        const char *origin = sqlite3_column_origin_name(s, c);
        origins << QString::fromUtf8(origin ? origin : "");
        const QString t = QString::fromUtf8(table ? table : "");
        if (t.isEmpty() || (!baseTable.isEmpty() && t != baseTable))
            oneTable = false;
        baseTable = t;
    }

    m_arena.clear();
    m_cells.clear();
    int rows = 0;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(s, c));
            appendCell(m_cells, text, text ? sqlite3_column_bytes(s, c) : 0);
        }
        ++rows;
    }
    if (rc != SQLITE_DONE) {
        const QString msg = m_connection->errorMessage();
        m_arena.clear();
        m_cells.clear();
        throw DataError(msg);
    }

    m_fields = fields;
    m_originColumns = origins;
    m_baseTable = oneTable ? baseTable : QString();
    m_rows = rows;
    m_state = State::Browse;
    ++m_generation;
    m_current = rows > 0 ? 0 : -1;
    m_eof = rows == 0;
    emit resultReset();
    if (!controlsDisabled())
        emit currentRowChanged(m_current);
    else
        m_currentChangedWhileDisabled = true;
}

void Query::close()
{
    if (m_state == State::Inactive)
        return;
    m_state = State::Inactive;
    m_editBuffer.clear();
    m_editNull.clear();
    m_fields.clear();
    m_originColumns.clear();
    m_baseTable.clear();
    // The buffers keep their capacity: the next open (a reload, a search)
    // fills them again without growing and faulting in fresh memory.
    m_arena.clear();
    m_cells.clear();
    m_rows = 0;
    m_current = -1;
    m_eof = true;
    ++m_generation;
    emit resultReset();
    if (!controlsDisabled())
        emit currentRowChanged(-1);
    else
        m_currentChangedWhileDisabled = true;
}

void Query::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

void Query::execSql()
{
    if (!m_execStmt || !m_connection || !m_connection->prepared(m_execStmt)) {
        dropExecStatement();
        m_execStmt = prepare();
    }
    sqlite3_reset(m_execStmt);
    sqlite3_clear_bindings(m_execStmt);
    bindParameters(m_execStmt);
    int rc;
    while ((rc = sqlite3_step(m_execStmt)) == SQLITE_ROW) { }
    if (rc != SQLITE_DONE) {
        const QString msg = m_connection->errorMessage();
        sqlite3_reset(m_execStmt);
        throw DataError(msg);
    }
    sqlite3_reset(m_execStmt); // releases its locks now
}

int Query::recordCount() const
{
    checkActive();
    return m_rows;
}

int Query::fieldCount() const
{
    return m_fields.size();
}

QString Query::fieldName(int column) const
{
    return m_fields.value(column);
}

int Query::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int Query::recNo() const
{
    checkActive();
    return m_current;
}

void Query::moveCurrent(int row, bool eofFlag)
{
    const bool moved = row != m_current;
    m_current = row;
    m_eof = eofFlag;
    if (!moved)
        return;
    if (controlsDisabled())
        m_currentChangedWhileDisabled = true;
    else
        emit currentRowChanged(m_current);
}

void Query::setRecNo(int row)
{
    checkActive();
    if (m_rows == 0)
        return;
    if (m_state == State::Edit)
        post();
    row = std::clamp(row, 0, m_rows - 1);
    moveCurrent(row, false);
}

void Query::first()
{
    checkActive();
    if (m_state == State::Edit)
        post();
    moveCurrent(m_rows > 0 ? 0 : -1, m_rows == 0);
}

void Query::next()
{
    checkActive();
    if (m_state == State::Edit)
        post();
    if (m_rows == 0 || m_current >= m_rows - 1)
        moveCurrent(m_current, true);
    else
        moveCurrent(m_current + 1, false);
}

void Query::last()
{
    checkActive();
    if (m_state == State::Edit)
        post();
    moveCurrent(m_rows - 1, true);
}

bool Query::eof() const
{
    checkActive();
    return m_eof;
}

QString Query::cellText(int row, int column) const
{
    const Cell &cell = m_cells[static_cast<size_t>(row) * m_fields.size() + column];
    if (cell.length <= 0)
        return QString();
    return QString::fromUtf8(m_arena.data() + cell.offset, cell.length);
}

QString Query::value(int row, int column) const
{
    if (m_state == State::Inactive || row < 0 || row >= m_rows || column < 0 || column >= m_fields.size())
        return QString();
    if (m_state == State::Edit && row == m_current)
        return m_editBuffer.at(column);
    return cellText(row, column);
}

bool Query::isNull(int row, int column) const
{
    if (m_state == State::Inactive || row < 0 || row >= m_rows || column < 0 || column >= m_fields.size())
        return true;
    if (m_state == State::Edit && row == m_current)
        return m_editNull[static_cast<size_t>(column)];
    return m_cells[static_cast<size_t>(row) * m_fields.size() + column].length < 0;
}

QString Query::field(int column) const
{
    checkActive();
    if (column < 0 || column >= m_fields.size())
        throw DataError(objectName() + QStringLiteral(": Field index out of range"));
    return value(m_current, column);
}

QString Query::fieldByName(const QString &name) const
{
    checkActive();
    const int column = fieldIndex(name);
    if (column < 0)
        throw DataError(objectName() + QStringLiteral(": Field '%1' not found").arg(name));
    return value(m_current, column);
}

void Query::setFieldByName(const QString &name, const QString &text)
{
    checkActive();
    const int column = fieldIndex(name);
    if (column < 0)
        throw DataError(objectName() + QStringLiteral(": Field '%1' not found").arg(name));
    setField(column, text);
}

void Query::edit()
{
    checkActive();
    if (m_state == State::Edit)
        return;
    if (m_rows == 0)
        throw DataError(objectName() + QStringLiteral(": Cannot perform this operation on an empty dataset"));
    m_editBuffer.clear();
    m_editNull.assign(static_cast<size_t>(m_fields.size()), false);
    for (int c = 0; c < m_fields.size(); ++c) {
        m_editBuffer << cellText(m_current, c);
        m_editNull[static_cast<size_t>(c)] = isNull(m_current, c);
    }
    m_state = State::Edit;
}

void Query::setField(int column, const QString &text)
{
    checkActive();
    if (m_state != State::Edit)
        throw DataError(objectName() + QStringLiteral(": Dataset not in edit or insert mode"));
    if (column < 0 || column >= m_fields.size())
        throw DataError(objectName() + QStringLiteral(": Field index out of range"));
    m_editBuffer[column] = text;
    m_editNull[static_cast<size_t>(column)] = false;
    emit rowChanged(m_current);
}

void Query::writeRowBack(bool deleting)
{
    if (m_baseTable.isEmpty() || m_originColumns.contains(QString()))
        throw DataError(
            objectName() + QStringLiteral(": Insufficient key column information for updating or refreshing"));

    const int columns = m_fields.size();
    QStringList sets;
    QList<int> changed;
    if (!deleting) {
        for (int c = 0; c < columns; ++c) {
            const bool wasNull = m_cells[static_cast<size_t>(m_current) * columns + c].length < 0;
            if (m_editNull[static_cast<size_t>(c)] != wasNull || m_editBuffer.at(c) != cellText(m_current, c)) {
                changed << c;
                sets << quoted(m_originColumns.at(c)) + QStringLiteral(" = ?");
            }
        }
        if (changed.isEmpty())
            return;
    }
    QStringList where;
    for (int c = 0; c < columns; ++c)
        where << quoted(m_originColumns.at(c)) + QStringLiteral(" IS ?");
    const QString table = quoted(m_baseTable);
    // The stored row is the one that still holds every value read; of
    // identical rows exactly one is touched.
    const QString locate = QStringLiteral("rowid = (select rowid from %1 where %2 limit 1)")
                               .arg(table, where.join(QStringLiteral(" and ")));
    const QString text = deleting
        ? QStringLiteral("delete from %1 where %2").arg(table, locate)
        : QStringLiteral("update %1 set %2 where %3").arg(table, sets.join(QStringLiteral(", ")), locate);

    m_connection->open();
    sqlite3_stmt *raw = m_connection->prepare(text);
    Statement stmt(raw);
    int index = 1;
    for (int c : changed) {
        const QByteArray v = m_editBuffer.at(c).toUtf8();
        if (m_editNull[static_cast<size_t>(c)])
            sqlite3_bind_null(raw, index++);
        else
            sqlite3_bind_text(raw, index++, v.constData(), v.size(), SQLITE_TRANSIENT);
    }
    for (int c = 0; c < columns; ++c) {
        const Cell &cell = m_cells[static_cast<size_t>(m_current) * columns + c];
        if (cell.length < 0)
            sqlite3_bind_null(raw, index++);
        else
            sqlite3_bind_text(raw, index++, m_arena.data() + cell.offset, cell.length, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(raw) != SQLITE_DONE)
        throw DataError(m_connection->errorMessage());
    if (m_connection->changedRows() != 1) {
        throw DataError(deleting ? QStringLiteral("Row cannot be located for deleting. Some values may have been "
                                                  "changed since it was last read")
                                 : QStringLiteral("Row cannot be located for updating. Some values may have been "
                                                  "changed since it was last read"));
    }
}

void Query::post()
{
    checkActive();
    if (m_state != State::Edit)
        return;
    writeRowBack(false);
    const int columns = m_fields.size();
    for (int c = 0; c < columns; ++c) {
        Cell &cell = m_cells[static_cast<size_t>(m_current) * columns + c];
        if (m_editNull[static_cast<size_t>(c)]) {
            cell = Cell();
            continue;
        }
        const QByteArray v = m_editBuffer.at(c).toUtf8();
        if (cell.length == v.size() && std::equal(v.begin(), v.end(), m_arena.begin() + cell.offset))
            continue;
        cell.offset = static_cast<uint32_t>(m_arena.size());
        cell.length = v.size();
        m_arena.insert(m_arena.end(), v.begin(), v.end());
    }
    m_state = State::Browse;
    m_editBuffer.clear();
    m_editNull.clear();
    emit rowChanged(m_current);
}

void Query::cancel()
{
    if (m_state != State::Edit)
        return;
    m_state = State::Browse;
    m_editBuffer.clear();
    m_editNull.clear();
    emit rowChanged(m_current);
}

void Query::deleteRecord()
{
    checkActive();
    if (m_rows == 0)
        throw DataError(objectName() + QStringLiteral(": Cannot perform this operation on an empty dataset"));
    cancel();
    writeRowBack(true);

    const int row = m_current;
    const int columns = m_fields.size();
    emit rowAboutToBeRemoved(row);
    const auto begin = m_cells.begin() + static_cast<std::ptrdiff_t>(row) * columns;
    m_cells.erase(begin, begin + columns);
    --m_rows;
    ++m_generation;
    // The row's bytes stay in the arena until the next open; the result is
    // rebuilt then anyway.
    m_current = m_rows == 0 ? -1 : std::min(row, m_rows - 1);
    m_eof = m_rows == 0;
    emit rowRemoved(row);
    if (controlsDisabled())
        m_currentChangedWhileDisabled = true;
    else
        emit currentRowChanged(m_current);
}

void Query::disableControls()
{
    ++m_disableCount;
}

void Query::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_currentChangedWhileDisabled) {
        m_currentChangedWhileDisabled = false;
        emit currentRowChanged(m_current);
    }
}

} // namespace txl
