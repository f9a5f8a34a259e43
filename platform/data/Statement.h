#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

struct sqlite3_stmt;

namespace txl {

class Connection;

// One prepared statement on a connection, for bulk reads and writes that
// need no result held in memory: parameters bound by position, rows read
// one at a time. The connection is opened first when it is not. Failures
// throw DataError with the engine's message.
class Statement {
public:
    Statement(Connection &connection, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Binds the parameter at `position` (from 1) to a copy of the text.
    void bind(int position, QStringView text);
    // Binds the parameter to UTF-8 text without a copy: the bytes must stay
    // as they are until the statement has run. For bulk writes, which then
    // need no allocation or conversion per value.
    void bindUtf8(int position, QByteArrayView utf8);
    // Runs the statement to its next row: true while a row is ready.
    bool step();
    // Runs a statement that returns no rows, then makes it ready again.
    void execute();
    // Makes the statement ready to run again; bindings stay.
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    // The text of a column of the current row; a null value reads empty.
    QString text(int column) const;
    // The same as the engine holds it, in UTF-8, without a copy: valid until
    // the next step or reset.
    QByteArrayView utf8(int column) const;

private:
    Connection &m_connection;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace txl
