// The calculator launcher: the two places searched in order, the fixed list
// of names, the detached start and the not-found message.
#include "TestSupport.h"

#include "platform/os/Programs.h"
#include "platform/ui/Dialogs.h"
#include "shell/Calculator.h"
#include "shell/Unit_Main.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

using txl::os::ProgramHost;

namespace {

// Real existence checks over two temporary folders; starts are recorded,
// and so is every question asked about the places.
class FolderHost : public ProgramHost {
public:
    QTemporaryDir first;
    QTemporaryDir second;
    int firstAsked = 0;
    int secondAsked = 0;
    QStringList checked;
    QStringList started;
    bool reallyStart = false;

    QString systemDirectory() override
    {
        ++firstAsked;
        return first.path();
    }
    QString secondDirectory() override
    {
        ++secondAsked;
        return second.path();
    }
    QString executableIn(const QString &directory, const QString &name) override
    {
        checked << QDir(directory).filePath(name);
        return ProgramHost::executableIn(directory, name);
    }
    void startDetached(const QString &program) override
    {
        started << program;
        if (reallyStart)
            ProgramHost::startDetached(program);
    }
};

// Installs a host for one test and puts the previous one back.
class HostScope {
public:
    explicit HostScope(ProgramHost *host)
        : m_before(txl::os::setProgramHost(host))
    {
    }
    ~HostScope() { txl::os::setProgramHost(m_before); }

private:
    ProgramHost *m_before;
};

// Puts programs in a folder: "name/" makes a folder of that name, "name-"
// a file without the executable bit.
void putFiles(const QString &dir, const QStringList &names)
{
    for (const QString &name : names) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(QDir(dir).filePath(name)));
            continue;
        }
        const bool runnable = !name.endsWith(QLatin1Char('-'));
        QFile f(QDir(dir).filePath(runnable ? name : name.chopped(1)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        const QFileDevice::Permissions plain = f.permissions()
            & ~(QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup | QFileDevice::ExeOther);
        QVERIFY(f.setPermissions(runnable ? plain | QFileDevice::ExeOwner : plain));
    }
}

QString inFolder(const QString &dir, const QString &name)
{
    return QDir(dir).filePath(name);
}

} // namespace

class TestCalculator : public QObject {
    Q_OBJECT
private slots:
    void search_data();
    void search();
    void realPlaces();
    void startsDetachedAndReturnsAtOnce();
    void buttonWithoutCalculatorShowsTheMessage();
    void buttonWithCalculatorShowsNothing();
};

void TestCalculator::search_data()
{
    QTest::addColumn<QStringList>("inFirst");
    QTest::addColumn<QStringList>("inSecond");
    QTest::addColumn<QString>("expectedPlace"); // "first", "second" or "" for none
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<bool>("secondConsulted");

    QTest::newRow("first only") << QStringList { QStringLiteral("gnome-calculator") } << QStringList {}
                                << QStringLiteral("first") << QStringLiteral("gnome-calculator") << false;
    QTest::newRow("both: the first wins, the second is never asked")
        << QStringList { QStringLiteral("xcalc") } << QStringList { QStringLiteral("gnome-calculator") }
        << QStringLiteral("first") << QStringLiteral("xcalc") << false;
    QTest::newRow("second only") << QStringList {} << QStringList { QStringLiteral("kcalc") }
                                 << QStringLiteral("second") << QStringLiteral("kcalc") << true;
    QTest::newRow("list order within a place")
        << QStringList { QStringLiteral("xcalc"), QStringLiteral("galculator"), QStringLiteral("mate-calc") }
        << QStringList {} << QStringLiteral("first") << QStringLiteral("galculator") << false;
    // Only a file the user may run is a program.
    QTest::newRow("a directory of that name is passed over")
        << QStringList { QStringLiteral("kcalc/") } << QStringList { QStringLiteral("xcalc") }
        << QStringLiteral("second") << QStringLiteral("xcalc") << true;
    QTest::newRow("a file without the executable bit is passed over")
        << QStringList { QStringLiteral("gnome-calculator-"), QStringLiteral("xcalc") } << QStringList {}
        << QStringLiteral("first") << QStringLiteral("xcalc") << false;
    QTest::newRow("neither place has a runnable one")
        << QStringList { QStringLiteral("kcalc-") } << QStringList { QStringLiteral("mate-calc/") } << QString()
        << QString() << true;
    QTest::newRow("other programs are not calculators")
        << QStringList { QStringLiteral("calc"), QStringLiteral("calc.exe"), QStringLiteral("bc") }
        << QStringList { QStringLiteral("gnome-calculator.desktop"), QStringLiteral("Kcalc") } << QString() << QString()
        << true;
    QTest::newRow("neither") << QStringList {} << QStringList {} << QString() << QString() << true;
}

