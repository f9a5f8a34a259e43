#pragma once

#include "platform/data/DataError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace txl {

// The file is encrypted (as far as anything can tell without its key) and the
// key given does not open it. The text is the same "Not a valid password".
class WrongKeyError : public DataError {
public:
    using DataError::DataError;
};

// An open of a database file begun on a worker thread, for a Connection to
// take over at its next open. Deriving the page key from a password is most
// of what an open costs (tens of milliseconds, on purpose); begun first thing,
// it runs beside the rest of the program's start-up. The handle is made and
// keyed on the worker and passes to the taking thread only after the worker
// has ended, so no two threads ever use it at once.
class OpeningAhead {
public:
    // Starts at once; `path` is resolved against the working directory now.
    // Where no thread can be started, the connection simply opens itself.
    OpeningAhead(const QString &path, const QString &password, int busyTimeoutMs = 5000);
    // Waits for the worker and closes a handle nobody took.
    ~OpeningAhead();
    OpeningAhead(const OpeningAhead &) = delete;
    OpeningAhead &operator=(const OpeningAhead &) = delete;

private:
    friend class Connection;
    void run() noexcept;
    void wait();
    // The open's outcome for a connection to absolutePath keyed with key: a
    // handle, or the open's error thrown; null when this opening is for
    // another file or key, or never ran.
    sqlite3 *take(const QString &absolutePath, const QByteArray &key);

    QString m_path;
    QByteArray m_key; // kept to compare with the taker's, wiped once taken
    int m_busyTimeoutMs;
    bool m_taken = false;
    std::thread m_worker;
    // Written by the worker only; read after it has been joined.
    sqlite3 *m_db = nullptr;
    std::exception_ptr m_error;
};

// A connection to one password-protected database file. The file name is
// resolved against the working directory when the connection opens. Other
// processes may hold the same file open; a lock they hold is waited for
// (busy timeout) before it is reported.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    void setDatabaseFile(const QString &relativeOrAbsolutePath);
    QString databaseFile() const { return m_file; }
    void setPassword(const QString &password);
    void setBusyTimeout(int milliseconds);
    // Lets the next open (open() or openWithPassword()) wait for `ahead` and take its outcome (its handle,
    // or its error, thrown as this open's) when it opened this connection's
    // file with this connection's password; otherwise it is dropped and that
    // open opens the file itself. Taken once: later opens open afresh.
    void takeOpenFrom(std::unique_ptr<OpeningAhead> ahead);
    int busyTimeout() const { return m_busyTimeoutMs; }

    // Opens and keys the file, then reads once to prove the key. Never
    // creates a file. Throws DataError with a message naming the cause;
    // WrongKeyError when only the key is at fault.
    void open();
    // The same with a password given for this open only: it is not kept,
    // and the copies made here are overwritten once the file is keyed.
    void openWithPassword(const QString &password);
    // Re-encrypts the open file under a new password in one transaction:
    // after a crash the file opens with the old password or the new one.
    // Cipher and page size stay. Leaves the connection open under the new
    // password after reading the whole file back with it; throws DataError
    // (and leaves it closed) when the change did not happen.
    void rekey(const QString &newPassword);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // Runs statements that return no rows (schema, transactions).
    void executeScript(const QString &sql);

    // Writes the open file's bytes, as they stand between two writes, to a
    // new file at `path` (0600, synced to disk): the same key opens it.
    // The bytes are read through the engine's own handle under a read
    // transaction: a second handle closed in this process would drop the
    // engine's locks on the file. Refuses while this connection has a
    // transaction open. On failure no file is left at `path`.
    void copyFileTo(const QString &path);
    // Attaches another file under `schema`, keyed as this one when no
    // password is given; never creates it. detach() lets it go.
    void attach(const QString &path, const QString &schema, const QString *password = nullptr);
    void detach(const QString &schema);
    // PRAGMA quick_check on a schema: "ok", or the first problem found.
    QString quickCheck(const QString &schema = QStringLiteral("main"));
    // Free bytes on the file system that holds the file, -1 when unknown.
    qint64 freeDiskBytes() const;

    // Prepares the first statement of `sql` on the open file; the caller
    // finalizes it. `rest` receives the text behind that statement. A null
    // result means `sql` held no statement. Throws DataError with the
    // engine's message.
    sqlite3_stmt *prepare(const QString &sql, QByteArray *rest = nullptr) const;
    // The engine's message for the last failure on this connection.
    QString errorMessage() const;
    // Rows changed by the last statement stepped.
    int changedRows() const;
    // Whether `stmt` was prepared on the file as it is open now (not on an
    // earlier opening).
    bool prepared(sqlite3_stmt *stmt) const;

    // Makes a new, empty, keyed database file and runs the schema script in
    // it. Refuses to touch an existing file.
    static void createDatabase(const QString &path, const QString &password, const QString &schemaSql);

    // Cipher settings every file of ours uses; given here so the tool and
    // the README can show how to open a file with the sqlcipher shell.
    static QString cipherPragmas();

    // A test of one text value, made from the pattern a statement passes.
    using TextTest = std::function<bool(std::string_view utf8)>;
    using TextTestFactory = std::function<TextTest(std::string_view utf8Pattern)>;
    // Makes name(value, pattern) usable in statements: true when the test
    // made from pattern accepts value, null for a null value. The test is
    // made once per statement for a pattern that stays the same (a literal
    // or a bound parameter). The function stays registered across reopens.
    void addTextPredicate(const QString &name, TextTestFactory factory);

private:
    QString absolutePath() const;
    void openKeyed(const QByteArray &key);
    void openKeyedOrTake(const QByteArray &key);
    void adopt(sqlite3 *db);
    void registerTextPredicates();

    QString m_file;
    QString m_password;
    int m_busyTimeoutMs = 5000;
    sqlite3 *m_db = nullptr;
    std::unique_ptr<OpeningAhead> m_ahead;
    struct TextPredicate;
    std::vector<std::shared_ptr<TextPredicate>> m_textPredicates;
};

} // namespace txl
