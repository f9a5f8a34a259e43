// The sync rows. Two Radicale processes share one storage folder: the tool's
// with an htpasswd user (the tool is measured as its users run it, with a
// password to send), vdirsyncer's without authentication, so the peer needs
// no password in any file. The address books are written straight into the
// storage folder, and reset between runs over the peer's server: none of it
// goes through the code under test. Every run is a whole process, timed from
// its start to its exit, with its peak memory from the kernel (wait4).
#include "bench/SyncBench.h"

#include "exchange/ContactRecord.h"
#include "exchange/VCard.h"
#include "platform/data/Connection.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"
#include "store/samples/Samples.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <functional>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace syncbench {

const QString kNothingChanged = QStringLiteral("sync with nothing changed, 10,000 contacts (ms)");
// Radicale alone takes longer than the goal to answer the one request of a
// sync with nothing changed at 10,000 cards, so the goal holds the tool to
// its own share of it; the whole figure stands in the section beside it.
const QString kNothingChangedOwn = QStringLiteral(
    "sync with nothing changed, 10,000 contacts: the tool's own share, the server's answer not counted (ms)");
const QString kPeakMemory = QStringLiteral("peak memory of the sync process, first download of 10,000 (MB)");

double Result::value(const QString &what) const
{
    for (const Row &r : rows)
        if (r.what == what)
            return r.ours.value;
    return std::numeric_limits<double>::quiet_NaN();
}

