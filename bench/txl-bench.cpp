// Measures the program's costs at several list sizes, beside the sqlcipher
// shell doing the same work on the same files, prints a table of them and a
// table of the speed goals, each with its anchor and ratio.
//
//   txl-bench [--sizes 1000,10000,100000] [--runs 5] [--out FILE] [--check]
//             [--sync-only | --no-sync]
//
// --check: exit status 1 when a goal is missed or could not be measured.
// The sync rows (a local Radicale, beside vdirsyncer) are at 10,000 contacts
// whatever the sizes; --sync-only measures them alone, --no-sync leaves them
// out.
// Whole-process figures run this program again as a child (--child ...), so
// each start is a fresh process as the user's would be.
#include "bench/SyncBench.h"
#include "contacts/Unit_add.h"
#include "exchange/Exchange.h"
#include "platform/data/Query.h"
#include "platform/report/Report.h"
#include "platform/ui/Dialogs.h"
#include "report/Unit_print.h"
#include "shell/Startup.h"
#include "shell/Unit_Main.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"
#include "store/samples/Samples.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTranslator>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>

namespace {

QString g_self;
int g_runs = 5;

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

double timeMs(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// Peak resident memory of this process, in MB.
double peakMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

// ---- the child processes ---------------------------------------------------

// Returns once the window is mapped and its first frame painted and handed
// to the window system (on X, the server has taken it).
void waitUntilPainted(QWidget *window)
{
    QElapsedTimer limit;
    limit.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && limit.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
    QGuiApplication::sync();
}

// The program's own start-up, step for step as its main takes it: the open
// begun first (unless `ahead` is false: the key then is derived in line, as
// before), the application object, the data module, the window shown and
// painted.
int startUpChild(int argc, char *argv[], bool ahead)
{
    std::unique_ptr<txl::OpeningAhead> opening = ahead ? TDm::openAhead() : nullptr;
    QApplication app(argc, argv);
    const std::unique_ptr<QTranslator> qtTexts = startup::setUpApplication();
    txl::ui::BoxRecorder boxes;
    if (!startup::createDataModule(std::move(opening)))
        return 1;
    startup::showMainWindow({});
    waitUntilPainted(frm_Main);
    std::printf("ready %d %.1f\n", Dm->addquery->recordCount(), peakMb());
    std::fflush(stdout);
    delete frm_Main;
    delete Dm;
    return 0;
}

// The windowless children: a load, an import or an export, a report layout.
int workChild(const QString &mode, const QStringList &args)
{
    txl::ui::BoxRecorder boxes;
    Dm = new TDm;
    if (mode == QStringLiteral("reload")) {
        Dm->reloadAll();
        std::printf("ready %d %.1f\n", Dm->addquery->recordCount(), peakMb());
    } else if (mode == QStringLiteral("import") || mode == QStringLiteral("export")) {
        // Key derivation is start-up's cost, measured apart: the connection
        // opens before the clock starts.
        Dm->scon->open();
        const QString file = args.value(0);
        double ms = 0;
        int count = 0;
        if (mode == QStringLiteral("import")) {
            ms = timeMs([&] {
                store::ContactTable table = Dm->contactTable();
                count = exchange::importFile(table, file, false).imported;
            });
        } else {
            const auto format = exchange::formatForPath(file);
            ms = timeMs([&] { count = static_cast<int>(exchange::exportTable(file, Dm->contactTable(), format)); });
        }
        std::printf("ready %d %.1f %.1f\n", count, ms, peakMb());
    } else if (mode == QStringLiteral("report")) {
        Dm->reloadAll();
        Tfrm_print holder;
        const double before = peakMb();
        std::shared_ptr<const txl::report::PreparedReport> pages;
        const double ms = timeMs([&] { pages = holder.QuickRep1->prepare(); });
        std::printf("ready %d %.1f %.1f %.1f\n", pages->pageCount(), ms, before, peakMb());
    }
    std::fflush(stdout);
    delete Dm;
    Dm = nullptr;
    return 0;
}

int runChild(int argc, char *argv[], const QString &mode, const QStringList &args)
{
    if (mode == QStringLiteral("startup") || mode == QStringLiteral("startup-inline"))
        return startUpChild(argc, argv, mode == QStringLiteral("startup"));
    if (mode == QStringLiteral("report")) {
        QApplication app(argc, argv);
        return workChild(mode, args);
    }
    // Loading, importing and exporting need no windows: those children are
    // as bare a process as the shell they are compared with.
    QCoreApplication app(argc, argv);
    return workChild(mode, args);
}

// ---- the parent: running children and the shell -----------------------------

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Our own whole process, started in the folder of the contacts file: start,
// show or load, exit. Returns the time to the child's "ready" line and the
// child's reported figures.
struct ChildResult {
    double ms = 0;
    QStringList fields;
};

ChildResult child(const QString &dir, const QStringList &args, const QProcessEnvironment &env = offscreen())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    ChildResult r;
    QElapsedTimer t;
    t.start();
    p.start(g_self, QStringList { QStringLiteral("--child") } + args);
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(-1))
        out += p.readAllStandardOutput();
    r.ms = t.nsecsElapsed() / 1e6;
    p.waitForFinished(-1);
    out += p.readAllStandardOutput();
    r.fields = QString::fromUtf8(out).simplified().split(QLatin1Char(' '));
    return r;
}

