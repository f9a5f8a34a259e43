// The Debian package built from this build tree: what it installs, that its
// menu entry and metainfo validate, and the launcher it installs as the
// tongxunlu command (the data folder it picks, the empty contacts file it
// makes once, and the files it leaves alone).
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &args, const QProcessEnvironment &env = {}, const QString &cwd = {},
    int timeoutMs = 300000)
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish";
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

int contactCount(const QString &file)
{
    txl::Connection c;
    c.setDatabaseFile(file);
    c.setPassword(ContactFile::password());
    txl::Query q;
    q.setConnection(&c);
    q.addSql(QStringLiteral("select count(*) from data"));
    q.open();
    return q.field(0).toInt();
}

const QString kContacts = QStringLiteral("DataBase/data_txl.mdb");

} // namespace

class TestPackage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void contents_data();
    void contents();
    void dependencies();
    void documentation();
    void binariesWithoutNotes();
    void iconSizes();
    void validators_data();
    void validators();
    void manPages();

    void launcherDataFolder_data();
    void launcherDataFolder();
    void launcherLeavesExistingFile_data();
    void launcherLeavesExistingFile();
    void launcherPassesArgumentsWithoutData();
    void launcherReportsUnusableFolder();
    void launcherWithoutDisplay_data();
    void launcherWithoutDisplay();
    void launcherStartsInstalledProgram();

private:
    // A copy of the installed commands whose program only writes down
    // where and how it was started.
    QString recordingLauncher();
    QProcessEnvironment homeEnvironment(const QString &home) const;

    QTemporaryDir m_work;
    QString m_deb;
    QString m_root; // the package unpacked
    QStringList m_paths;
    QString m_listing;
};

void TestPackage::initTestCase()
{
    const QString build = qEnvironmentVariable("TXL_BUILD_DIR");
    if (build.isEmpty() || !QFile::exists(build + QStringLiteral("/CPackConfig.cmake")))
        QSKIP("TXL_BUILD_DIR with a CPack configuration not set");
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
        QSKIP("dpkg-deb not found");
    const QString cpack = qEnvironmentVariable("TXL_CPACK", QStringLiteral("cpack"));
    useUsualUmask();
    QVERIFY(m_work.isValid());

    const QString out = m_work.filePath(QStringLiteral("package"));
    const Run made = run(cpack,
        { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
            build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out });
    QVERIFY2(made.status == 0, made.out.right(3000) + made.err.right(3000));
    const QStringList debs = QDir(out).entryList({ QStringLiteral("*.deb") }, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = QDir(out).filePath(debs.first());

    const Run listed = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-c"), m_deb });
    QCOMPARE(listed.status, 0);
    m_listing = QString::fromUtf8(listed.out);
    for (const QString &line : m_listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString path = line.section(QLatin1Char(' '), -1);
        if (line.startsWith(QLatin1Char('l')))
            path = line.section(QStringLiteral(" -> "), 0, 0).section(QLatin1Char(' '), -1);
        m_paths << path;
    }

    m_root = m_work.filePath(QStringLiteral("root"));
    QCOMPARE(run(QStringLiteral("dpkg-deb"), { QStringLiteral("-x"), m_deb, m_root }).status, 0);
}

void TestPackage::contents_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("launcher") << "./usr/bin/tongxunlu" << true;
    QTest::newRow("database tool") << "./usr/bin/tongxunlu-db" << true;
    QTest::newRow("program") << "./usr/libexec/tongxunlu/tongxunlu" << true;
    QTest::newRow("menu entry") << "./usr/share/applications/tongxunlu.desktop" << false;
    QTest::newRow("metainfo") << "./usr/share/metainfo/io.github.tongxunlu.Tongxunlu.metainfo.xml" << false;
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        QTest::addRow("icon %d", size) << QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/tongxunlu.png").arg(size)
                                       << false;
    QTest::newRow("scalable icon") << "./usr/share/icons/hicolor/scalable/apps/tongxunlu.svg" << false;
    QTest::newRow("program man page") << "./usr/share/man/man1/tongxunlu.1.gz" << false;
    QTest::newRow("tool man page") << "./usr/share/man/man1/tongxunlu-db.1.gz" << false;
    QTest::newRow("copyright") << "./usr/share/doc/tongxunlu/copyright" << false;
    QTest::newRow("changelog") << "./usr/share/doc/tongxunlu/changelog.gz" << false;
    QTest::newRow("README") << "./usr/share/doc/tongxunlu/README.md" << false;
}