namespace {

const QString kUser = QStringLiteral("bench");
constexpr int kBookSize = 10000;
constexpr int kUploadSize = 1000;
constexpr int kChangesPerSide = 5;
// A row stops repeating once its next run would take its runs past this:
// a run of vdirsyncer at 10,000 takes tens of seconds.
constexpr double kRowBudgetMs = 30000;

const QString kDownload = QStringLiteral("first download of 10,000 contacts (ms)");
const QString kUpload = QStringLiteral("first upload of 1,000 contacts (ms)");
const QString kTenChanges = QStringLiteral("sync of 10 changes in 10,000, 5 on each side (ms)");
const QString kServerShare = QStringLiteral(
    "· of which Radicale answering, its request times summed (ms; above the whole when several ran at once)");
const QString kOwnShare
    = QStringLiteral("· the client's own share: the whole less Radicale's, when that sum is below the whole (ms)");
const QString kRequests = QStringLiteral("· requests to the server");
const QString kDryRun = QStringLiteral("· the same with --dry-run: no backup first, nothing written (ms)");
const QString kPeakNothing = QStringLiteral("peak memory of the sync process, nothing changed at 10,000 (MB)");

double median(const QList<double> &values)
{
    if (values.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> v(values.cbegin(), values.cend());
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// ---- whole processes ----------------------------------------------------

struct Finished {
    bool started = false;
    int exitCode = -1; // -1: ended by a signal
    double ms = 0;
    double peakMb = 0;
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Starts the program with `input` on its standard input and waits for it.
// It is started by a small process of its own (this program again, in its
// "--child spawn" mode) that times it and takes its peak memory from wait4:
// the kernel counts into a child's peak the memory of the process it was
// started from, which for the bench itself is far more than a sync's. Its
// output goes through files in `scratch`.
Finished runProcess(const QString &program, const QStringList &args, const QByteArray &input, const QString &scratch)
{
    Finished f;
    const QString outPath = scratch + QStringLiteral("/stdout"), errPath = scratch + QStringLiteral("/stderr"),
                  resultPath = scratch + QStringLiteral("/measured");
    QFile::remove(resultPath);
    std::vector<QByteArray> raw { QFile::encodeName(QCoreApplication::applicationFilePath()), "--child", "spawn",
        QFile::encodeName(resultPath), QFile::encodeName(program) };
    for (const QString &a : args)
        raw.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : raw)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return f;
    const QByteArray outName = QFile::encodeName(outPath), errName = QFile::encodeName(errPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    if (spawned == 0 && !input.isEmpty()) {
        // A child gone before it read its line must not take the bench
        // with it: SIGPIPE is ignored for this one write.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        [[maybe_unused]] const ssize_t written = write(in[1], input.constData(), static_cast<size_t>(input.size()));
        sigaction(SIGPIPE, &previous, nullptr);
    }
    close(in[1]);
    if (spawned != 0)
        return f;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    const QList<QByteArray> measured = readAll(resultPath).simplified().split(' ');
    if (measured.size() != 3)
        return f;
    f.started = true;
    f.ms = measured.at(0).toDouble();
    f.peakMb = measured.at(1).toDouble() / 1024.0;
    f.exitCode = measured.at(2).toInt();
    f.out = readAll(outPath);
    f.err = readAll(errPath);
    return f;
}

QString versionOf(const QString &program)
{
    QProcess p;
    p.start(program, { QStringLiteral("--version") });
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).simplified();
}

// ---- the servers --------------------------------------------------------

// What a server answered in a stretch of its log: Radicale logs every
// response with the time it took.
struct Requests {
    int count = 0;
    double ms = 0;
    QMap<QString, int> byMethod;
};

class Radicale {
public:
    Radicale() = default;
    ~Radicale() { stop(); }
    Radicale(const Radicale &) = delete;
    Radicale &operator=(const Radicale &) = delete;

    // users: an htpasswd file; empty for a server without authentication.
    bool start(const QString &dir, const QString &storage, const QString &users, QString &error)
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            error = QStringLiteral("no free port");
            return false;
        }
        m_port = probe.serverPort();
        probe.close();
        const QString auth = users.isEmpty()
            ? QStringLiteral("type = none\n[rights]\ntype = authenticated\n")
            : QStringLiteral("type = htpasswd\nhtpasswd_filename = %1\nhtpasswd_encryption = md5\n"
                             "[rights]\ntype = owner_only\n")
                  .arg(users);
        const QString config = dir + QStringLiteral("/config");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            error = QStringLiteral("cannot write %1").arg(config);
            return false;
        }
        file.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\n%2[storage]\nfilesystem_folder = %3\n"
                                  "[logging]\nlevel = info\n")
                       .arg(m_port)
                       .arg(auth, storage)
                       .toUtf8());
        file.close();
        m_log = dir + QStringLiteral("/log");
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(m_log);
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(
            QStandardPaths::findExecutable(QStringLiteral("radicale")), { QStringLiteral("--config"), config });
        if (!m_process.waitForStarted()) {
            error = QStringLiteral("radicale did not start");
            return false;
        }
        for (int i = 0; i < 200 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        error
            = QStringLiteral("radicale did not start listening: %1").arg(QString::fromUtf8(readAll(m_log).right(400)));
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QUrl url(const QString &path) const
    {
        QUrl u;
        u.setScheme(QStringLiteral("http"));
        u.setHost(QStringLiteral("127.0.0.1"));
        u.setPort(m_port);
        u.setPath(path);
        return u;
    }

    qint64 logSize() const { return QFileInfo(m_log).size(); }

    // Radicale writes the line before the answer's bytes go out, so a
    // client that has finished has all its lines in the log.
    Requests requestsSince(qint64 offset) const
    {
        static const QRegularExpression line(
            QStringLiteral(R"(\] (\w+) response status for '.*?' .*?in ([0-9.]+) seconds)"));
        Requests r;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
            return r;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto it = line.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            ++r.count;
            r.ms += m.captured(2).toDouble() * 1000.0;
            ++r.byMethod[m.captured(1)];
        }
        return r;
    }

private:
    QProcess m_process;
    QString m_log;
    int m_port = 0;
};

// ---- the cards ----------------------------------------------------------

QByteArray uidOf(const char *prefix, int index)
{
    return prefix + QByteArray::number(index).rightJustified(5, '0');
}