const QString kKey
    = QStringLiteral("PRAGMA key='%1'; %2 ").arg(ContactFile::password(), txl::Connection::cipherPragmas());

QString databaseIn(const QString &dir)
{
    return QDir(dir).absoluteFilePath(ContactFile::relativePath());
}

// Whole process of the sqlcipher shell, its output thrown away as a user's
// "> /dev/null" would.
double shellProcessMs(const QString &dir, const QString &sql)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlcipher"), { databaseIn(dir), kKey + sql });
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e6;
}

// The shell's own time for one statement, as its ".timer on" reports it:
// the key is derived by a first read beforehand and the rows are formatted
// into /dev/null. Median over the runs, all in one shell session.
double shellStatementMs(const QString &dir, const QString &sql)
{
    QString script = QStringLiteral("PRAGMA key='%1';\n%2\nselect count(*) from sqlite_master;\n"
                                    ".output /dev/null\n.timer on\n")
                         .arg(ContactFile::password(), txl::Connection::cipherPragmas());
    for (int r = 0; r < g_runs; ++r)
        script += sql + QLatin1Char('\n');
    QProcess p;
    p.start(QStringLiteral("sqlcipher"), { databaseIn(dir) });
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    QList<double> times;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Run Time: real "))
            times << line.mid(15).split(' ').first().toDouble() * 1000.0;
    }
    return median(times);
}

// An X server of our own for the figures "on Xvfb"; none when Xvfb is not
// installed or does not come up.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        int number = 91;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
            || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            ++number;
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(xvfb,
            { QStringLiteral(":%1").arg(number), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24") });
        if (!m_server.waitForStarted(5000))
            return;
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) && t.elapsed() < 10000
            && m_server.state() != QProcess::NotRunning)
            QThread::msleep(20);
        if (m_server.state() == QProcess::Running)
            m_display = QStringLiteral(":%1").arg(number);
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    bool available() const { return !m_display.isEmpty(); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        return env;
    }

private:
    QProcess m_server;
    QString m_display;
};

// ---- the tables ----------------------------------------------------------

// Rows in the order first filled, a cell per size. Costs (times, memory) also
// say how they grow from the smallest size to the largest: the factor and
// the power of n it matches (1 is linear, 0 constant).
class Table {
public:
    enum class Kind { Cost, Plain };
    explicit Table(QList<int> sizes)
        : m_sizes(std::move(sizes))
    {
    }

