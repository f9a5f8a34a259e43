// Backups of the contacts file, restoring one, the password change's
// refusals, and a full disk. A backup is the file's own bytes under its own
// key, checked before it is named; a restore leaves the old file or the
// backup in place whatever interrupts it; a write that meets a full disk
// says so and leaves the file exactly as it was.
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "shell/ContactExchange.h"
#include "store/Backups.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"
#include "store/samples/Samples.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBuiltIn = ContactFile::password();

QString toolPath()
{
    return qEnvironmentVariable("TXL_DB_TOOL");
}

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// The database tool with `input` on standard input (never a terminal here).
Run tool(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(toolPath(), args);
    Run r;
    if (!p.waitForStarted())
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        p.kill();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A new password given twice on standard input.
QByteArray twiceOnLines(const QString &password)
{
    const QByteArray line = password.toUtf8() + '\n';
    return line + line;
}

QString contactsFile(const QString &dir)
{
    return QDir(dir).absoluteFilePath(ContactFile::relativePath());
}

QString backupsFolder(const QString &dir)
{
    return QDir(dir).absoluteFilePath(QStringLiteral("DataBase/backups"));
}

// The named backups, oldest first: by the date in the name, then by the
// "-N" of a second that saw several.
QStringList backupNames(const QString &dir)
{
    QStringList names = QDir(backupsFolder(dir)).entryList({ QStringLiteral("data_txl-*.mdb") }, QDir::Files);
    const auto key = [](const QString &name) {
        const QString stem = name.chopped(4); // ".mdb"
        const int second = stem.indexOf(QLatin1Char('-'), 26);
        return std::make_pair(stem.left(26), second < 0 ? 1 : stem.mid(second + 1).toInt());
    };
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) { return key(a) < key(b); });
    return names;
}

