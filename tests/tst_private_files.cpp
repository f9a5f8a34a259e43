// Owner-only folders and files, whatever the umask: the helpers the contacts
// file, exports and printouts are made with.
#include "platform/os/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The permission bits as the system keeps them.
int modeOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

void writeFile(const QString &path, const QByteArray &bytes, int mode)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestPrivateFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void makePrivatePath_data();
    void makePrivatePath();
    void makePrivatePathRefuses();
    void restrictPath();
    void restrictOpenFile_data();
    void restrictOpenFile();
    void prepareFile_data();
    void prepareFile();
    void prepareRefuses();

private:
    mode_t m_umask = 0;
};

void TestPrivateFiles::initTestCase()
{
    // The usual umask, under which files would be readable by everyone.
    m_umask = ::umask(022);
}

void TestPrivateFiles::cleanupTestCase()
{
    ::umask(m_umask);
}

void TestPrivateFiles::makePrivatePath_data()
{
    QTest::addColumn<QString>("existing"); // made beforehand with 0755, relative to the temporary folder
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QStringList>("made"); // each must end 0700
    QTest::newRow("one folder") << ""
                                << "a" << QStringList { QStringLiteral("a") };
    QTest::newRow("nested folders") << ""
                                    << "a/b/c"
                                    << QStringList { QStringLiteral("a"), QStringLiteral("a/b"),
                                           QStringLiteral("a/b/c") };
    QTest::newRow("below an existing folder")
        << "home"
        << "home/.local/share/tongxunlu"
        << QStringList { QStringLiteral("home/.local"), QStringLiteral("home/.local/share"),
               QStringLiteral("home/.local/share/tongxunlu") };
    QTest::newRow("already there") << "mine"
                                   << "mine" << QStringList();
    QTest::newRow("with dots and a space")
        << ""
        << "x/./y z/../y z" << QStringList { QStringLiteral("x"), QStringLiteral("x/y z") };
}

void TestPrivateFiles::makePrivatePath()
{
    QFETCH(QString, existing);
    QFETCH(QString, wanted);
    QFETCH(QStringList, made);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!existing.isEmpty()) {
        QVERIFY(QDir().mkpath(dir.filePath(existing)));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath(existing)).constData(), 0755) == 0);
    }
    QVERIFY(txl::os::makePrivatePath(dir.filePath(wanted)));
    QVERIFY(QFileInfo(dir.filePath(wanted)).isDir());
    for (const QString &folder : std::as_const(made))
        QCOMPARE(QString::number(modeOf(dir.filePath(folder)), 8), QStringLiteral("700"));
    // A folder that was there is the user's: left as it was.
    if (!existing.isEmpty())
        QCOMPARE(QString::number(modeOf(dir.filePath(existing)), 8), QStringLiteral("755"));
}

void TestPrivateFiles::makePrivatePathRefuses()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("file")), "x", 0644);
    QVERIFY(!txl::os::makePrivatePath(dir.filePath(QStringLiteral("file"))));
    QVERIFY(!txl::os::makePrivatePath(dir.filePath(QStringLiteral("file/below"))));
    QVERIFY(!txl::os::makePrivatePath(QString()));
    // A folder it may not write in.
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("closed"))));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("closed"))).constData(), 0500) == 0);
    if (::geteuid() != 0)
        QVERIFY(!txl::os::makePrivatePath(dir.filePath(QStringLiteral("closed/inside"))));
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("closed"))).constData(), 0700);
}

void TestPrivateFiles::restrictPath()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("contacts.mdb"));
    writeFile(file, "data", 0664);
    QVERIFY(txl::os::restrictToOwner(file));
    QCOMPARE(QString::number(modeOf(file), 8), QStringLiteral("600"));
    QCOMPARE(contents(file), QByteArray("data"));

    const QString folder = dir.filePath(QStringLiteral("DataBase"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0775) == 0);
    QVERIFY(txl::os::restrictToOwner(folder));
    QCOMPARE(QString::number(modeOf(folder), 8), QStringLiteral("700"));

    QVERIFY(!txl::os::restrictToOwner(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!txl::os::restrictToOwner(QString()));
}

void TestPrivateFiles::restrictOpenFile_data()
{
    QTest::addColumn<bool>("replacing");
    QTest::newRow("new file") << false;
    QTest::newRow("over a readable file") << true;
}

void TestPrivateFiles::restrictOpenFile()
{
    QFETCH(bool, replacing);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.vcf"));
    if (replacing)
        writeFile(path, "old", 0644);
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(txl::os::restrictToOwner(file));
    // What is written lands in a file nobody else can read, also before it
    // is renamed into place.
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        if (name != QStringLiteral("export.vcf"))
            QCOMPARE(QString::number(modeOf(dir.filePath(name)), 8), QStringLiteral("600"));
    file.write("BEGIN:VCARD\r\n");
    QVERIFY(file.commit());
    QCOMPARE(QString::number(modeOf(path), 8), QStringLiteral("600"));
    QCOMPARE(contents(path), QByteArray("BEGIN:VCARD\r\n"));

    QFile closed(path);
    QVERIFY(!txl::os::restrictToOwner(closed)); // not open: nothing to change
}

void TestPrivateFiles::prepareFile_data()
{
    QTest::addColumn<bool>("existing");
    QTest::newRow("new file") << false;
    QTest::newRow("existing file") << true;
}

void TestPrivateFiles::prepareFile()
{
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.pdf"));
    if (existing)
        writeFile(path, "%PDF-old", 0644);
    QVERIFY(txl::os::preparePrivateFile(path));
    QCOMPARE(QString::number(modeOf(path), 8), QStringLiteral("600"));
    // Only the mode changes: the writer that follows truncates.
    QCOMPARE(contents(path), existing ? QByteArray("%PDF-old") : QByteArray());
    // A writer that truncates keeps the mode.
    QFile writer(path);
    QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Truncate));
    writer.write("%PDF-1.4");
    writer.close();
    QCOMPARE(QString::number(modeOf(path), 8), QStringLiteral("600"));
}

void TestPrivateFiles::prepareRefuses()
{
    QTemporaryDir dir;
    QVERIFY(!txl::os::preparePrivateFile(dir.path())); // a folder
    QVERIFY(!txl::os::preparePrivateFile(dir.filePath(QStringLiteral("no/such/folder.pdf"))));
    QVERIFY(!txl::os::preparePrivateFile(QString()));
    // A pipe of that name: refused at once, not waited on, not changed.
    const QString pipe = dir.filePath(QStringLiteral("pipe.pdf"));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
    QVERIFY(!txl::os::preparePrivateFile(pipe));
    QCOMPARE(QString::number(modeOf(pipe), 8), QStringLiteral("644"));
}

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "tst_private_files.moc"