void TestPackage::contents()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    QVERIFY2(m_paths.contains(path), qPrintable(m_listing));
    const QFileInfo installed(m_root + path.mid(1));
    QVERIFY(installed.isFile());
    QCOMPARE(installed.isExecutable(), executable);
}

void TestPackage::dependencies()
{
    const Run fields = run(QStringLiteral("dpkg-deb"),
        { QStringLiteral("-f"), m_deb, QStringLiteral("Package"), QStringLiteral("Depends") });
    QCOMPARE(fields.status, 0);
    const QString text = QString::fromUtf8(fields.out);
    QVERIFY2(text.contains(QStringLiteral("Package: tongxunlu")), qPrintable(text));
    // Found by shlibdeps from the binaries, not listed by hand.
    for (const char *lib : { "libqt6widgets6", "libqt6printsupport6", "libsqlcipher", "libjpeg62-turbo" })
        QVERIFY2(text.contains(QLatin1String(lib)), qPrintable(text));
    // What no library names but the window cannot do without: the X11
    // platform plugin and a font for the Chinese interface.
    QVERIFY2(text.contains(QStringLiteral("qt6-qpa-plugins")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("fonts-wqy-microhei | fonts-noto-cjk")), qPrintable(text));
    // Nothing of the build tree leaks into the package.
    for (const QString &p : std::as_const(m_paths))
        QVERIFY2(p.startsWith(QStringLiteral("./usr/")) || p == QStringLiteral("./"), qPrintable(p));
}

void TestPackage::documentation()
{
    // The licence of the program and the MIT notice of the pinyin
    // dictionary it embeds, machine-readable.
    QFile copyright(m_root + QStringLiteral("/usr/share/doc/tongxunlu/copyright"));
    QVERIFY(copyright.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(copyright.readAll());
    QVERIFY(
        text.startsWith(QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")));
    QVERIFY(text.contains(QStringLiteral("\nFiles: *\nCopyright: 2026 The tongxunlu developers\nLicense: Expat\n")));
    QVERIFY(text.contains(QStringLiteral("\nFiles: resources/pinyin/readings.txt\nCopyright: 2016 mozillazg\n")));
    QVERIFY(
        text.contains(QStringLiteral("shall be included in all\n copies or substantial portions of the Software.")));
    QVERIFY(!text.contains(QStringLiteral("@TXL")));

    const Run changelog = run(QStringLiteral("gzip"),
        { QStringLiteral("-dc"), m_root + QStringLiteral("/usr/share/doc/tongxunlu/changelog.gz") });
    QCOMPARE(changelog.status, 0);
    QVERIFY2(changelog.out.startsWith("tongxunlu (" TXL_VERSION ") unstable; urgency=medium\n"),
        changelog.out.left(80).constData());
    QVERIFY(!changelog.out.contains("@localhost") && !changelog.out.contains("@TXL"));

    // The same licence everywhere: the root LICENSE and the metainfo.
    QFile metainfo(m_root + QStringLiteral("/usr/share/metainfo/io.github.tongxunlu.Tongxunlu.metainfo.xml"));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QVERIFY(metainfo.readAll().contains("<project_license>MIT</project_license>"));
    QFile license(QStringLiteral(TXL_SOURCE_DIR "/LICENSE"));
    QVERIFY(license.open(QIODevice::ReadOnly));
    QVERIFY(license.readAll().startsWith("MIT License\n"));
}

void TestPackage::binariesWithoutNotes()
{
    // Stripped as a Debian build strips: no compiler version section.
    if (QStandardPaths::findExecutable(QStringLiteral("readelf")).isEmpty())
        QSKIP("readelf not found");
    for (const char *file : { "/usr/bin/tongxunlu-db", "/usr/libexec/tongxunlu/tongxunlu" }) {
        const Run r = run(QStringLiteral("readelf"), { QStringLiteral("-S"), m_root + QLatin1String(file) });
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(".text") && !r.out.contains(".comment"), file);
    }
}

void TestPackage::iconSizes()
{
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        const QString file = m_root + QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/tongxunlu.png").arg(size);
        QImageReader reader(file);
        QCOMPARE(reader.size(), QSize(size, size));
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        // A picture, not an empty square: opaque in the middle, clear in a corner.
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }
    QFile svg(m_root + QStringLiteral("/usr/share/icons/hicolor/scalable/apps/tongxunlu.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg") && text.contains("<polygon"));
}

void TestPackage::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate" << QStringList() << "/usr/share/applications/tongxunlu.desktop";
    QTest::newRow("appstreamcli") << "appstreamcli"
                                  << QStringList { QStringLiteral("validate"), QStringLiteral("--no-net") }
                                  << "/usr/share/metainfo/io.github.tongxunlu.Tongxunlu.metainfo.xml";
}