QByteArray sha(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

int mode(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Opens a file with a password; "ok" and its contacts count, or the error.
struct Opened {
    QString check;
    int contacts = -1;
};
Opened openWith(const QString &path, const QString &password)
{
    Opened o;
    try {
        txl::Connection c;
        c.setDatabaseFile(path);
        c.setPassword(password);
        c.open();
        o.check = c.quickCheck();
        txl::Query q;
        q.setObjectName(QStringLiteral("count"));
        q.setConnection(&c);
        q.addSql(QStringLiteral("select count(*) from data"));
        q.open();
        o.contacts = q.value(0, 0).toInt();
    } catch (const txl::DataError &e) {
        o.check = e.message();
    }
    return o;
}

void execIn(const QString &path, const QString &sql, const QString &password = kBuiltIn)
{
    txl::Connection c;
    c.setDatabaseFile(path);
    c.setPassword(password);
    c.executeScript(sql);
}

// A small file system of its own (tmpfs, needs root), to be filled up.
class SmallDisk {
public:
    explicit SmallDisk(int megabytes)
    {
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m,mode=0755";
        m_mounted = m_dir.isValid()
            && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    // Writes a filler file until the disk refuses another byte.
    void fill()
    {
        QFile f(QDir(path()).filePath(QStringLiteral("filler")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) { }
        const QByteArray byte(1, 'x');
        while (f.write(byte) == 1 && f.flush()) { }
    }
    void release() { QFile::remove(QDir(path()).filePath(QStringLiteral("filler"))); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

class tst_Backups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (toolPath().isEmpty() || !QFileInfo(toolPath()).isExecutable())
            QSKIP("the database tool was not found (TXL_DB_TOOL)");
    }

    // A backup is the file's bytes: the same password opens it, whichever
    // it is, and only its owner can read it.
    void backupIsTheFileUnderItsKey_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("built-in password") << kBuiltIn;
        QTest::newRow("own password") << QStringLiteral("奇异果-2024-long");
    }
    void backupIsTheFileUnderItsKey()
    {
        QFETCH(QString, password);
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 300);
        const QString file = contactsFile(dir.path());
        QByteArray input;
        if (password != kBuiltIn) {
            txl::Connection c;
            c.setDatabaseFile(file);
            c.setPassword(kBuiltIn);
            c.rekey(password);
            input = password.toUtf8() + '\n';
        }
        const Run r = tool({ QStringLiteral("backup"), QStringLiteral("--stdin"), dir.path() }, input);
        QCOMPARE(r.code, 0);
        const QStringList names = backupNames(dir.path());
        QCOMPARE(names.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^data_txl-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.mdb$"))
                     .match(names[0])
                     .hasMatch(),
            qPrintable(names[0]));
        const QString made = QDir(backupsFolder(dir.path())).filePath(names[0]);
        QVERIFY2(r.out.contains(names[0]), qPrintable(r.out));
        QCOMPARE(sha(made), sha(file));
        QCOMPARE(mode(made), 0600);
        QCOMPARE(mode(backupsFolder(dir.path())), 0700);
        const Opened o = openWith(made, password);
        QCOMPARE(o.check, QStringLiteral("ok"));
        QCOMPARE(o.contacts, 300);
        if (password != kBuiltIn)
            QCOMPARE(openWith(made, kBuiltIn).contacts, -1);
        // Nothing else is left in the folder: no temporary copy.
        QCOMPARE(QDir(backupsFolder(dir.path())).entryList(QDir::Files | QDir::Hidden), names);
    }

    // The newest N stay; the list shows each with its date, count and size.
    void keepsTheNewestAndListsThem()
    {
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 20);
        const QString file = contactsFile(dir.path());
        for (int i = 0; i < 5; ++i) {
            execIn(file, QStringLiteral("insert into data (姓名) values ('新%1');").arg(i));
            const QStringList args = i == 0
                ? QStringList { QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("3"), dir.path() }
                : QStringList { QStringLiteral("backup"), dir.path() };
            QCOMPARE(tool(args).code, 0);
        }
        const QStringList kept = backupNames(dir.path());
        QCOMPARE(kept.size(), 3);
        // Made within a second or two, they differ by a "-N"; the three kept
        // hold 23, 24 and 25 contacts: the newest, in order.
        QList<int> counts;
        for (const QString &name : kept)
            counts << openWith(QDir(backupsFolder(dir.path())).filePath(name), kBuiltIn).contacts;
        QCOMPARE(counts, (QList<int> { 23, 24, 25 }));

        const Run list = tool({ QStringLiteral("backups"), dir.path() });
        QCOMPARE(list.code, 0);
        QVERIFY2(list.out.contains(QStringLiteral("the newest 3")), qPrintable(list.out));
        for (const QString &name : kept) {
            const QString line = list.out.split(QLatin1Char('\n')).filter(name).value(0);
            QVERIFY2(QRegularExpression(
                         QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d +2[345] contacts +[0-9.]+ KB  "))
                         .match(line)
                         .hasMatch(),
                qPrintable(line));
        }
        // Out of range, the keep count is bad usage and changes nothing.
        QCOMPARE(tool({ QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("0"), dir.path() }).code, 2);
        QCOMPARE(backupNames(dir.path()), kept);
    }

    // Restoring puts the backup's contacts back and keeps what it replaced
    // as a backup of its own; a backup under an older password is restored
    // with that password.
    void restoreKeepsWhatItReplaces()
    {
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 100);
        const QString file = contactsFile(dir.path());
        QCOMPARE(tool({ QStringLiteral("backup"), dir.path() }).code, 0);
        const QString first = backupNames(dir.path()).constFirst();
        execIn(file, QStringLiteral("delete from data where rowid % 2 = 0;"));
        const QStringList before = ContactsFixtureRows(file);
        QCOMPARE(before.size(), 50);

        const Run r = tool({ QStringLiteral("restore"), first, dir.path() });
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(openWith(file, kBuiltIn).contacts, 100);
        const QStringList names = backupNames(dir.path());
        QCOMPARE(names.size(), 2);
        const QString replaced = QDir(backupsFolder(dir.path())).filePath(names.constLast());
        QCOMPARE(ContactsFixtureRows(replaced), before);
        // Only the contacts file and its backups remain: no copy left over.
        QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("data_txl.mdb") });

        // A missing contacts file is simply given the backup.
        QVERIFY(QFile::remove(file));
        QCOMPARE(tool({ QStringLiteral("restore"), replaced, dir.path() }).code, 0);
        QCOMPARE(ContactsFixtureRows(file), before);
        // A damaged backup is refused and the file stays.
        const QString damaged = QDir(dir.path()).filePath(QStringLiteral("damaged.mdb"));
        QVERIFY(QFile::copy(replaced, damaged));
        {
            QFile f(damaged);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(f.size() - 3000);
            f.write(QByteArray(1000, '\x5a'));
        }
        const QByteArray kept = sha(file);
        const Run bad = tool({ QStringLiteral("restore"), damaged, dir.path() });
        QCOMPARE(bad.code, 1);
        QVERIFY2(bad.err.contains(QStringLiteral("Nothing was restored")), qPrintable(bad.err));
        QCOMPARE(sha(file), kept);
    }

    // While the program has the file open, a restore is refused and
    // changes nothing; once it has ended, the restore goes through.
    void restoreRefusedWhileTheProgramRuns()
    {
        const QString program = qEnvironmentVariable("TXL_PROGRAM");
        if (program.isEmpty() || !QFileInfo(program).isExecutable())
            QSKIP("the program was not found (TXL_PROGRAM)");
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 10);
        const QString file = contactsFile(dir.path());
        QCOMPARE(tool({ QStringLiteral("backup"), dir.path() }).code, 0);
        const QString backup = backupNames(dir.path()).constFirst();
        execIn(file, QStringLiteral("delete from data;"));

        QProcess window;
        window.setWorkingDirectory(dir.path());
        window.start(program, {});
        QVERIFY(window.waitForStarted());
        // Up once its mark on the file is there.
        // (The probe is let go at once: held while waiting, it would starve
        // the program's own try.)
        QElapsedTimer t;
        t.start();
        bool marked = false;
        while (!marked && t.elapsed() < 30000) {
            marked = !store::FileInUse(file, store::FileInUse::Mode::Exclusive).held();
            if (!marked)
                QTest::qWait(200);
        }
        QVERIFY(marked);
        QVERIFY(window.state() == QProcess::Running);
        const QByteArray before = sha(file);
        const Run refused = tool({ QStringLiteral("restore"), backup, dir.path() });
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("open in the program")), qPrintable(refused.err));
        QCOMPARE(sha(file), before);
        QCOMPARE(backupNames(dir.path()).size(), 1);

        ::kill(static_cast<pid_t>(window.processId()), SIGKILL);
        QVERIFY(window.waitForFinished(10000));
        const Run r = tool({ QStringLiteral("restore"), backup, dir.path() });
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(openWith(file, kBuiltIn).contacts, 10);
    }

    // An import and a password change back the file up first; a dry run
    // changes nothing and makes none.
    void bulkChangesBackUpFirst()
    {
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 5);
        const QString csv = QDir(dir.path()).filePath(QStringLiteral("in.csv"));
        {
            QFile f(csv);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("姓名,手机\n赵一,13800000001\n钱二,13800000002\n");
        }
        QCOMPARE(tool({ QStringLiteral("import"), QStringLiteral("--dry-run"), csv, dir.path() }).code, 0);
        QCOMPARE(backupNames(dir.path()).size(), 0);
        QCOMPARE(tool({ QStringLiteral("import"), csv, dir.path() }).code, 0);
        QCOMPARE(backupNames(dir.path()).size(), 1);
        QCOMPARE(openWith(QDir(backupsFolder(dir.path())).filePath(backupNames(dir.path())[0]), kBuiltIn).contacts, 5);

        const QString password = QStringLiteral("a-long-enough-one");
        const Run r = tool({ QStringLiteral("passwd"), QStringLiteral("--stdin"), dir.path() }, twiceOnLines(password));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList names = backupNames(dir.path());
        QCOMPARE(names.size(), 2);
        // The backup before the change keeps the old password.
        QCOMPARE(openWith(QDir(backupsFolder(dir.path())).filePath(names.constLast()), kBuiltIn).contacts, 7);
        QCOMPARE(openWith(contactsFile(dir.path()), password).contacts, 7);
    }

    // The window's import backs up first, and says so when it cannot.
    void windowImportBacksUpFirst()
    {
        ContactsFixture fixture(3);
        fixture.createDm();
        Dm->reloadAll();
        const QString csv = QDir(fixture.dir()).filePath(QStringLiteral("in.csv"));
        {
            QFile f(csv);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("姓名\n孙三\n");
        }
        txl::ui::FileDialogRecorder files;
        files.queueAnswer(csv);
        txl::ui::BoxRecorder boxes;
        ContactExchange::importContacts(nullptr);
        QCOMPARE(backupNames(fixture.dir()).size(), 1);
        QCOMPARE(
            openWith(QDir(backupsFolder(fixture.dir())).filePath(backupNames(fixture.dir())[0]), kBuiltIn).contacts, 3);
        QCOMPARE(fixture.rows().size(), 4);

        // A backup that cannot be made (its folder is a file here) stops
        // the import before it writes.
        QVERIFY(QDir(backupsFolder(fixture.dir())).removeRecursively());
        {
            QFile f(backupsFolder(fixture.dir()));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        boxes.clear();
        const QByteArray before = sha(fixture.databasePath());
        {
            QFile f(csv);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("姓名\n周四\n");
        }
        files.queueAnswer(csv);
        ContactExchange::importContacts(nullptr);
        QCOMPARE(boxes.boxes().size(), 1);
        QVERIFY2(boxes.texts().constFirst().startsWith(QStringLiteral("无法先备份通讯录文件：")),
            qPrintable(boxes.texts().constFirst()));
        QVERIFY(boxes.texts().constFirst().endsWith(QStringLiteral("没有导入任何联系人。")));
        QCOMPARE(sha(fixture.databasePath()), before);
    }

    // A short or all-digit password is taken only after the warning, which
    // says how fast it falls; with --stdin, --accept-weak is the yes.
    void weakPasswordsWarned_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("weak");
        QTest::addColumn<QString>("oneCore"); // what the warning says for one core
        QTest::newRow("6-digit PIN") << QStringLiteral("123456") << true << QStringLiteral("9 hours");
        QTest::newRow("12 digits") << QStringLiteral("201412250001") << true << QStringLiteral("years");
        QTest::newRow("4 letters") << QStringLiteral("abcd") << true << QStringLiteral("hours");
        QTest::newRow("8 letters and digits") << QStringLiteral("abcd1234") << false << QString();
        QTest::newRow("Chinese, 8 characters")
            << QStringLiteral("我的通讯录密码") + QStringLiteral("好") << false << QString();
    }
    void weakPasswordsWarned()
    {
        QFETCH(QString, password);
        QFETCH(bool, weak);
        QFETCH(QString, oneCore);
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 2);
        const QString file = contactsFile(dir.path());
        const QByteArray twice = twiceOnLines(password);
        const QByteArray before = sha(file);
        const Run plain = tool({ QStringLiteral("passwd"), QStringLiteral("--stdin"), dir.path() }, twice);
        if (!weak) {
            QVERIFY2(plain.code == 0, qPrintable(plain.err));
            QVERIFY(!plain.err.contains(QStringLiteral("Warning")));
            QCOMPARE(openWith(file, password).contacts, 2);
            return;
        }
        QCOMPARE(plain.code, 1);
        const QString said = plain.err.simplified(); // the warning is wrapped to the terminal's width
        QVERIFY2(said.contains(QStringLiteral("32 guesses a second per processor core")), qPrintable(said));
        QVERIFY2(said.contains(oneCore + QStringLiteral(" on one core")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("--accept-weak")), qPrintable(said));
        QCOMPARE(sha(file), before);
        QCOMPARE(openWith(file, kBuiltIn).contacts, 2);

        const Run accepted
            = tool({ QStringLiteral("passwd"), QStringLiteral("--stdin"), QStringLiteral("--accept-weak"), dir.path() },
                twice);
        QVERIFY2(accepted.code == 0, qPrintable(accepted.err));
        QCOMPARE(openWith(file, password).contacts, 2);
    }

    // Another program reading the file holds off the change: the refusal
    // names the lock, and the password stays.
    void passwdSaysWhyWhenLocked()
    {
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 50);
        const QString file = contactsFile(dir.path());
        txl::Connection reader;
        reader.setDatabaseFile(file);
        reader.setPassword(kBuiltIn);
        reader.executeScript(QStringLiteral("begin; select count(*) from data;"));
        const QString password = QStringLiteral("long enough password");
        const Run r = tool({ QStringLiteral("passwd"), QStringLiteral("--stdin"), dir.path() }, twiceOnLines(password));
        reader.executeScript(QStringLiteral("commit;"));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("locked by another program")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("the password was not changed")), qPrintable(r.err));
        QCOMPARE(openWith(file, kBuiltIn).contacts, 50);
    }

    // A full disk: every write ends with a message that says so, and the
    // contacts file is byte for byte what it was.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("what");
        for (const char *what : { "add", "modify", "delete", "import", "backup", "passwd", "rekey", "window import" })
            QTest::newRow(what) << QString::fromLatin1(what);
    }
    void fullDisk()
    {
        QFETCH(QString, what);
        SmallDisk disk(8);
        if (!disk.mounted())
            QSKIP("no tmpfs could be mounted here (needs root)");
        samples::createContactsFile(disk.path(), 2000);
        const QString file = contactsFile(disk.path());
        const QString csv = QDir(disk.path()).filePath(QStringLiteral("in.csv"));
        {
            QFile f(csv);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray rows = "姓名,手机\n";
            for (int i = 0; i < 500; ++i)
                rows += "新人" + QByteArray::number(i) + ",1380000" + QByteArray::number(1000 + i) + '\n';
            f.write(rows);
        }
        const QString old = QDir::currentPath();
        QDir::setCurrent(disk.path());
        auto back = qScopeGuard([old] { QDir::setCurrent(old); });
        std::unique_ptr<TDm> dm;
        if (what == u"add" || what == u"modify" || what == u"delete" || what == u"window import") {
            dm = std::make_unique<TDm>();
            Dm = dm.get();
            Dm->reloadAll();
        }
        auto dropDm = qScopeGuard([&dm] {
            dm.reset();
            Dm = nullptr;
        });
        disk.fill();
        const QByteArray before = sha(file);

        QString message;
        if (dm && what != u"window import") {
            txl::Query *q = Dm->addquery;
            try {
                if (what == u"add") {
                    q->close();
                    q->clearSql();
                    q->addSql(QStringLiteral("insert into data values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
                    q->setParam(QStringLiteral("p0"), QStringLiteral("新朋友"));
                    for (int i = 1; i < 7; ++i)
                        q->setParam(QStringLiteral("p%1").arg(i), QStringLiteral("x"));
                    q->execSql();
                } else if (what == u"modify") {
                    q->edit();
                    q->setFieldByName(QStringLiteral("家庭住址"), QStringLiteral("新地址").repeated(20));
                    q->post();
                } else {
                    q->deleteRecord();
                }
            } catch (const txl::DataError &e) {
                message = e.message();
            }
        } else if (what == u"rekey") {
            txl::Connection c;
            c.setDatabaseFile(file);
            c.setPassword(kBuiltIn);
            try {
                c.rekey(QStringLiteral("a long new password"));
            } catch (const txl::DataError &e) {
                message = e.message();
            }
        } else if (what == u"window import") {
            txl::ui::FileDialogRecorder files;
            files.queueAnswer(csv);
            txl::ui::BoxRecorder boxes;
            ContactExchange::importContacts(nullptr);
            message = boxes.texts().join(QLatin1Char('\n'));
        } else {
            QStringList args { what };
            QByteArray input;
            if (what == u"import")
                args << csv;
            if (what == u"passwd") {
                args << QStringLiteral("--stdin");
                input = "a long new password\na long new password\n";
            }
            const Run r = tool(args << disk.path(), input);
            QCOMPARE(r.code, 1);
            message = r.err;
        }
        QVERIFY2(message.contains(QStringLiteral("disk is full"), Qt::CaseInsensitive), qPrintable(message));
        QCOMPARE(sha(file), before);
        // No half-made copy stays to take the room.
        const QStringList leftovers = QDir(backupsFolder(disk.path())).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(leftovers.filter(QStringLiteral(".part-")).isEmpty(), qPrintable(leftovers.join(u' ')));
        dropDm.dismiss();
        dm.reset();
        Dm = nullptr;
        disk.release();
        QCOMPARE(openWith(file, kBuiltIn).check, QStringLiteral("ok"));
        QCOMPARE(openWith(file, kBuiltIn).contacts, 2000);
    }

    // The tool killed at random moments while it backs up or restores: the
    // contacts file always opens whole, with the old contacts or the
    // backup's, and every named backup opens whole.
    void killDuringBackupAndRestore()
    {
        const int kills = qMax(20, qEnvironmentVariableIntValue("TXL_FAULT_KILLS") / 4);
        QTemporaryDir dir;
        samples::createContactsFile(dir.path(), 30000);
        const QString file = contactsFile(dir.path());
        QCOMPARE(
            tool({ QStringLiteral("backup"), QStringLiteral("--keep"), QStringLiteral("1000"), dir.path() }).code, 0);
        const QString full = QDir(backupsFolder(dir.path())).filePath(backupNames(dir.path()).constFirst());
        execIn(file, QStringLiteral("delete from data where rowid % 3 = 0;"));
        QCOMPARE(tool({ QStringLiteral("backup"), dir.path() }).code, 0);
        const QString part = QDir(backupsFolder(dir.path())).filePath(backupNames(dir.path()).constLast());
        const QSet<int> allowed { 30000, 20000 };

        // How long a whole run takes, to spread the kills over it.
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(tool({ QStringLiteral("restore"), full, dir.path() }).code, 0);
        const int span = int(qMax<qint64>(timer.elapsed(), 50));

        QRandomGenerator rng(24);
        int cut = 0;
        for (int k = 0; k < kills; ++k) {
            const bool restoring = k % 2 == 1;
            const QStringList args = restoring
                ? QStringList { QStringLiteral("restore"), (k % 4 == 1) ? part : full, dir.path() }
                : QStringList { QStringLiteral("backup"), dir.path() };
            QProcess p;
            p.start(toolPath(), args);
            QVERIFY(p.waitForStarted());
            QTest::qWait(int(rng.bounded(span)));
            if (p.state() == QProcess::Running) {
                ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
                ++cut;
            }
            p.waitForFinished(60000);
            QCOMPARE(p.state(), QProcess::NotRunning);

            const Opened now = openWith(file, kBuiltIn);
            QCOMPARE(now.check, QStringLiteral("ok"));
            QVERIFY2(allowed.contains(now.contacts), qPrintable(QString::number(now.contacts)));
            for (const QString &name : backupNames(dir.path())) {
                const Opened b = openWith(QDir(backupsFolder(dir.path())).filePath(name), kBuiltIn);
                QVERIFY2(b.check == QStringLiteral("ok") && allowed.contains(b.contacts),
                    qPrintable(name + QLatin1Char(' ') + b.check));
            }
        }
        qInfo("%d runs of backup and restore, %d cut by SIGKILL, %d named backups, each run about %d ms", kills, cut,
            int(backupNames(dir.path()).size()), span);
        QVERIFY(cut > 0);
        // The next run clears what the cut ones left behind.
        QCOMPARE(tool({ QStringLiteral("backup"), dir.path() }).code, 0);
        QCOMPARE(tool({ QStringLiteral("restore"), full, dir.path() }).code, 0);
        QCOMPARE(QDir(backupsFolder(dir.path())).entryList({ QStringLiteral(".*.part-*") }, QDir::Files | QDir::Hidden),
            QStringList());
        QCOMPARE(
            QDir(QFileInfo(file).absolutePath()).entryList({ QStringLiteral("*.part-*") }, QDir::Files | QDir::Hidden),
            QStringList());
    }

private:
    // Every row of a file with the built-in password, "|" between fields.
    static QStringList ContactsFixtureRows(const QString &path)
    {
        txl::Connection c;
        c.setDatabaseFile(path);
        c.setPassword(kBuiltIn);
        txl::Query q;
        q.setObjectName(QStringLiteral("rows"));
        q.setConnection(&c);
        q.addSql(QStringLiteral("select * from data order by 姓名"));
        q.open();
        QStringList out;
        for (int r = 0; r < q.recordCount(); ++r) {
            QStringList fields;
            for (int col = 0; col < q.fieldCount(); ++col)
                fields << q.value(r, col);
            out << fields.join(QLatin1Char('|'));
        }
        return out;
    }
};

QTEST_MAIN(tst_Backups)
#include "tst_backups.moc"