    void put(const QString &what, int size, double value, int decimals = 1, Kind kind = Kind::Cost)
    {
        auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row &r) { return r.what == what; });
        if (it == m_rows.end()) {
            m_rows.push_back({ what, kind, decimals, {} });
            it = m_rows.end() - 1;
        }
        it->cells[size] = value;
    }

    double value(const QString &what, int size) const
    {
        for (const Row &r : m_rows) {
            if (r.what == what && r.cells.count(size))
                return r.cells.at(size);
        }
        return std::numeric_limits<double>::quiet_NaN();
    }

    void write(QTextStream &out) const
    {
        const int first = m_sizes.first(), last = m_sizes.last();
        const bool growth = m_sizes.size() > 1 && last > first;
        out << "| measure |";
        for (int n : m_sizes)
            out << ' ' << n << " contacts |";
        if (growth)
            out << " growth " << first << " to " << last << " |";
        out << "\n|---|";
        for (int i = 0; i < m_sizes.size() + (growth ? 1 : 0); ++i)
            out << "---:|";
        out << '\n';
        for (const Row &row : m_rows) {
            out << "| " << row.what << " |";
            for (int n : m_sizes)
                out << ' ' << (row.cells.count(n) ? QString::number(row.cells.at(n), 'f', row.decimals) : QString())
                    << " |";
            if (growth)
                out << ' ' << (row.kind == Kind::Cost ? grows(row, first, last) : QString()) << " |";
            out << '\n';
        }
    }

private:
    struct Row {
        QString what;
        Kind kind;
        int decimals;
        std::map<int, double> cells;
    };

    static QString grows(const Row &row, int first, int last)
    {
        if (!row.cells.count(first) || !row.cells.count(last) || row.cells.at(first) <= 0 || row.cells.at(last) <= 0)
            return QString();
        const double factor = row.cells.at(last) / row.cells.at(first);
        const double power = std::log(factor) / std::log(double(last) / first);
        return QStringLiteral("×%1 (n^%2)").arg(factor, 0, 'f', factor < 10 ? 1 : 0).arg(power, 0, 'f', 2);
    }

    QList<int> m_sizes;
    std::vector<Row> m_rows;
};

// A goal: a measure at one size (0: every size measured) held to at most
// `limit` times its anchor, another measure of the table or a fixed figure.
struct Goal {
    QString name;
    int size;
    QString measure;
    QString anchor; // a measure of the table; empty: the fixed figure
    double fixed;
    double limit;
    QString unit;
};

struct GoalOutcome {
    QString line;
    bool met;
};

// One row per goal and size: the measure, its anchor, the ratio, the limit.
QList<GoalOutcome> judge(const QList<Goal> &goals, const Table &table, const QList<int> &sizes,
    const std::function<QString(const Goal &, int)> &anchorFor)
{
    QList<GoalOutcome> out;
    for (const Goal &g : goals) {
        const QList<int> at = g.size ? QList<int> { g.size } : sizes;
        for (int n : at) {
            const QString anchorName = anchorFor(g, n);
            const double measured = table.value(g.measure, n);
            const double anchor = anchorName.isEmpty() ? g.fixed : table.value(anchorName, n);
            // A child that failed reports nothing: a zero is no measurement.
            const bool known = !std::isnan(measured) && measured > 0 && !std::isnan(anchor) && anchor > 0;
            const double ratio = known ? measured / anchor : 0;
            const bool met = known && ratio <= g.limit;
            const QString anchorText = anchorName.isEmpty()
                ? QStringLiteral("%1 %2").arg(g.fixed, 0, 'f', 0).arg(g.unit)
                : std::isnan(anchor) ? anchorName + QStringLiteral(": not measured")
                                     : QStringLiteral("%1: %2 %3").arg(anchorName).arg(anchor, 0, 'f', 1).arg(g.unit);
            const QString line = known ? QStringLiteral("| %1 | %2 | %3 %4 | %5 | %6 | ≤ %7 | %8 |")
                                             .arg(g.name)
                                             .arg(n)
                                             .arg(measured, 0, 'f', 1)
                                             .arg(g.unit, anchorText)
                                             .arg(ratio, 0, 'f', 2)
                                             .arg(g.limit, 0, 'f', 2)
                                             .arg(met ? QStringLiteral("met") : QStringLiteral("**missed**"))
                                       : QStringLiteral("| %1 | %2 | not measured | %3 | | ≤ %4 | **not measured** |")
                                             .arg(g.name)
                                             .arg(n)
                                             .arg(anchorText)
                                             .arg(g.limit, 0, 'f', 2);
            out.push_back({ line, met });
        }
    }
    return out;
}

// ---- the measuring steps, one per part of the program ----------------------