void TestCalculator::search()
{
    QFETCH(QStringList, inFirst);
    QFETCH(QStringList, inSecond);
    QFETCH(QString, expectedPlace);
    QFETCH(QString, expectedName);
    QFETCH(bool, secondConsulted);

    FolderHost host;
    putFiles(host.first.path(), inFirst);
    putFiles(host.second.path(), inSecond);

    const bool started = startCalculator(host);

    QString expected;
    if (expectedPlace == QLatin1String("first"))
        expected = inFolder(host.first.path(), expectedName);
    else if (expectedPlace == QLatin1String("second"))
        expected = inFolder(host.second.path(), expectedName);
    QCOMPARE(started, !expected.isEmpty());
    QCOMPARE(host.started, expected.isEmpty() ? QStringList {} : QStringList { expected });
    QCOMPARE(host.firstAsked, 1);
    QCOMPARE(host.secondAsked, secondConsulted ? 1 : 0);
    for (const QString &path : std::as_const(host.checked)) {
        if (!secondConsulted)
            QVERIFY2(!path.startsWith(host.second.path()), qPrintable(path));
    }
}

void TestCalculator::realPlaces()
{
    // The program's own host: the system's program directory first.
    ProgramHost &real = txl::os::programHost();
    QCOMPARE(real.systemDirectory(), QStringLiteral("/usr/bin"));
    QCOMPARE(real.secondDirectory(), QStringLiteral("/usr/local/bin"));

    // A test host replaces it and setting none puts it back.
    FolderHost host;
    {
        HostScope scope(&host);
        QCOMPARE(&txl::os::programHost(), static_cast<ProgramHost *>(&host));
    }
    QCOMPARE(&txl::os::programHost(), &real);
}

void TestCalculator::startsDetachedAndReturnsAtOnce()
{
    FolderHost host;
    host.reallyStart = true;
    const QString started = QDir(host.first.path()).filePath(QStringLiteral("started"));
    const QString calculator = inFolder(host.first.path(), QStringLiteral("galculator"));
    {
        QFile f(calculator);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Busy for a while after starting, as a real calculator is.
        f.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nsleep 3\n").arg(started).toUtf8());
        f.close();
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
    }

    QElapsedTimer clock;
    clock.start();
    QVERIFY(startCalculator(host));
    QVERIFY2(clock.elapsed() < 2000, "the start waited for the calculator");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
}

void TestCalculator::buttonWithoutCalculatorShowsTheMessage()
{
    ContactsFixture fixture(2);
    fixture.createDm();
    FolderHost host;
    HostScope scope(&host);
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    boxes.clear();

    window.ToolButton13Click();

    QCOMPARE(boxes.boxes().size(), 1);
    const txl::ui::ShownBox &box = boxes.boxes().first();
    QCOMPARE(box.kind, txl::ui::ShownBox::Notice);
    QCOMPARE(box.text, QStringLiteral("没有找到计算器程序！"));
    QCOMPARE(box.caption, txl::ui::applicationTitle());
    QCOMPARE(box.icon, txl::ui::Icon::None);
    QCOMPARE(box.buttons, QStringList { QStringLiteral("OK") });
    QVERIFY(host.started.isEmpty());
    QCOMPARE(host.secondAsked, 1);
}

void TestCalculator::buttonWithCalculatorShowsNothing()
{
    ContactsFixture fixture(2);
    fixture.createDm();
    FolderHost host;
    putFiles(host.second.path(), { QStringLiteral("mate-calc") });
    HostScope scope(&host);
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    boxes.clear();

    // The toolbar button and the pop-up entry both reach the launcher.
    const QString expected = inFolder(host.second.path(), QStringLiteral("mate-calc"));
    window.ToolButton13->click();
    QCOMPARE(host.started, QStringList { expected });

    QAction *entry = nullptr;
    for (QAction *a : window.PopupMenu1->actions()) {
        if (a->text().startsWith(QStringLiteral("计 算 器")))
            entry = a;
    }
    QVERIFY(entry);
    entry->trigger();
    QCOMPARE(host.started, (QStringList { expected, expected }));
    QVERIFY(boxes.boxes().isEmpty());
}

QTEST_MAIN(TestCalculator)
#include "tst_calculator.moc"