void TestPackage::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP("validator not installed");
    const Run r = run(tool, args << m_root + file);
    QVERIFY2(r.status == 0, r.out + r.err);
    // desktop-file-validate passes with hints on stdout; none are wanted.
    if (tool == QStringLiteral("desktop-file-validate"))
        QVERIFY2(r.out.trimmed().isEmpty(), r.out.constData());

    QFile f(m_root + file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (const QString &keyword :
        { QStringLiteral("通讯录"), QStringLiteral("联系人"), QStringLiteral("tongxunlu"), QStringLiteral("txl") })
        QVERIFY2(text.contains(keyword), qPrintable(keyword));
    if (tool == QStringLiteral("desktop-file-validate")) {
        QVERIFY(text.contains(QStringLiteral("\nName=通讯录\n")));
        QVERIFY(text.contains(QStringLiteral("\nCategories=Office;ContactManagement;\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=tongxunlu\n")));
        // The class Qt gives the window (the program's file name): docks tie it to the entry.
        QVERIFY(text.contains(QStringLiteral("\nStartupWMClass=tongxunlu\n")));
    }
}

void TestPackage::manPages()
{
    for (const QString &page : { QStringLiteral("tongxunlu"), QStringLiteral("tongxunlu-db") }) {
        const Run r = run(QStringLiteral("gzip"),
            { QStringLiteral("-dc"), m_root + QStringLiteral("/usr/share/man/man1/%1.1.gz").arg(page) });
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith(".TH " + page.toUpper().toUtf8() + ' '), r.out.left(80).constData());
        // The version placeholder was filled in.
        QVERIFY(!r.out.contains('@'));
    }
}

QString TestPackage::recordingLauncher()
{
    const QString layout = m_work.filePath(QStringLiteral("recording"));
    if (!QFile::exists(layout)) {
        QDir().mkpath(layout + QStringLiteral("/usr/bin"));
        QDir().mkpath(layout + QStringLiteral("/usr/libexec/tongxunlu"));
        for (const char *file : { "/usr/bin/tongxunlu", "/usr/bin/tongxunlu-db" })
            QFile::copy(m_root + QLatin1String(file), layout + QLatin1String(file));
        QFile stub(layout + QStringLiteral("/usr/libexec/tongxunlu/tongxunlu"));
        stub.open(QIODevice::WriteOnly);
        stub.write("#!/bin/sh\nprintf '%s\\n' \"$(pwd -P)\" \"$@\" > \"$TXL_STARTED\"\n");
        stub.close();
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
    }
    return layout + QStringLiteral("/usr/bin/tongxunlu");
}

QProcessEnvironment TestPackage::homeEnvironment(const QString &home) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : { "TXL_DATA_DIR", "XDG_DATA_HOME" })
        env.remove(QLatin1String(var));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TXL_STARTED"), home + QStringLiteral("/started"));
    return env;
}

void TestPackage::launcherDataFolder_data()
{
    // Paths relative to the temporary HOME; an empty value is set empty,
    // "-" leaves the variable unset.
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("home");
    QTest::newRow("neither set") << "-"
                                 << "-"
                                 << ".local/share/tongxunlu" << true;
    QTest::newRow("XDG_DATA_HOME") << "-"
                                   << "@/xdg"
                                   << "xdg/tongxunlu" << true;
    QTest::newRow("XDG_DATA_HOME empty") << "-"
                                         << ""
                                         << ".local/share/tongxunlu" << true;
    QTest::newRow("XDG_DATA_HOME relative") << "-"
                                            << "xdg"
                                            << ".local/share/tongxunlu" << true;
    QTest::newRow("TXL_DATA_DIR first") << "@/mine"
                                        << "@/xdg"
                                        << "mine" << true;
    QTest::newRow("TXL_DATA_DIR with a space") << "@/my contacts"
                                               << "-"
                                               << "my contacts" << true;
    QTest::newRow("TXL_DATA_DIR empty") << ""
                                        << "@/xdg"
                                        << "xdg/tongxunlu" << true;
    // HOME is needed only when no other variable names the folder.
    QTest::newRow("TXL_DATA_DIR without HOME") << "@/mine"
                                               << "-"
                                               << "mine" << false;
}