const QString kStartUp = QStringLiteral("start-up to window shown with the list, offscreen (ms)");
const QString kStartUpInline = QStringLiteral("start-up with the key derived in line, no worker, offscreen (ms)");
const QString kStartUpX = QStringLiteral("start-up to window mapped and painted, Xvfb (ms)");
const QString kShellCount = QStringLiteral("sqlcipher shell process: select count(*) from data (ms)");
const QString kShellAll = QStringLiteral("sqlcipher shell process: select * from data (ms)");
const QString kExportVcard = QStringLiteral("export, vCard of the whole table (ms)");
const QString kExportCsv = QStringLiteral("export, CSV of the whole table (ms)");
const QString kImportMem = QStringLiteral("import process peak memory (MB)");
const QString kTool = QStringLiteral("tool process: tongxunlu-db import of the CSV (ms)");
const QString kShellImport = QStringLiteral("sqlcipher shell process: .import of the same CSV (ms)");

// The start-up's anchor: at small sizes the shell's open and count (the key
// derivation is most of both), at larger ones its select of every row.
QString startUpAnchor(int n)
{
    return n <= 1000 ? kShellCount : kShellAll;
}

void measureStartUp(Table &t, const QString &dir, int n, const VirtualDisplay &display)
{
    QList<double> startup, inlineKey, onX, memory, load, shellCount, shellAll;
    for (int r = 0; r < g_runs; ++r) {
        const ChildResult s = child(dir, { QStringLiteral("startup") });
        startup << s.ms;
        memory << s.fields.value(2).toDouble();
        inlineKey << child(dir, { QStringLiteral("startup-inline") }).ms;
        if (display.available())
            onX << child(dir, { QStringLiteral("startup") }, display.environment()).ms;
        load << child(dir, { QStringLiteral("reload") }).ms;
        shellCount << shellProcessMs(dir, QStringLiteral("select count(*) from data;"));
        shellAll << shellProcessMs(dir, QStringLiteral("select * from data;"));
    }
    t.put(kStartUp, n, median(startup));
    t.put(kStartUpInline, n, median(inlineKey));
    if (display.available())
        t.put(kStartUpX, n, median(onX));
    t.put(kShellCount, n, median(shellCount));
    t.put(kShellAll, n, median(shellAll));
    const double anchor = median(startUpAnchor(n) == kShellCount ? shellCount : shellAll);
    t.put(QStringLiteral("ratio start-up / shell (count(*) to 1,000, select * above)"), n, median(startup) / anchor, 2,
        Table::Kind::Plain);
    if (display.available())
        t.put(
            QStringLiteral("ratio start-up on Xvfb / the same shell"), n, median(onX) / anchor, 2, Table::Kind::Plain);
    t.put(QStringLiteral("peak memory with the list loaded (MB)"), n, median(memory));
    t.put(QStringLiteral("load process: start, open, reload, exit (ms)"), n, median(load));
    t.put(QStringLiteral("ratio load process / shell select *"), n, median(load) / median(shellAll), 2,
        Table::Kind::Plain);
}

// The search command as the user gives it: the radio choice, the text, the
// button; then the grid repainted, and back to the whole list.
void timeSearch(int item, const QString &text, QList<double> &command, QList<double> &whole)
{
    frm_Main->RadioGroup1->setItemIndex(item);
    frm_Main->Edit1->setText(text);
    QCoreApplication::processEvents();
    const double commandMs = timeMs([] { frm_Main->BitBtn1Click(); });
    const double paintMs = timeMs([] { QCoreApplication::processEvents(); });
    command << commandMs;
    whole << commandMs + paintMs;
    frm_Main->BitBtn2Click();
    QCoreApplication::processEvents();
}