// The contact as our export writes it, with the UID every server card has.
QByteArray cardOf(const store::Contact &contact, const QByteArray &uid)
{
    QByteArray text = exchange::writeVCards(exchange::recordsOf(store::Contacts { contact }));
    const QByteArray version = "VERSION:3.0\r\n";
    const qsizetype at = text.indexOf(version);
    text.insert(at < 0 ? 0 : at + version.size(), "UID:" + uid + "\r\n");
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

int vcfCount(const QString &dir)
{
    return int(QDir(dir).entryList({ QStringLiteral("*.vcf") }, QDir::Files).size());
}

// A changed mobile for run r, change k: unlike any sample's.
QString changedMobile(int r, int k)
{
    return QStringLiteral("199%1").arg(r * 10 + k, 8, 10, QLatin1Char('0'));
}

// ---- the measurement ----------------------------------------------------

struct Sample {
    QList<double> ms, server, own, requests, peak;
    bool failed = false;
};

class Bench {
public:
    Bench(QString tool, int runs)
        : m_tool(std::move(tool))
        , m_runs(std::clamp(runs, 1, 400))
        , m_storageDir(memoryTemp())
    {
    }

    Result run()
    {
        if (!prepare())
            return m_result;
        measureOurs();
        measurePeer();
        return m_result;
    }

private:
    // Radicale syncs every file it writes to disk; on this machine's disk
    // that alone took two minutes to index 10,000 cards. A memory file
    // system leaves the clients' costs and the server's own work.
    static QString memoryTemp()
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm/txl-bench-XXXXXX")
                                               : QDir::tempPath() + QStringLiteral("/txl-bench-XXXXXX");
    }

    void fail(const QString &what)
    {
        if (!m_result.failure.isEmpty())
            m_result.failure += QStringLiteral("; ");
        m_result.failure += what;
    }

    QString work(const QString &name) const { return m_work.filePath(name); }
    QString bookFolder(const QString &book) const
    {
        return m_storageDir.filePath(QStringLiteral("collection-root/%1/%2").arg(kUser, book));
    }
    QString bookPath(const QString &book) const { return QStringLiteral("/%1/%2/").arg(kUser, book); }

    bool makeBookFolder(const QString &book)
    {
        return QDir().mkpath(bookFolder(book))
            && writeFile(bookFolder(book) + QStringLiteral("/.Radicale.props"),
                "{\"D:displayname\": \"Contacts\", \"tag\": \"VADDRESSBOOK\"}");
    }

    int http(const QByteArray &method, const QString &path, const QByteArray &body = {}, const QByteArray &type = {})
    {
        QNetworkRequest request(m_peerServer.url(path));
        request.setTransferTimeout(600000);
        if (!type.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, type);
        QNetworkReply *reply = m_net.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        delete reply;
        return status;
    }

    // An empty upload book for the next run, as a client would make it.
    bool resetUploadBook()
    {
        http("DELETE", bookPath(QStringLiteral("up")));
        const int status = http("MKCOL", bookPath(QStringLiteral("up")),
            "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><set><prop>"
            "<resourcetype><collection/><C:addressbook/></resourcetype><displayname>Contacts</displayname>"
            "</prop></set></mkcol>",
            "application/xml");
        if (status != 201)
            fail(QStringLiteral("MKCOL of the upload book answered %1").arg(status));
        return status == 201;
    }

    // The phone's side of a change: a card PUT straight over HTTP.
    bool serverEdit(const QString &book, int index, const QString &mobile)
    {
        store::Contact c = m_contacts.at(static_cast<size_t>(index));
        c.mobile = mobile;
        const QByteArray uid = uidOf("bench-", index);
        const int status = http("PUT", bookPath(book) + QString::fromLatin1(uid) + QStringLiteral(".vcf"),
            cardOf(c, uid), "text/vcard; charset=utf-8");
        if (status != 201 && status != 204)
            fail(QStringLiteral("a PUT of the phone's side answered %1").arg(status));
        return status == 201 || status == 204;
    }

    bool prepare()
    {
        for (const char *program : { "radicale", "htpasswd", "vdirsyncer" })
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                m_missing << QString::fromLatin1(program);
        if (!m_missing.isEmpty()) {
            fail(QStringLiteral("not measured: %1 missing (./scripts/bench installs radicale, apache2-utils, "
                                "python3-passlib and vdirsyncer)")
                     .arg(m_missing.join(QStringLiteral(", "))));
            return false;
        }
        if (!QFileInfo(m_tool).isExecutable()) {
            fail(QStringLiteral("not measured: no %1").arg(m_tool));
            return false;
        }
        if (!m_work.isValid() || !m_storageDir.isValid()) {
            fail(QStringLiteral("not measured: no temporary folder"));
            return false;
        }
        // A password of this run only, for the throw-away user; it goes to
        // htpasswd and the tool on their standard input.
        for (int i = 0; i < 24; ++i)
            m_password += QLatin1Char(char('a' + QRandomGenerator::system()->bounded(26)));
        const QString users = work(QStringLiteral("users"));
        QProcess htpasswd;
        htpasswd.start(QStandardPaths::findExecutable(QStringLiteral("htpasswd")),
            { QStringLiteral("-i"), QStringLiteral("-c"), QStringLiteral("-m"), users, kUser });
        htpasswd.waitForStarted();
        htpasswd.write(m_password.toUtf8() + '\n');
        htpasswd.closeWriteChannel();
        if (!htpasswd.waitForFinished() || htpasswd.exitCode() != 0) {
            fail(QStringLiteral("not measured: htpasswd failed"));
            return false;
        }
        if (!makeBookFolder(QStringLiteral("down")) || !makeBookFolder(QStringLiteral("up"))) {
            fail(QStringLiteral("not measured: cannot write the server's storage"));
            return false;
        }
        QDir().mkpath(work(QStringLiteral("ours-server")));
        QDir().mkpath(work(QStringLiteral("peer-server")));
        QString error;
        if (!m_ours.start(work(QStringLiteral("ours-server")), m_storageDir.path(), users, error)
            || !m_peerServer.start(work(QStringLiteral("peer-server")), m_storageDir.path(), QString(), error)) {
            fail(QStringLiteral("not measured: ") + error);
            return false;
        }
        // vdirsyncer's discovery lists the whole book: done while the
        // books are empty, it is kept for every run (its cache depends
        // only on the configuration, which stays the same).
        for (const QString &book : { QStringLiteral("down"), QStringLiteral("up") }) {
            const QString dir = work(QStringLiteral("peer-") + book);
            QDir().mkpath(dir + QStringLiteral("/folder"));
            QDir().mkpath(dir + QStringLiteral("/status"));
            writeFile(dir + QStringLiteral("/config"),
                QStringLiteral("[general]\nstatus_path = \"%1/status/\"\n\n[pair contacts]\na = \"server\"\n"
                               "b = \"folder\"\ncollections = null\nconflict_resolution = null\n\n"
                               "[storage server]\ntype = \"carddav\"\nurl = \"%2\"\n\n[storage folder]\n"
                               "type = \"filesystem\"\npath = \"%1/folder/\"\nfileext = \".vcf\"\n")
                    .arg(dir, m_peerServer.url(bookPath(book)).toString())
                    .toUtf8());
            const Finished discovered = runProcess(QStandardPaths::findExecutable(QStringLiteral("vdirsyncer")),
                { QStringLiteral("-c"), dir + QStringLiteral("/config"), QStringLiteral("discover") }, {},
                work(QString()));
            if (discovered.exitCode != 0) {
                fail(QStringLiteral("not measured: vdirsyncer discover failed: ")
                    + QString::fromUtf8(discovered.err.right(300)));
                return false;
            }
        }
        m_contacts = samples::contacts(kBookSize);
        for (int i = 0; i < kBookSize; ++i) {
            const QByteArray uid = uidOf("bench-", i);
            writeFile(bookFolder(QStringLiteral("down")) + u'/' + QString::fromLatin1(uid) + QStringLiteral(".vcf"),
                cardOf(m_contacts.at(static_cast<size_t>(i)), uid));
        }
        // Radicale indexes a book's cards on first sight; a listing now
        // keeps that out of the first run.
        const int warmed = http("REPORT", bookPath(QStringLiteral("down")),
            "<?xml version=\"1.0\"?><sync-collection xmlns=\"DAV:\"><sync-token/><sync-level>1</sync-level>"
            "<prop><getetag/></prop></sync-collection>",
            "application/xml");
        if (warmed != 207) {
            fail(QStringLiteral("not measured: the server's first listing answered %1").arg(warmed));
            return false;
        }
        // What the kernel counts for a child that holds next to nothing:
        // the starter's own pages, the least any peak here can read.
        const Finished idle
            = runProcess(QStandardPaths::findExecutable(QStringLiteral("true")), {}, {}, work(QString()));
        m_result.setting
            = QStringLiteral("%1 on 127.0.0.1: two processes over one storage folder%2, the tool's with an htpasswd "
                             "(APR1) user and the password on the tool's standard input (`sync --stdin`), "
                             "vdirsyncer's without authentication; %3 syncing the same kind of address book with "
                             "a folder of .vcf files (`collections = null`, the book's own URL). The server's "
                             "share is read from its log, which times every request. Peak memory is the kernel's "
                             "for the process (wait4); it reads no less than the %4 MB of the small process that "
                             "starts each run")
                  .arg(QStringLiteral("Radicale ") + versionOf(QStringLiteral("radicale")),
                      m_storageDir.path().startsWith(QStringLiteral("/dev/shm"))
                          ? QStringLiteral(" on a memory file system")
                          : QString(),
                      versionOf(QStringLiteral("vdirsyncer")).replace(QStringLiteral(", version"), QString()),
                      QString::number(idle.peakMb, 'f', 1));
        return true;
    }

    // Repeats a run up to --runs times, fewer when the row's time budget
    // would be passed; `once` prepares, runs and checks one.
    void repeat(Sample &s, const std::function<bool(int run)> &once)
    {
        double spent = 0;
        for (int r = 0; r < m_runs; ++r) {
            bool done = false;
            try {
                done = once(r);
            } catch (const std::exception &e) {
                fail(QString::fromUtf8(e.what()));
            }
            if (!done) {
                s.failed = true;
                return;
            }
            spent = 0;
            for (double ms : s.ms)
                spent += ms;
            if (spent + spent / s.ms.size() > kRowBudgetMs)
                return;
        }
    }

    // One timed run of a client against a server; false (with the reason)
    // when it failed.
    bool timed(Sample &s, const Radicale &server, const QString &program, const QStringList &args,
        const QByteArray &input, Finished &f, Requests &q)
    {
        const qint64 mark = server.logSize();
        f = runProcess(program, args, input, work(QString()));
        q = server.requestsSince(mark);
        if (!f.started || f.exitCode != 0) {
            fail(QStringLiteral("%1 %2 exited with %3: %4")
                     .arg(QFileInfo(program).fileName(), args.value(0), QString::number(f.exitCode),
                         QString::fromUtf8(f.out.right(200) + f.err.right(300)).simplified()));
            return false;
        }
        s.ms << f.ms;
        s.server << q.ms;
        // With several requests in flight at once their times overlap and
        // the sum says nothing of the client's share.
        if (q.ms <= f.ms)
            s.own << f.ms - q.ms;
        s.requests << q.count;
        s.peak << f.peakMb;
        return true;
    }

    // The tool's summary line, its first with figures (a dry run says so on
    // a line before it): uploaded, downloaded, deleted, conflicts.
    bool summaryIs(const Finished &f, QList<int> expected)
    {
        static const QRegularExpression number(QStringLiteral("\\d+"));
        QList<int> counts;
        QString summary;
        for (const QString &line : QString::fromUtf8(f.out).split(u'\n')) {
            for (auto it = number.globalMatch(line); it.hasNext();)
                counts << it.next().captured().toInt();
            if (!counts.isEmpty()) {
                summary = line;
                break;
            }
        }
        if (counts != expected)
            fail(QStringLiteral("tongxunlu-db sync said “%1”").arg(summary));
        return counts == expected;
    }

    QByteArray passwordLine() const { return m_password.toUtf8() + '\n'; }

    bool setUp(const QString &dir, const QString &book)
    {
        const Finished f = runProcess(m_tool,
            { QStringLiteral("sync-setup"), QStringLiteral("--stdin"), m_ours.url(bookPath(book)).toString(), kUser,
                dir },
            passwordLine(), work(QString()));
        if (f.exitCode != 0)
            fail(QStringLiteral("tongxunlu-db sync-setup failed: ") + QString::fromUtf8(f.err).simplified());
        return f.exitCode == 0;
    }

    bool oursSync(Sample &s, const QString &dir, const QList<int> &expected, bool dryRun = false)
    {
        Finished f;
        Requests q;
        QStringList args { QStringLiteral("sync"), QStringLiteral("--stdin"), dir };
        if (dryRun)
            args.insert(2, QStringLiteral("--dry-run"));
        return timed(s, m_ours, m_tool, args, passwordLine(), f, q) && summaryIs(f, expected);
    }

    void measureOurs()
    {
        Sample download, nothing, dryRun, ten, upload;
        QString synced;
        repeat(download, [&](int r) {
            synced = work(QStringLiteral("ours-down-%1").arg(r));
            ContactFile::create(synced);
            return setUp(synced, QStringLiteral("down")) && oursSync(download, synced, { 0, kBookSize, 0, 0 });
        });
        if (!download.failed) {
            repeat(nothing, [&](int) { return oursSync(nothing, synced, { 0, 0, 0, 0 }); });
            // A dry run makes no backup first and writes nothing: the
            // difference is what those cost.
            repeat(dryRun, [&](int) { return oursSync(dryRun, synced, { 0, 0, 0, 0 }, true); });
            repeat(ten, [&](int r) {
                {
                    txl::Connection connection;
                    ContactFile::openIn(connection, synced, {});
                    store::ContactTable table(connection);
                    for (int k = 0; k < kChangesPerSide; ++k) {
                        const QString name = m_contacts.at(static_cast<size_t>(r * 10 + k)).name;
                        std::optional<store::Contact> c = table.find(name);
                        if (!c) {
                            fail(QStringLiteral("%1 was not downloaded").arg(name));
                            return false;
                        }
                        c->mobile = changedMobile(r, k);
                        table.update(name, *c);
                    }
                }
                for (int k = 0; k < kChangesPerSide; ++k)
                    if (!serverEdit(QStringLiteral("down"), r * 10 + 5 + k, changedMobile(r, 5 + k)))
                        return false;
                return oursSync(ten, synced, { kChangesPerSide, kChangesPerSide, 0, 0 });
            });
        }
        repeat(upload, [&](int r) {
            const QString dir = work(QStringLiteral("ours-up-%1").arg(r));
            samples::createContactsFile(dir, kUploadSize);
            if (!resetUploadBook() || !setUp(dir, QStringLiteral("up"))
                || !oursSync(upload, dir, { kUploadSize, 0, 0, 0 }))
                return false;
            if (vcfCount(bookFolder(QStringLiteral("up"))) != kUploadSize) {
                fail(QStringLiteral("the server holds %1 cards after the tool's upload")
                         .arg(vcfCount(bookFolder(QStringLiteral("up")))));
                return false;
            }
            return true;
        });
        put(download, nothing, dryRun, ten, upload, true);
    }

    QString peerConfig(const QString &book) const { return work(QStringLiteral("peer-%1/config").arg(book)); }
    QString peerFolder(const QString &book) const { return work(QStringLiteral("peer-%1/folder").arg(book)); }

    // A first sync for the peer: its folder and its status emptied, the
    // discovered collections kept.
    void peerForget(const QString &book)
    {
        QDir folder(peerFolder(book));
        for (const QString &f : folder.entryList(QDir::Files | QDir::Hidden))
            folder.remove(f);
        QDir status(work(QStringLiteral("peer-%1/status").arg(book)));
        for (const QString &f : status.entryList(QDir::Files | QDir::Hidden))
            if (!f.endsWith(QStringLiteral(".collections")))
                status.remove(f);
    }

    bool peerSync(Sample &s, const QString &book, Requests &q)
    {
        Finished f;
        return timed(s, m_peerServer, QStandardPaths::findExecutable(QStringLiteral("vdirsyncer")),
            { QStringLiteral("-c"), peerConfig(book), QStringLiteral("sync") }, {}, f, q);
    }

    void measurePeer()
    {
        Sample download, nothing, ten, upload;
        Requests q;
        repeat(download, [&](int) {
            peerForget(QStringLiteral("down"));
            if (!peerSync(download, QStringLiteral("down"), q))
                return false;
            if (vcfCount(peerFolder(QStringLiteral("down"))) != kBookSize) {
                fail(QStringLiteral("vdirsyncer's folder holds %1 cards after its download")
                         .arg(vcfCount(peerFolder(QStringLiteral("down")))));
                return false;
            }
            return true;
        });
        if (!download.failed) {
            repeat(nothing, [&](int) {
                if (!peerSync(nothing, QStringLiteral("down"), q))
                    return false;
                if (q.byMethod.value(QStringLiteral("PUT")) || q.byMethod.value(QStringLiteral("DELETE"))) {
                    fail(QStringLiteral("vdirsyncer wrote with nothing changed"));
                    return false;
                }
                return true;
            });
            // Cards 5,000 and up: the tool's runs changed some below.
            repeat(ten, [&](int r) {
                const int base = kBookSize / 2 + r * 10;
                for (int k = 0; k < kChangesPerSide; ++k) {
                    store::Contact c = m_contacts.at(static_cast<size_t>(base + k));
                    c.mobile = changedMobile(r, k);
                    const QByteArray uid = uidOf("bench-", base + k);
                    const QString file
                        = peerFolder(QStringLiteral("down")) + u'/' + QString::fromLatin1(uid) + QStringLiteral(".vcf");
                    if (!QFileInfo::exists(file) || !writeFile(file, cardOf(c, uid))) {
                        fail(QStringLiteral("vdirsyncer's folder has no %1").arg(file));
                        return false;
                    }
                }
                for (int k = 0; k < kChangesPerSide; ++k)
                    if (!serverEdit(QStringLiteral("down"), base + 5 + k, changedMobile(r, 5 + k)))
                        return false;
                if (!peerSync(ten, QStringLiteral("down"), q))
                    return false;
                for (int k = 0; k < kChangesPerSide; ++k) {
                    const QString file = peerFolder(QStringLiteral("down")) + u'/'
                        + QString::fromLatin1(uidOf("bench-", base + 5 + k)) + QStringLiteral(".vcf");
                    if (!readAll(file).contains(changedMobile(r, 5 + k).toLatin1())) {
                        fail(QStringLiteral("vdirsyncer did not bring the server's change to %1").arg(file));
                        return false;
                    }
                }
                if (q.byMethod.value(QStringLiteral("PUT")) != kChangesPerSide) {
                    fail(QStringLiteral("vdirsyncer made %1 PUTs for %2 local changes")
                             .arg(q.byMethod.value(QStringLiteral("PUT")))
                             .arg(kChangesPerSide));
                    return false;
                }
                return true;
            });
        }
        const store::Contacts uploaded = samples::contacts(kUploadSize);
        repeat(upload, [&](int) {
            if (!resetUploadBook())
                return false;
            peerForget(QStringLiteral("up"));
            for (int i = 0; i < kUploadSize; ++i) {
                const QByteArray uid = uidOf("up-", i);
                writeFile(peerFolder(QStringLiteral("up")) + u'/' + QString::fromLatin1(uid) + QStringLiteral(".vcf"),
                    cardOf(uploaded.at(static_cast<size_t>(i)), uid));
            }
            if (!peerSync(upload, QStringLiteral("up"), q))
                return false;
            if (vcfCount(bookFolder(QStringLiteral("up"))) != kUploadSize) {
                fail(QStringLiteral("the server holds %1 cards after vdirsyncer's upload")
                         .arg(vcfCount(bookFolder(QStringLiteral("up")))));
                return false;
            }
            return true;
        });
        put(download, nothing, {}, ten, upload, false);
    }

    // Fills one side's figures of every row; the rows are made in the same
    // order for both sides.
    void put(const Sample &download, const Sample &nothing, const Sample &dryRun, const Sample &ten,
        const Sample &upload, bool ours)
    {
        qsizetype next = 0;
        const auto set
            = [&](const QString &what, const Sample &s, const QList<double> &values, int decimals, bool ratio) {
                  if (next == m_result.rows.size())
                      m_result.rows.push_back({ what, {}, {}, decimals, ratio });
                  Row &row = m_result.rows[next++];
                  (ours ? row.ours : row.peer)
                      = { s.failed ? std::numeric_limits<double>::quiet_NaN() : median(values), int(values.size()) };
              };
        const auto block = [&](const QString &what, const Sample &s) {
            set(what, s, s.ms, 0, true);
            set(kServerShare, s, s.server, 0, true);
            set(kOwnShare, s, s.own, 0, true);
            set(kRequests, s, s.requests, 0, false);
        };
        block(kDownload, download);
        set(kPeakMemory, download, download.peak, 1, true);
        block(kUpload, upload);
        block(kNothingChanged, nothing);
        set(kNothingChangedOwn, nothing, nothing.own, 0, true);
        set(kPeakNothing, nothing, nothing.peak, 1, true);
        set(kDryRun, dryRun, dryRun.ms, 0, true);
        block(kTenChanges, ten);
    }

    QString m_tool;
    int m_runs;
    QTemporaryDir m_work;
    QTemporaryDir m_storageDir;
    // After the folders: the servers stop before their storage goes.
    Radicale m_ours;
    Radicale m_peerServer;
    QNetworkAccessManager m_net;
    QString m_password;
    QStringList m_missing;
    store::Contacts m_contacts;
    Result m_result;
};

} // namespace

int spawnMeasured(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    timespec start {}, end {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0)
        return 1;
    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double ms = double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
    FILE *result = std::fopen(argv[0], "w");
    if (!result)
        return 1;
    std::fprintf(result, "%.3f %ld %d\n", ms, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return std::fclose(result) == 0 ? 0 : 1;
}

Result measure(const QString &tool, int runs)
{
    Bench bench(tool, runs);
    return bench.run();
}

} // namespace syncbench