void TestPackage::launcherDataFolder()
{
    QFETCH(QString, dataDir);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    QFETCH(bool, home);
    const QString launcher = recordingLauncher();
    QTemporaryDir homeDir;
    QProcessEnvironment env = homeEnvironment(homeDir.path());
    if (!home)
        env.remove(QStringLiteral("HOME"));
    auto set = [&](const char *var, QString value) {
        if (value == QStringLiteral("-"))
            return;
        env.insert(QLatin1String(var), value.replace(QLatin1Char('@'), homeDir.path()));
    };
    set("TXL_DATA_DIR", dataDir);
    set("XDG_DATA_HOME", dataHome);

    const QString folder = QDir(homeDir.path()).filePath(expected);
    const QString file = QDir(folder).filePath(kContacts);
    // Started from elsewhere: the program must not inherit this folder.
    const Run first = run(launcher, {}, env, QDir::tempPath());
    QVERIFY2(first.status == 0, first.err.constData());
    QVERIFY(QFileInfo(file).isFile());
    QCOMPARE(contactCount(file), 0);
    // Readable by its owner only, in folders of the owner's, though the
    // umask would let everyone read; the advice to set a password is given.
    QCOMPARE(permissionBits(file), QStringLiteral("600"));
    for (QString made = QFileInfo(file).path(); made.startsWith(homeDir.path() + QLatin1Char('/'));
         made = QFileInfo(made).path())
        QCOMPARE(permissionBits(made), QStringLiteral("700"));
    QVERIFY2(first.err.contains("tongxunlu-db passwd"), first.err.constData());

    QFile started(homeDir.filePath(QStringLiteral("started")));
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(started.readAll()), QFileInfo(folder).canonicalFilePath() + QLatin1Char('\n'));
    started.close();
    started.remove();

    // Only that folder was made.
    if (expected != QStringLiteral(".local/share/tongxunlu"))
        QVERIFY(!QFile::exists(homeDir.filePath(QStringLiteral(".local/share/tongxunlu"))));

    // The second start finds the file and leaves it as it is.
    const QByteArray made = fileHash(file);
    const QDateTime modified = QFileInfo(file).lastModified();
    const Run second = run(launcher, {}, env);
    QVERIFY2(second.status == 0, second.err.constData());
    QCOMPARE(fileHash(file), made);
    QCOMPARE(QFileInfo(file).lastModified(), modified);
    QVERIFY(started.exists());
}

void TestPackage::launcherLeavesExistingFile_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("contacts file with contacts") << QByteArray("sample");
    QTest::newRow("file the program cannot read") << QByteArray("garbage");
    QTest::newRow("empty file") << QByteArray("empty");
    QTest::newRow("link to a missing file") << QByteArray("dangling");
}

void TestPackage::launcherLeavesExistingFile()
{
    QFETCH(QByteArray, kind);
    const QString launcher = recordingLauncher();
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral(".local/share/tongxunlu"));
    const QString file = QDir(folder).filePath(kContacts);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    if (kind == "sample") {
        const Run made = run(m_root + QStringLiteral("/usr/bin/tongxunlu-db"),
            { QStringLiteral("create"), QStringLiteral("--sample"), QStringLiteral("7"), folder });
        QCOMPARE(made.status, 0);
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(home.filePath(QStringLiteral("elsewhere.mdb")), file));
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == "garbage")
            f.write("not a database\n");
    }
    const QByteArray before = fileHash(file);
    const QDateTime modified = QFileInfo(file).lastModified();

    const Run r = run(launcher, {}, homeEnvironment(home.path()));
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(QFile::exists(home.filePath(QStringLiteral("started"))));
    QCOMPARE(fileHash(file), before);
    QCOMPARE(QFileInfo(file).lastModified(), modified);
    if (kind == "sample")
        QCOMPARE(contactCount(file), 7);
    if (kind == "dangling")
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("elsewhere.mdb"))));
}

