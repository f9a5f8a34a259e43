#include "platform/data/Connection.h"

#include "platform/data/DataError.h"
#include "platform/data/PageKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace txl {

namespace {

// 4 KiB cipher pages scan several times faster than the 1 KiB default; the
// cache holds a whole contacts file (negative: size in KiB).
const char kCipherPageSize[] = "PRAGMA cipher_page_size = 4096;";
const char kCacheSize[] = "PRAGMA cache_size = -65536;";

// The engine says "database or disk is full" for a full disk; a user needs
// to hear which of the two it is.
const char kDiskFull[] = "The disk is full: there is no room left to write the change";

QString sqliteMessage(sqlite3 *db)
{
    if (db && (sqlite3_extended_errcode(db) & 0xff) == SQLITE_FULL)
        return QString::fromLatin1(kDiskFull);
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

// The message of a failed sqlite3_exec: its own text, or the connection's.
QString execMessage(sqlite3 *db, char *err)
{
    const QString msg = db && (sqlite3_extended_errcode(db) & 0xff) == SQLITE_FULL
        ? QString::fromLatin1(kDiskFull)
        : QString::fromUtf8(err ? err : sqlite3_errmsg(db));
    sqlite3_free(err);
    return msg;
}

QString errnoMessage(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("the disk is full");
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of `size` bytes, through interruptions and short writes.
bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

void runPragma(sqlite3 *db, const char *sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        throw DataError(execMessage(db, err));
}

// Overwrites the bytes in place: a password must not linger in freed memory.
void wipe(QByteArray &bytes)
{
    if (!bytes.isEmpty() && !bytes.isDetached())
        bytes = QByteArray(); // shared: the owner of the other copy wipes it
    else
        bytes.fill('\0');
    bytes.clear();
}

void applyKey(sqlite3 *db, const QByteArray &key)
{
    // SQLCipher copies the key and, once it has derived the page key from it,
    // wipes and frees its copy.
    if (sqlite3_key(db, key.constData(), key.size()) != SQLITE_OK)
        throw DataError(sqliteMessage(db));
    runPragma(db, kCipherPageSize);
}

void applyKey(sqlite3 *db, const QString &password)
{
    QByteArray key = password.toUtf8();
    try {
        applyKey(db, key);
    } catch (...) {
        wipe(key);
        throw;
    }
    wipe(key);
}

// Reads with the C library rather than QFile: this runs on the opening-ahead
// worker too, where a first QObject could be taken for the main thread's.
bool looksLikePlainSqlite(const QString &path)
{
    std::FILE *f = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!f)
        return false;
    char header[16] = {};
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    return got == sizeof header && std::memcmp(header, "SQLite format 3\0", sizeof header) == 0;
}

// The page key of an existing file as a raw key, "x'<64 hex digits>'", so
// the library skips its own (slower) derivation. Empty when the file has no
// salt to read.
QByteArray rawPageKey(const QString &path, const QByteArray &password)
{
    QByteArray salt(kPageKeySaltBytes, '\0');
    {
        std::FILE *f = std::fopen(QFile::encodeName(path).constData(), "rb");
        if (!f)
            return QByteArray();
        const size_t got = std::fread(salt.data(), 1, size_t(salt.size()), f);
        std::fclose(f);
        if (got != size_t(salt.size()))
            return QByteArray();
    }
    QByteArray key = derivePageKey(password, salt);
    static const char hex[] = "0123456789abcdef";
    QByteArray raw(3 + 2 * key.size(), '\'');
    raw[0] = 'x';
    for (int i = 0; i < key.size(); ++i) {
        raw[2 + 2 * i] = hex[static_cast<unsigned char>(key[i]) >> 4];
        raw[3 + 2 * i] = hex[static_cast<unsigned char>(key[i]) & 15];
    }
    wipe(key);
    return raw;
}

sqlite3 *openHandle(const QString &path)
{
    sqlite3 *db = nullptr;
    // Read-write without CREATE: a missing file must stay missing.
    // One thread at a time uses a connection (the opening-ahead worker hands
    // it over only when it has ended), so the per-call mutex is only overhead.
    const int rc = sqlite3_open_v2(
        QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = sqliteMessage(db);
        sqlite3_close(db);
        if (rc == SQLITE_CANTOPEN || rc == SQLITE_PERM || rc == SQLITE_READONLY)
            throw DataError(QStringLiteral("Could not open file '%1': %2").arg(QDir::toNativeSeparators(path), msg));
        throw DataError(msg);
    }
    return db;
}

// Keys the handle and reads once: the key is only tried on the first read.
int keyAndRead(sqlite3 *db, const QByteArray &key, int busyTimeoutMs)
{
    sqlite3_busy_timeout(db, busyTimeoutMs);
    applyKey(db, key);
    char *err = nullptr;
    const int rc = sqlite3_exec(db, "select count(*) from sqlite_master;", nullptr, nullptr, &err);
    sqlite3_free(err);
    return rc;
}

// Opens and keys the file at `path` (absolute), then reads once to prove the
// key. Never creates a file. Uses no QObject and no state of a Connection,
// so the opening-ahead worker runs it as it is.
sqlite3 *openKeyedFile(const QString &path, const QByteArray &key, int busyTimeoutMs)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw DataError(QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
    // SQLite takes an empty file for an empty database; ours never is one.
    if (info.size() == 0)
        throw DataError(QStringLiteral("Unrecognized database format '%1'").arg(QDir::toNativeSeparators(path)));

    // The page key derived here first; where it does not open the file (a
    // wrong password, a foreign file, other cipher settings) the library
    // derives it from the password itself, and its verdict stands.
    QByteArray raw = rawPageKey(path, key);
    int readRc = SQLITE_NOTADB;
    sqlite3 *db = nullptr;
    if (!raw.isEmpty()) {
        db = openHandle(path);
        try {
            readRc = keyAndRead(db, raw, busyTimeoutMs);
        } catch (...) {
            wipe(raw);
            sqlite3_close(db);
            throw;
        }
        wipe(raw);
        if ((readRc & 0xff) == SQLITE_NOTADB) {
            sqlite3_close(db);
            db = nullptr;
        }
    }
    if (!db) {
        db = openHandle(path);
        try {
            readRc = keyAndRead(db, key, busyTimeoutMs);
        } catch (...) {
            sqlite3_close(db);
            throw;
        }
    }
    try {
        if (readRc != SQLITE_OK) {
            const int code = readRc & 0xff;
            const QString native = QDir::toNativeSeparators(path);
            if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
                throw DataError(QStringLiteral("Could not use '%1'; file already in use").arg(native));
            if (code == SQLITE_NOTADB) {
                // A cipher cannot tell a wrong key from a foreign file; an
                // unencrypted or odd-sized file is surely not ours.
                if (info.size() == 0 || info.size() % 512 != 0 || looksLikePlainSqlite(path))
                    throw DataError(QStringLiteral("Unrecognized database format '%1'").arg(native));
                throw WrongKeyError(QStringLiteral("Not a valid password"));
            }
            throw DataError(sqliteMessage(db));
        }
        runPragma(db, kCacheSize);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    return db;
}

} // namespace

struct Connection::TextPredicate {
    QByteArray name;
    TextTestFactory factory;

    // Runs inside SQLite: nothing may be thrown through it.
    static void call(sqlite3_context *context, int argc, sqlite3_value **argv)
    {
        if (argc != 2)
            return sqlite3_result_error(context, "wrong number of arguments", -1);
        try {
            auto *test = static_cast<TextTest *>(sqlite3_get_auxdata(context, 1));
            if (!test) {
                const auto *self = static_cast<TextPredicate *>(sqlite3_user_data(context));
                const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
                const int patternBytes = sqlite3_value_bytes(argv[1]);
                auto made = std::make_unique<TextTest>(
                    self->factory(pattern ? std::string_view(pattern, size_t(patternBytes)) : std::string_view()));
                test = made.get();
                sqlite3_set_auxdata(context, 1, made.release(), [](void *p) { delete static_cast<TextTest *>(p); });
                // Out of memory, SQLite has freed it already.
                if (sqlite3_get_auxdata(context, 1) != test)
                    return sqlite3_result_error_nomem(context);
            }
            if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
                return sqlite3_result_null(context);
            const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
            const int bytes = sqlite3_value_bytes(argv[0]);
            sqlite3_result_int(context, text && (*test)(std::string_view(text, size_t(bytes))) ? 1 : 0);
        } catch (const std::exception &e) {
            sqlite3_result_error(context, e.what(), -1);
        } catch (...) {
            sqlite3_result_error(context, "unknown error", -1);
        }
    }
};

void Connection::addTextPredicate(const QString &name, TextTestFactory factory)
{
    auto predicate = std::make_shared<TextPredicate>();
    predicate->name = name.toUtf8();
    predicate->factory = std::move(factory);
    m_textPredicates.push_back(std::move(predicate));
    if (m_db)
        registerTextPredicates();
}

void Connection::registerTextPredicates()
{
    for (const auto &p : m_textPredicates) {
        const int rc = sqlite3_create_function_v2(m_db, p->name.constData(), 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
            p.get(), &TextPredicate::call, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw DataError(sqliteMessage(m_db));
    }
}

Connection::Connection(QObject *parent)
    : QObject(parent)
{
}

Connection::~Connection()
{
    close();
}

void Connection::setDatabaseFile(const QString &path)
{
    m_file = path;
}

void Connection::setPassword(const QString &password)
{
    m_password = password;
}

void Connection::setBusyTimeout(int milliseconds)
{
    m_busyTimeoutMs = milliseconds;
    if (m_db)
        sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
}

QString Connection::absolutePath() const
{
    return QDir::current().absoluteFilePath(m_file);
}

QString Connection::cipherPragmas()
{
    return QString::fromLatin1(kCipherPageSize);
}

void Connection::open()
{
    openWithPassword(m_password);
}

void Connection::openWithPassword(const QString &password)
{
    if (m_db)
        return;
    QByteArray key = password.toUtf8();
    try {
        openKeyedOrTake(key);
    } catch (...) {
        wipe(key);
        throw;
    }
    wipe(key);
}

void Connection::openKeyedOrTake(const QByteArray &key)
{
    if (const std::unique_ptr<OpeningAhead> ahead = std::move(m_ahead)) {
        if (sqlite3 *db = ahead->take(absolutePath(), key))
            return adopt(db);
    }
    openKeyed(key);
}

void Connection::openKeyed(const QByteArray &key)
{
    adopt(openKeyedFile(absolutePath(), key, m_busyTimeoutMs));
}

void Connection::adopt(sqlite3 *db)
{
    m_db = db;
    try {
        sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
        registerTextPredicates();
    } catch (...) {
        close();
        throw;
    }
}

void Connection::takeOpenFrom(std::unique_ptr<OpeningAhead> ahead)
{
    m_ahead = std::move(ahead);
}

OpeningAhead::OpeningAhead(const QString &path, const QString &password, int busyTimeoutMs)
    : m_path(QDir::current().absoluteFilePath(path))
    , m_key(password.toUtf8())
    , m_busyTimeoutMs(busyTimeoutMs)
{
    // A handle made on one thread and used on another needs the library's
    // own locks compiled in (Debian's is built thread-safe).
    if (!sqlite3_threadsafe())
        return;
    try {
        m_worker = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread to be had: the connection opens the file itself.
    }
}

OpeningAhead::~OpeningAhead()
{
    wait();
    wipe(m_key);
    if (m_db)
        sqlite3_close(m_db);
}

void OpeningAhead::run() noexcept
{
    try {
        m_db = openKeyedFile(m_path, m_key, m_busyTimeoutMs);
    } catch (...) {
        m_error = std::current_exception();
    }
}

void OpeningAhead::wait()
{
    if (m_worker.joinable())
        m_worker.join();
}

sqlite3 *OpeningAhead::take(const QString &absolutePath, const QByteArray &key)
{
    wait();
    const bool fits = !m_taken && absolutePath == m_path && key == m_key;
    wipe(m_key);
    if (!fits)
        return nullptr; // the destructor closes what was opened for another
    m_taken = true;
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
    return std::exchange(m_db, nullptr);
}

void Connection::rekey(const QString &newPassword)
{
    open();
    // SQLCipher rewrites every page inside one write transaction: the old
    // pages go to the rollback journal, still under the old key, so an
    // interrupted rekey is rolled back by the next open, whatever key that
    // open uses. A journal that skips syncing or lives in memory would void
    // that, so both are set to their safe values for the duration.
    runPragma(m_db, "PRAGMA journal_mode = DELETE;");
    runPragma(m_db, "PRAGMA synchronous = FULL;");
    // sqlite3_rekey rolls back without a word when it cannot finish, so the
    // two usual reasons are looked at first, to be named.
    const QString path = absolutePath();
    const qint64 needed = QFileInfo(path).size() + (64 << 10);
    const qint64 free = freeDiskBytes();
    if (free >= 0 && free < needed)
        throw DataError(
            QStringLiteral("The disk is full: the change needs about %1 MB free beside the file, and "
                           "there are %2 MB; the password was not changed")
                .arg(QString::number(double(needed) / 1e6, 'f', 1), QString::number(double(free) / 1e6, 'f', 1)));
    try {
        executeScript(QStringLiteral("begin exclusive; rollback;"));
    } catch (const DataError &e) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "rollback;", nullptr, nullptr, nullptr);
        const int code = sqlite3_extended_errcode(m_db) & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw DataError(QStringLiteral("The file is locked by another program that has it open; the password "
                                           "was not changed"));
        throw DataError(e.message() + QStringLiteral("; the password was not changed"));
    }
    QByteArray key = newPassword.toUtf8();
    const int rc = sqlite3_rekey(m_db, key.constData(), key.size());
    wipe(key);
    // sqlite3_rekey reports success even when it rolled back; only reading
    // the file again under the new key tells.
    const QString failed = rc == SQLITE_OK ? QString() : sqliteMessage(m_db);
    close();
    if (!failed.isEmpty())
        throw DataError(failed);
    try {
        openWithPassword(newPassword);
        // The first read proves page 1 only; every page must have followed.
        if (quickCheck() != QStringLiteral("ok"))
            throw DataError(QStringLiteral("the file does not read back whole under the new password"));
    } catch (const WrongKeyError &) {
        close();
        const qint64 left = QFileInfo(path).dir().exists() ? freeDiskBytes() : -1;
        if (left >= 0 && left < needed)
            throw DataError(QStringLiteral("The disk filled up during the change; the password was not changed"));
        throw DataError(QStringLiteral("The change was rolled back (another program may have used the file "
                                       "meanwhile); the password was not changed"));
    } catch (...) {
        close();
        throw;
    }
}

void Connection::close()
{
    if (!m_db)
        return;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

sqlite3_stmt *Connection::prepare(const QString &sql, QByteArray *rest) const
{
    if (!m_db)
        throw DataError(QStringLiteral("Connection is not open"));
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(m_db, text.constData(), text.size(), &stmt, &tail) != SQLITE_OK)
        throw DataError(errorMessage());
    if (rest)
        *rest = tail ? QByteArray(tail, text.constData() + text.size() - tail) : QByteArray();
    return stmt;
}

QString Connection::errorMessage() const
{
    return m_db ? sqliteMessage(m_db) : QString();
}

int Connection::changedRows() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

bool Connection::prepared(sqlite3_stmt *stmt) const
{
    return stmt && m_db && sqlite3_db_handle(stmt) == m_db;
}

void Connection::executeScript(const QString &sql)
{
    open();
    char *err = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
        throw DataError(execMessage(m_db, err));
}

void Connection::copyFileTo(const QString &path)
{
    if (!m_db)
        throw DataError(QStringLiteral("Connection is not open"));
    if (!sqlite3_get_autocommit(m_db))
        throw DataError(QStringLiteral("A change to the file is under way"));
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
        throw DataError(QStringLiteral("The file cannot be read for a copy"));

    const QString native = QDir::toNativeSeparators(path);
    // The read transaction holds off writers; its first read also rolls
    // back what an interrupted writer left, so the bytes are a whole file.
    executeScript(QStringLiteral("begin; select count(*) from sqlite_master;"));
    QString failure;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        failure = errnoMessage(errno);
    sqlite3_int64 size = 0;
    if (failure.isEmpty() && file->pMethods->xFileSize(file, &size) != SQLITE_OK)
        failure = QStringLiteral("the file's size cannot be read");
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (sqlite3_int64 offset = 0; failure.isEmpty() && offset < size; offset += buffer.size()) {
        const int n = int(qMin<sqlite3_int64>(buffer.size(), size - offset));
        if (file->pMethods->xRead(file, buffer.data(), n, offset) != SQLITE_OK)
            failure = QStringLiteral("the file could not be read");
        else if (!writeAll(fd, buffer.constData(), size_t(n)))
            failure = errnoMessage(errno);
    }
    char *err = nullptr;
    sqlite3_exec(m_db, "commit;", nullptr, nullptr, &err);
    sqlite3_free(err);
    if (fd >= 0) {
        if (failure.isEmpty() && ::fsync(fd) != 0)
            failure = errnoMessage(errno);
        if (::close(fd) != 0 && failure.isEmpty())
            failure = errnoMessage(errno);
        if (!failure.isEmpty())
            QFile::remove(path);
    }
    if (!failure.isEmpty())
        throw DataError(QStringLiteral("Could not write '%1': %2").arg(native, failure));
}

void Connection::attach(const QString &path, const QString &schema, const QString *password)
{
    open();
    if (!QFileInfo(path).isFile())
        throw DataError(QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
    // An attached file takes the default page size, not this file's.
    runPragma(m_db, "PRAGMA cipher_default_page_size = 4096;");
    sqlite3_stmt *stmt = prepare(password ? QStringLiteral("attach ?1 as \"%1\" key ?2").arg(schema)
                                          : QStringLiteral("attach ?1 as \"%1\"").arg(schema));
    const QByteArray file = QFile::encodeName(path);
    QByteArray key = password ? password->toUtf8() : QByteArray();
    sqlite3_bind_text(stmt, 1, file.constData(), file.size(), SQLITE_TRANSIENT);
    if (password)
        sqlite3_bind_text(stmt, 2, key.constData(), key.size(), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    wipe(key);
    if (rc != SQLITE_DONE)
        throw DataError(sqliteMessage(m_db));
    // The key is only tried on the first read.
    try {
        executeScript(QStringLiteral("select count(*) from \"%1\".sqlite_master;").arg(schema));
    } catch (...) {
        detach(schema);
        throw;
    }
}

void Connection::detach(const QString &schema)
{
    if (!m_db)
        return;
    char *err = nullptr;
    sqlite3_exec(m_db, QStringLiteral("detach \"%1\";").arg(schema).toUtf8().constData(), nullptr, nullptr, &err);
    sqlite3_free(err);
}

QString Connection::quickCheck(const QString &schema)
{
    open();
    char *err = nullptr;
    QByteArray verdict;
    const int rc = sqlite3_exec(
        m_db, QStringLiteral("PRAGMA \"%1\".quick_check;").arg(schema).toUtf8().constData(),
        [](void *out, int, char **values, char **) {
            auto &text = *static_cast<QByteArray *>(out);
            if (text.isEmpty())
                text = values[0] ? values[0] : "";
            return 0;
        },
        &verdict, &err);
    if (rc != SQLITE_OK)
        return execMessage(m_db, err);
    sqlite3_free(err);
    return QString::fromUtf8(verdict);
}

qint64 Connection::freeDiskBytes() const
{
    struct statvfs fs { };
    const QByteArray folder = QFile::encodeName(QFileInfo(absolutePath()).absolutePath());
    if (::statvfs(folder.constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

void Connection::createDatabase(const QString &path, const QString &password, const QString &schemaSql)
{
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (QFileInfo::exists(path))
        throw DataError(QStringLiteral("The file '%1' exists already; it is left as it is").arg(native));
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw DataError(QStringLiteral("Could not make the folder for '%1'").arg(native));

    sqlite3 *db = nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    int rc = sqlite3_open_v2(encoded.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw DataError(QStringLiteral("Could not create '%1': %2").arg(native, sqliteMessage(db)));
        applyKey(db, password);
        char *err = nullptr;
        rc = sqlite3_exec(db, schemaSql.toUtf8().constData(), nullptr, nullptr, &err);
        if (rc != SQLITE_OK) {
            const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
            sqlite3_free(err);
            throw DataError(msg);
        }
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(path); // a half-made file is worse than none
        throw;
    }
    sqlite3_close(db);
}

} // namespace txl