void measureSearches(Table &t, const QString &dir, int n)
{
    QList<double> reload, repaint, name, nameCommand, mobile, mobileCommand;
    for (int r = 0; r < g_runs; ++r) {
        reload << timeMs([] { Dm->reloadAll(); });
        repaint << timeMs([] { QCoreApplication::processEvents(); });
        timeSearch(0, QStringLiteral("王"), nameCommand, name);
        timeSearch(1, QStringLiteral("138"), mobileCommand, mobile);
    }
    // The shell's timer counts whole milliseconds: a floor of 0.5 ms keeps a
    // ratio meaningful where it reads 0.
    const double shellAll = shellStatementMs(dir, QStringLiteral("select * from data;"));
    const double shellName = shellStatementMs(dir, QStringLiteral("select * from data where 姓名 like '%王%';"));
    const double shellMobile = shellStatementMs(dir, QStringLiteral("select * from data where 手机号码 like '%138%';"));
    t.put(QStringLiteral("reload step: close, clear, add, open (ms)"), n, median(reload));
    t.put(QStringLiteral("shell: select * from data, its own timer (ms)"), n, shellAll);
    t.put(QStringLiteral("ratio ours / shell, reload"), n, median(reload) / std::max(0.5, shellAll), 2,
        Table::Kind::Plain);
    t.put(QStringLiteral("grid repaint after the list changed (ms)"), n, median(repaint));
    t.put(QStringLiteral("search by name \"王\": the command (ms)"), n, median(nameCommand));
    t.put(QStringLiteral("shell: the same like query by name, its own timer (ms)"), n, shellName);
    t.put(QStringLiteral("ratio ours / shell, search by name"), n, median(nameCommand) / std::max(0.5, shellName), 2,
        Table::Kind::Plain);
    t.put(QStringLiteral("search by name: command to grid repainted (ms)"), n, median(name));
    t.put(QStringLiteral("search by mobile \"138\": the command (ms)"), n, median(mobileCommand));
    t.put(QStringLiteral("shell: the same like query by mobile, its own timer (ms)"), n, shellMobile);
    t.put(QStringLiteral("ratio ours / shell, search by mobile"), n, median(mobileCommand) / std::max(0.5, shellMobile),
        2, Table::Kind::Plain);
    t.put(QStringLiteral("search by mobile: command to grid repainted (ms)"), n, median(mobile));
}

void measurePinyin(Table &t, int n)
{
    for (const QString &query : { QStringLiteral("zs"), QStringLiteral("zhangsan") }) {
        QList<double> command, whole, statementMs;
        int found = 0;
        for (int r = 0; r < g_runs; ++r) {
            timeSearch(0, query, command, whole);
            // Without a match the command also reloads the whole list: the
            // statement alone shows what the pinyin match costs.
            const QString panel = frm_Main->panelText(1);
            found = panel.mid(4, panel.size() - 8).toInt();
            txl::Query statement;
            statement.setConnection(Dm->scon);
            statement.addSql(QStringLiteral("select * from data where 姓名 like :p0 or pinyin_match(姓名, :p1)"));
            statement.setParam(QStringLiteral("p0"), QLatin1Char('%') + query + QLatin1Char('%'));
            statement.setParam(QStringLiteral("p1"), query);
            statementMs << timeMs([&] { statement.open(); });
        }
        const QString what = QStringLiteral("search by pinyin \"%1\": ").arg(query);
        t.put(what + QStringLiteral("the command (ms)"), n, median(command));
        t.put(what + QStringLiteral("command to grid repainted (ms)"), n, median(whole));
        t.put(what + QStringLiteral("contacts found"), n, found, 0, Table::Kind::Plain);
        t.put(what + QStringLiteral("the statement alone, open (ms)"), n, median(statementMs));
    }
}

void measureEdits(Table &t, int n)
{
    txl::ui::BoxRecorder boxes;
    QList<double> add, modify, remove;
    for (int r = 0; r < g_runs; ++r) {
        Tfrm_Add adding;
        adding.setWindowTitle(QStringLiteral("添加好友"));
        adding.Edit1->setText(QStringLiteral("测试%1").arg(r));
        adding.ComboBox2->setCurrentIndex(0);
        add << timeMs([&] {
            adding.BitBtn1Click();
            QCoreApplication::processEvents();
        });

        Dm->addquery->setRecNo(Dm->addquery->recordCount() / 2);
        Tfrm_Add modifying;
        modifying.GroupBox1->setTitle(QStringLiteral("修改"));
        modifying.BitBtn1->setText(QStringLiteral("修改"));
        modifying.Edit1->setText(Dm->addquery->fieldByName(QStringLiteral("姓名")));
        modifying.ComboBox1->setEditText(Dm->addquery->fieldByName(QStringLiteral("性别")));
        modifying.Edit2->setText(QStringLiteral("1390000%1").arg(r, 4, 10, QLatin1Char('0')));
        modifying.ComboBox2->setCurrentIndex(1);
        modify << timeMs([&] {
            modifying.BitBtn1Click();
            QCoreApplication::processEvents();
        });

        Dm->addquery->setRecNo(Dm->addquery->recordCount() / 3);
        boxes.queueAnswer(true);
        remove << timeMs([] {
            frm_Main->ToolButton3Click();
            QCoreApplication::processEvents();
        });
    }
    t.put(QStringLiteral("add: duplicate check, insert, reload (ms)"), n, median(add));
    t.put(QStringLiteral("modify: edit, post (ms)"), n, median(modify));
    t.put(QStringLiteral("delete: question answered, row deleted (ms)"), n, median(remove));
}