void TestPackage::launcherPassesArgumentsWithoutData()
{
    const QString launcher = recordingLauncher();
    QTemporaryDir home;
    const Run r = run(launcher, { QStringLiteral("--version"), QStringLiteral("two words") },
        homeEnvironment(home.path()), home.path());
    QCOMPARE(r.status, 0);
    QFile started(home.filePath(QStringLiteral("started")));
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(started.readAll()),
        QFileInfo(home.path()).canonicalFilePath() + QStringLiteral("\n--version\ntwo words\n"));
    // Asking for the version makes no data folder.
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".local"))));
}

void TestPackage::launcherReportsUnusableFolder()
{
    const QString launcher = recordingLauncher();
    QTemporaryDir home;
    // A file where the data folder should be.
    QFile blocker(home.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment env = homeEnvironment(home.path());
    env.insert(QStringLiteral("TXL_DATA_DIR"), blocker.fileName());
    const Run r = run(launcher, {}, env);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("tongxunlu: could not make the contacts file"), r.err.constData());
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("started"))));
    QCOMPARE(blocker.size(), 0);
}

void TestPackage::launcherWithoutDisplay_data()
{
    // "-" leaves a variable unset.
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<bool>("starts");
    QTest::newRow("nothing set") << "-"
                                 << "-"
                                 << "-" << false;
    QTest::newRow("both empty") << "-"
                                << ""
                                << "" << false;
    QTest::newRow("X11 asked, only Wayland there") << "xcb"
                                                   << "-"
                                                   << "wayland-0" << false;
    QTest::newRow("Wayland then X11, neither there") << "wayland;xcb"
                                                     << "-"
                                                     << "-" << false;
    QTest::newRow("X11") << "-"
                         << ":7"
                         << "-" << true;
    QTest::newRow("Wayland") << "-"
                             << "-"
                             << "wayland-0" << true;
    QTest::newRow("X11 asked with options") << "xcb:dpi=96"
                                            << ":7"
                                            << "-" << true;
    QTest::newRow("a platform without a display") << "offscreen"
                                                  << "-"
                                                  << "-" << true;
}

void TestPackage::launcherWithoutDisplay()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(bool, starts);
    const QString launcher = recordingLauncher();
    QTemporaryDir home;
    QProcessEnvironment env = homeEnvironment(home.path());
    const std::pair<const char *, QString> vars[]
        = { { "QT_QPA_PLATFORM", platform }, { "DISPLAY", display }, { "WAYLAND_DISPLAY", wayland } };
    for (const auto &[var, value] : vars) {
        env.remove(QLatin1String(var));
        if (value != QStringLiteral("-"))
            env.insert(QLatin1String(var), value);
    }
    const Run r = run(launcher, {}, env, home.path());
    const bool started = QFile::exists(home.filePath(QStringLiteral("started")));
    QCOMPARE(started, starts);
    if (starts) {
        QVERIFY2(r.status == 0, r.err.constData());
        return;
    }
    // Said plainly, status 1, and nothing made: no data folder, no file.
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.startsWith("tongxunlu: no display"), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".local"))));
}

void TestPackage::launcherStartsInstalledProgram()
{
    // The real installed program, through the installed launcher: it runs
    // from its own folder, in the data folder, on the file just made.
    QTemporaryDir home;
    QProcessEnvironment env = homeEnvironment(home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(m_root + QStringLiteral("/usr/bin/tongxunlu"), {});
    QVERIFY(p.waitForStarted());
    const QString file = home.filePath(QStringLiteral(".local/share/tongxunlu/") + kContacts);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 30000);
    // Still running with its window open after a while: it found the file
    // and did not stop on a start-up failure.
    QVERIFY(!p.waitForFinished(3000));
    const QString cwd = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(p.processId()));
    QCOMPARE(cwd, QFileInfo(home.filePath(QStringLiteral(".local/share/tongxunlu"))).canonicalFilePath());
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(p.processId()));
    QCOMPARE(exe, QFileInfo(m_root + QStringLiteral("/usr/libexec/tongxunlu/tongxunlu")).canonicalFilePath());
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    QCOMPARE(contactCount(file), 0);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
