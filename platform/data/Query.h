#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct sqlite3_stmt;

namespace txl {

class Connection;

// A query with a client-side static result: open() runs the select and copies
// every row into memory, so the record count is exact and the file is not
// held. Rows edited (edit/setField/post) or deleted through it are written to
// the stored table at once, found there by the values they had when read
// (optimistic locking). Changes made by others show after the next open.
//
// Every row operation on a closed query fails with
// "<objectName>: Cannot perform this operation on a closed dataset".
class Query : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit };

    explicit Query(QObject *parent = nullptr);
    ~Query() override;

    void setConnection(Connection *connection);
    Connection *connection() const { return m_connection; }

    // The statement, held as lines. Clearing it also forgets the parameters.
    void clearSql();
    void addSql(const QString &line);
    QString sql() const { return m_lines.join(QLatin1Char('\n')); }
    // Named parameters are written ":name" in the statement and set by name.
    // Throws when the statement has no parameter of that name.
    void setParam(const QString &name, const QString &value);

    void open();
    void close();
    void setActive(bool active);
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // Runs the statement without presenting rows (insert, update...).
    void execSql();

    // Result shape and rows.
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    int fieldCount() const;
    QString fieldName(int column) const;
    int fieldIndex(const QString &name) const; // -1 when absent

    // Navigation in the manner of a dataset: next() on the last row sets
    // eof() and stays on that row.
    int recNo() const; // 0-based current row, -1 when empty
    void setRecNo(int row);
    void first();
    void next();
    void last();
    bool eof() const;

    // Fields of the current row (the edit buffer while editing).
    QString fieldByName(const QString &name) const;
    QString field(int column) const;

    // Direct read for views and the report; never throws, "" out of range.
    // Reflects the edit buffer on the current row.
    QString value(int row, int column) const;
    bool isNull(int row, int column) const;

    void edit();
    void setField(int column, const QString &text);
    void setFieldByName(const QString &name, const QString &text);
    void post();
    void cancel();
    // Removes the current row from the stored table and from the result.
    void deleteRecord();

    // While disabled, moves of the current row are not announced; enabling
    // again announces the final row once (bound views follow once).
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Grows each time the result is replaced or closed, or rows are removed;
    // a long walk compares it to notice that the rows changed under it.
    quint64 generation() const { return m_generation; }

signals:
    void resultReset(); // opened or closed
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row); // edit buffer or stored values changed
    void currentRowChanged(int row);

private:
    struct Cell {
        uint32_t offset = 0;
        int32_t length = -1; // -1: NULL
    };

    void checkActive() const;
    QString cellText(int row, int column) const;
    void appendCell(std::vector<Cell> &cells, const char *data, int length);
    void moveCurrent(int row, bool eofFlag);
    void bindParameters(sqlite3_stmt *stmt) const;
    sqlite3_stmt *prepare() const;
    void writeRowBack(bool deleting);
    QStringList parameterNames() const;

    Connection *m_connection = nullptr;
    QStringList m_lines;
    QHash<QString, QString> m_params;
    mutable QStringList m_paramNames; // parsed from the statement on demand
    mutable bool m_paramNamesKnown = false;
    // execSql keeps its statement prepared while the text stays the same, so
    // repeated inserts are not parsed again.
    sqlite3_stmt *m_execStmt = nullptr;
    void dropExecStatement();

    State m_state = State::Inactive;
    QStringList m_fields; // result column names
    QStringList m_originColumns; // stored column of each result column
    QString m_baseTable; // the one stored table the columns come from
    std::vector<char> m_arena; // UTF-8 bytes of every cell
    std::vector<Cell> m_cells; // row-major, fieldCount() per row
    int m_rows = 0;
    int m_current = -1;
    bool m_eof = true;
    QStringList m_editBuffer;
    std::vector<bool> m_editNull;
    int m_disableCount = 0;
    bool m_currentChangedWhileDisabled = false;
    quint64 m_generation = 0;
};

} // namespace txl