// In-process figures, on the real main window.
void measureInWindow(Table &t, const QString &dir, int n)
{
    QDir::setCurrent(dir);
    txl::ui::BoxRecorder boxes;
    Dm = new TDm;
    frm_Main = new Tfrm_Main;
    frm_Main->show();
    QCoreApplication::processEvents();
    measureSearches(t, dir, n);
    measurePinyin(t, n);
    measureEdits(t, n);
    delete frm_Main;
    frm_Main = nullptr;
    delete Dm;
    Dm = nullptr;
}

void measureReport(Table &t, const QString &dir, int n)
{
    QList<double> ms, memory;
    int pages = 0;
    for (int r = 0; r < g_runs; ++r) {
        const ChildResult c = child(dir, { QStringLiteral("report") });
        pages = c.fields.value(1).toInt();
        ms << c.fields.value(2).toDouble();
        memory << c.fields.value(4).toDouble();
    }
    t.put(QStringLiteral("report layout, whole list (ms)"), n, median(ms));
    t.put(QStringLiteral("report pages"), n, pages, 0, Table::Kind::Plain);
    t.put(QStringLiteral("report pages per second"), n, pages / std::max(0.001, median(ms) / 1000.0), 0,
        Table::Kind::Plain);
    t.put(QStringLiteral("report process peak memory (MB)"), n, median(memory));
}

// The shell's .import knows no --skip: it reads the rows without our header.
QString rowsWithoutHeader(const QString &csv)
{
    const QString rows = csv + QStringLiteral(".rows");
    QFile in(csv), out(rows);
    if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly)) {
        in.readLine();
        out.write(in.readAll());
    }
    return rows;
}

double processMs(const QString &program, const QStringList &args, const QByteArray &input = QByteArray())
{
    return timeMs([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(program, args);
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(-1);
    });
}

// Contacts out and back in: the whole table as vCard and as CSV, the CSV into
// a fresh empty file by the window's routine and by the tool, beside the
// shell's .import of the same rows.
void measureExchange(Table &t, const QTemporaryDir &tmp, const QString &dir, int n)
{
    const QString vcf = tmp.filePath(QStringLiteral("out-%1.vcf").arg(n));
    const QString csv = tmp.filePath(QStringLiteral("out-%1.csv").arg(n));
    const QString tool
        = QDir(QFileInfo(g_self).absolutePath()).absoluteFilePath(QStringLiteral("../tools/tongxunlu-db"));
    QList<double> vcard, csvMs, import, importMem, byTool, byShell;
    QString rows;
    for (int r = 0; r < g_runs; ++r) {
        vcard << child(dir, { QStringLiteral("export"), vcf }).fields.value(2).toDouble();
        csvMs << child(dir, { QStringLiteral("export"), csv }).fields.value(2).toDouble();
        if (rows.isEmpty())
            rows = rowsWithoutHeader(csv);
        const QString empty = tmp.filePath(QStringLiteral("import-%1-%2").arg(n).arg(r));
        ContactFile::create(empty);
        const ChildResult c = child(empty, { QStringLiteral("import"), csv });
        import << c.fields.value(2).toDouble();
        importMem << c.fields.value(3).toDouble();

        const QString toolDir = tmp.filePath(QStringLiteral("tool-%1-%2").arg(n).arg(r));
        ContactFile::create(toolDir);
        byTool << processMs(tool, { QStringLiteral("import"), csv, toolDir });
        const QString shellDir = tmp.filePath(QStringLiteral("shell-%1-%2").arg(n).arg(r));
        ContactFile::create(shellDir);
        const QString script
            = kKey + QStringLiteral("\nselect count(*) from sqlite_master;\n.mode csv\n.import '%1' data\n").arg(rows);
        byShell << processMs(QStringLiteral("sqlcipher"), { databaseIn(shellDir) }, script.toUtf8());
    }
    t.put(kExportVcard, n, median(vcard));
    t.put(kExportCsv, n, median(csvMs));
    t.put(QStringLiteral("import of that CSV into an empty file (ms)"), n, median(import));
    t.put(kImportMem, n, median(importMem));
    t.put(kTool, n, median(byTool));
    t.put(kShellImport, n, median(byShell));
    t.put(QStringLiteral("ratio tool / shell, import"), n, median(byTool) / std::max(0.5, median(byShell)), 2,
        Table::Kind::Plain);
}

struct Options {
    QList<int> sizes { 1000, 10000, 100000 };
    QString outFile;
    bool check = false;
    bool sizeRows = true;
    bool syncRows = true;
};

Options parseOptions(const QStringList &raw)
{
    Options o;
    for (int i = 1; i < raw.size(); ++i) {
        if (raw.at(i) == QStringLiteral("--sizes") && i + 1 < raw.size()) {
            o.sizes.clear();
            for (const QString &s : raw.at(++i).split(QLatin1Char(',')))
                o.sizes << s.toInt();
            std::sort(o.sizes.begin(), o.sizes.end());
        } else if (raw.at(i) == QStringLiteral("--runs") && i + 1 < raw.size()) {
            g_runs = std::max(1, raw.at(++i).toInt());
        } else if (raw.at(i) == QStringLiteral("--out") && i + 1 < raw.size()) {
            o.outFile = raw.at(++i);
        } else if (raw.at(i) == QStringLiteral("--check")) {
            o.check = true;
        } else if (raw.at(i) == QStringLiteral("--sync-only")) {
            o.sizeRows = false;
        } else if (raw.at(i) == QStringLiteral("--no-sync")) {
            o.syncRows = false;
        }
    }
    return o;
}

const QList<Goal> &goals()
{
    static const QList<Goal> list {
        { QStringLiteral("start-up, offscreen"), 0, kStartUp, QStringLiteral("shell"), 0, 1.2, QStringLiteral("ms") },
        { QStringLiteral("import of 100,000: tool process"), 100000, kTool, kShellImport, 0, 1.5,
            QStringLiteral("ms") },
        { QStringLiteral("import of 100,000: peak memory"), 100000, kImportMem, QString(), 60, 1.0,
            QStringLiteral("MB") },
        { QStringLiteral("export of 100,000 as vCard"), 100000, kExportVcard, QString(), 300, 1.0,
            QStringLiteral("ms") },
        { QStringLiteral("export of 100,000 as CSV"), 100000, kExportCsv, QString(), 200, 1.0, QStringLiteral("ms") },
    };
    return list;
}

// ---- sync with a CardDAV server ---------------------------------------------

const QList<Goal> &syncGoals()
{
    static const QList<Goal> list {
        { QStringLiteral("sync with nothing changed: the tool's own share"), 10000, syncbench::kNothingChangedOwn,
            QString(), 200, 1.0, QStringLiteral("ms") },
        { QStringLiteral("sync process peak memory"), 10000, syncbench::kPeakMemory, QString(), 100, 1.0,
            QStringLiteral("MB") },
    };
    return list;
}

// The sync rows, once and at 10,000 contacts whatever the sizes: the text of
// their section, their goals judged into `outcomes`.
QString measureSync(QList<GoalOutcome> &outcomes)
{
    QTextStream(stderr) << "measuring sync with a local Radicale, beside vdirsyncer...\n";
    const QString tool
        = QDir(QFileInfo(g_self).absolutePath()).absoluteFilePath(QStringLiteral("../tools/tongxunlu-db"));
    const syncbench::Result result = syncbench::measure(tool, g_runs);
    Table judged({ 10000 });
    for (const syncbench::Row &row : result.rows)
        judged.put(row.what, 10000, row.ours.value, row.decimals);
    outcomes += judge(syncGoals(), judged, { 10000 }, [](const Goal &g, int) { return g.anchor; });

    QString text;
    QTextStream out(&text);
    out << "\n## Sync with a CardDAV server, beside vdirsyncer\n\n";
    if (!result.setting.isEmpty())
        out << result.setting << ". ";
    out << "Whole processes, medians; a row runs --runs times, fewer when its runs would take more than half a "
           "minute together. --sizes does not change these rows.\n\n";
    if (!result.failure.isEmpty())
        out << "**" << result.failure << "**\n\n";
    if (result.rows.isEmpty())
        return text;
    const auto cell = [](const syncbench::Figure &f, int decimals) {
        return f.runs == 0        ? QStringLiteral("–")
            : std::isnan(f.value) ? QStringLiteral("not measured")
                                  : QString::number(f.value, 'f', decimals);
    };
    out << "| measure | tongxunlu-db sync | runs | vdirsyncer sync | runs | ours / vdirsyncer |\n"
           "|---|---:|---:|---:|---:|---:|\n";
    for (const syncbench::Row &row : result.rows) {
        const bool both = !std::isnan(row.ours.value) && !std::isnan(row.peer.value) && row.peer.value > 0;
        out << "| " << row.what << " | " << cell(row.ours, row.decimals) << " | " << row.ours.runs << " | "
            << cell(row.peer, row.decimals) << " | " << row.peer.runs << " | "
            << (row.ratio && both ? QString::number(row.ours.value / row.peer.value, 'f', 2) : QString()) << " |\n";
    }
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 3 && std::strcmp(argv[1], "--child") == 0 && std::strcmp(argv[2], "spawn") == 0)
        return syncbench::spawnMeasured(argc - 3, argv + 3);
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QStringList args;
        for (int i = 3; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        return runChild(argc, argv, QString::fromLocal8Bit(argv[2]), args);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_self = QCoreApplication::applicationFilePath();
    const Options options = parseOptions(QCoreApplication::arguments());
    const QString loadBefore = loadAverage();

    QTemporaryDir tmp;
    const VirtualDisplay display;
    Table table(options.sizes);
    for (int n : options.sizeRows ? options.sizes : QList<int>()) {
        const QString dir = tmp.filePath(QString::number(n));
        samples::createContactsFile(dir, n);
        QTextStream(stderr) << "measuring " << n << " contacts...\n";
        measureStartUp(table, dir, n, display);
        measureInWindow(table, dir, n);
        measureReport(table, dir, n);
        measureExchange(table, tmp, dir, n);
    }

    QList<GoalOutcome> outcomes;
    if (options.sizeRows)
        outcomes = judge(goals(), table, options.sizes,
            [](const Goal &g, int n) { return g.anchor == QStringLiteral("shell") ? startUpAnchor(n) : g.anchor; });
    const QString syncSection = options.syncRows ? measureSync(outcomes) : QString();
    const bool allMet = std::all_of(outcomes.begin(), outcomes.end(), [](const GoalOutcome &o) { return o.met; });

    QString text;
    QTextStream out(&text);
    out << "Machine: " << QSysInfo::prettyProductName() << ", " << QSysInfo::currentCpuArchitecture() << ", "
        << QThread::idealThreadCount() << " cores; medians of " << g_runs << " runs; load average (1, 5, 15 min) "
        << loadBefore << " before the run, " << loadAverage() << " after it"
        << (display.available() ? "" : "; no Xvfb, so no figures on it") << ".\n\n";
    out << "## Goals\n\n| goal | contacts | measured | anchor | ratio | goal | |\n|---|---:|---:|---|---:|---:|---|\n";
    for (const GoalOutcome &o : outcomes)
        out << o.line << '\n';
    if (options.sizeRows) {
        out << "\n## Every measure\n\n";
        table.write(out);
    }
    out << syncSection;
    out.flush();
    std::fputs(text.toUtf8().constData(), stdout);
    if (!options.outFile.isEmpty()) {
        QFile f(options.outFile);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    }
    if (options.check && !allMet) {
        std::fputs("txl-bench: a goal is missed or was not measured\n", stderr);
        return 1;
    }
    return 0;
}
