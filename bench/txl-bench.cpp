// Measures the program's costs at several list sizes, beside the sqlcipher
// shell doing the same reads on the same files, and prints a table.
//
//   txl-bench [--sizes 1000,10000,100000] [--runs 5] [--out FILE]
//
// Whole-process figures run this program again as a child (--child ...), so
// each start is a fresh process as the user's would be.
#include "contacts/Unit_add.h"
#include "exchange/Exchange.h"
#include "platform/data/Query.h"
#include "platform/report/Report.h"
#include "platform/ui/Dialogs.h"
#include "report/Unit_print.h"
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
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

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

const QString kKey
    = QStringLiteral("PRAGMA key='%1'; %2 ").arg(ContactFile::password(), txl::Connection::cipherPragmas());

// Whole process of the sqlcipher shell, its output thrown away as a user's
// "> /dev/null" would.
double shellProcessMs(const QString &dir, const QString &sql)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlcipher"), { QDir(dir).absoluteFilePath(ContactFile::relativePath()), kKey + sql });
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
    p.start(QStringLiteral("sqlcipher"), { QDir(dir).absoluteFilePath(ContactFile::relativePath()) });
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

// Our own whole process: start, show or load, exit. Returns the time to the
// child's "ready" line and the child's reported figures.
struct ChildResult {
    double ms = 0;
    QStringList fields;
};

ChildResult child(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
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

int runChild(const QStringList &args)
{
    const QString mode = args.value(0);
    QDir::setCurrent(args.value(1));
    txl::ui::BoxRecorder boxes;
    Dm = new TDm;
    if (mode == QStringLiteral("startup")) {
        frm_Main = new Tfrm_Main;
        frm_Main->show();
        QCoreApplication::processEvents();
        frm_Main->repaint(); // the grid painted with the list
        std::printf("ready %d %.1f\n", Dm->addquery->recordCount(), peakMb());
    } else if (mode == QStringLiteral("reload")) {
        Dm->reloadAll();
        std::printf("ready %d %.1f\n", Dm->addquery->recordCount(), peakMb());
    } else if (mode == QStringLiteral("import") || mode == QStringLiteral("export")) {
        // Key derivation is start-up's cost, measured apart: the connection
        // opens before the clock starts.
        Dm->scon->open();
        const QString file = args.value(2);
        double ms = 0;
        int count = 0;
        if (mode == QStringLiteral("import")) {
            ms = timeMs([&] {
                store::ContactTable table = Dm->contactTable();
                count = exchange::importFile(table, file, false).imported;
            });
        } else {
            const auto format = exchange::formatForPath(file);
            ms = timeMs([&] {
                const exchange::ContactRecords rows = exchange::recordsOf(Dm->contactTable().all());
                exchange::exportFile(file, rows, format);
                count = static_cast<int>(rows.size());
            });
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
    delete frm_Main;
    frm_Main = nullptr;
    delete Dm;
    Dm = nullptr;
    return 0;
}

struct Row {
    QString what;
    QList<QString> cells; // one per size
};

} // namespace

int main(int argc, char *argv[])
{
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (raw.value(1) == QStringLiteral("--child")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Loading the list needs no windows: that child is as bare a
        // process as the shell it is compared with.
        if (raw.value(2) == QStringLiteral("reload") || raw.value(2) == QStringLiteral("import")
            || raw.value(2) == QStringLiteral("export")) {
            QCoreApplication app(argc, argv);
            return runChild(raw.mid(2));
        }
        QApplication app(argc, argv);
        return runChild(raw.mid(2));
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_self = QCoreApplication::applicationFilePath();

    QList<int> sizes { 1000, 10000, 100000 };
    QString outFile;
    for (int i = 1; i < raw.size(); ++i) {
        if (raw.at(i) == QStringLiteral("--sizes") && i + 1 < raw.size()) {
            sizes.clear();
            for (const QString &s : raw.at(++i).split(QLatin1Char(',')))
                sizes << s.toInt();
        } else if (raw.at(i) == QStringLiteral("--runs") && i + 1 < raw.size()) {
            g_runs = std::max(1, raw.at(++i).toInt());
        } else if (raw.at(i) == QStringLiteral("--out") && i + 1 < raw.size()) {
            outFile = raw.at(++i);
        }
    }

    QTemporaryDir tmp;
    QList<Row> table {
        { QStringLiteral("start-up to window shown with the list (ms)"), {} },
        { QStringLiteral("peak memory with the list loaded (MB)"), {} },
        { QStringLiteral("load process: start, open, reload, exit (ms)"), {} },
        { QStringLiteral("sqlcipher shell process: select * from data (ms)"), {} },
        { QStringLiteral("ratio ours / shell, whole process"), {} },
        { QStringLiteral("reload step: close, clear, add, open (ms)"), {} },
        { QStringLiteral("shell: select * from data, its own timer (ms)"), {} },
        { QStringLiteral("ratio ours / shell, reload"), {} },
        { QStringLiteral("grid repaint after the list changed (ms)"), {} },
        { QStringLiteral("search by name \"王\": the command (ms)"), {} },
        { QStringLiteral("shell: the same like query, its own timer (ms)"), {} },
        { QStringLiteral("ratio ours / shell, search by name"), {} },
        { QStringLiteral("search by name: command to grid repainted (ms)"), {} },
        { QStringLiteral("search by mobile \"138\": the command (ms)"), {} },
        { QStringLiteral("shell: the same like query, its own timer (ms)"), {} },
        { QStringLiteral("ratio ours / shell, search by mobile"), {} },
        { QStringLiteral("search by mobile: command to grid repainted (ms)"), {} },
        { QStringLiteral("add: duplicate check, insert, reload (ms)"), {} },
        { QStringLiteral("modify: edit, post (ms)"), {} },
        { QStringLiteral("delete: question answered, row deleted (ms)"), {} },
        { QStringLiteral("report layout, whole list (ms)"), {} },
        { QStringLiteral("report pages"), {} },
        { QStringLiteral("report pages per second"), {} },
        { QStringLiteral("report process peak memory (MB)"), {} },
        { QStringLiteral("search by pinyin \"zs\": the command (ms)"), {} },
        { QStringLiteral("search by pinyin \"zs\": command to grid repainted (ms)"), {} },
        { QStringLiteral("search by pinyin \"zs\": contacts found"), {} },
        { QStringLiteral("search by pinyin \"zs\": the statement alone, open (ms)"), {} },
        { QStringLiteral("search by pinyin \"zhangsan\": the command (ms)"), {} },
        { QStringLiteral("search by pinyin \"zhangsan\": command to grid repainted (ms)"), {} },
        { QStringLiteral("search by pinyin \"zhangsan\": contacts found"), {} },
        { QStringLiteral("search by pinyin \"zhangsan\": the statement alone, open (ms)"), {} },
        { QStringLiteral("export, vCard of the whole table (ms)"), {} },
        { QStringLiteral("export, CSV of the whole table (ms)"), {} },
        { QStringLiteral("import of that CSV into an empty file (ms)"), {} },
        { QStringLiteral("import process peak memory (MB)"), {} },
        { QStringLiteral("tool process: tongxunlu-db import of the CSV (ms)"), {} },
        { QStringLiteral("sqlcipher shell process: .import of the same CSV (ms)"), {} },
        { QStringLiteral("ratio tool / shell, import"), {} },
    };
    auto put = [&](int row, double v, int decimals = 1) { table[row].cells << QString::number(v, 'f', decimals); };

    for (int n : sizes) {
        const QString dir = tmp.filePath(QString::number(n));
        samples::createContactsFile(dir, n);
        QTextStream(stderr) << "measuring " << n << " contacts...\n";

        QList<double> startup, startupMem, load, shell;
        for (int r = 0; r < g_runs; ++r) {
            const ChildResult s = child({ QStringLiteral("startup"), dir });
            startup << s.ms;
            startupMem << s.fields.value(2).toDouble();
            load << child({ QStringLiteral("reload"), dir }).ms;
            shell << shellProcessMs(dir, QStringLiteral("select * from data;"));
        }
        const double shellAll = shellStatementMs(dir, QStringLiteral("select * from data;"));
        const double shellName = shellStatementMs(dir, QStringLiteral("select * from data where 姓名 like '%王%';"));
        const double shellMobile
            = shellStatementMs(dir, QStringLiteral("select * from data where 手机号码 like '%138%';"));
        put(0, median(startup));
        put(1, median(startupMem));
        put(2, median(load));
        put(3, median(shell));
        put(4, median(load) / median(shell), 2);

        // In-process figures, on the real main window.
        QDir::setCurrent(dir);
        txl::ui::BoxRecorder boxes;
        Dm = new TDm;
        frm_Main = new Tfrm_Main;
        frm_Main->show();
        QCoreApplication::processEvents();

        QList<double> reloadMs, repaintMs, nameMs, nameCommandMs, mobileMs, mobileCommandMs, addMs, modifyMs, deleteMs;
        // Per pinyin query: the command, to repainted, the statement alone.
        QList<double> pinyinMs[2][3];
        int pinyinFound[2] = { 0, 0 };
        const QString pinyinQueries[2] = { QStringLiteral("zs"), QStringLiteral("zhangsan") };
        for (int r = 0; r < g_runs; ++r) {
            reloadMs << timeMs([] { Dm->reloadAll(); });
            repaintMs << timeMs([] { QCoreApplication::processEvents(); });
            auto search = [&](int item, const QString &text, QList<double> *command, QList<double> *whole) {
                frm_Main->RadioGroup1->setItemIndex(item);
                frm_Main->Edit1->setText(text);
                QCoreApplication::processEvents();
                const double commandMs = timeMs([] { frm_Main->BitBtn1Click(); });
                const double paintMs = timeMs([] { QCoreApplication::processEvents(); });
                *command << commandMs;
                *whole << commandMs + paintMs;
                frm_Main->BitBtn2Click();
                QCoreApplication::processEvents();
            };
            search(0, QStringLiteral("王"), &nameCommandMs, &nameMs);
            search(1, QStringLiteral("138"), &mobileCommandMs, &mobileMs);
            for (int q = 0; q < 2; ++q) {
                search(0, pinyinQueries[q], &pinyinMs[q][0], &pinyinMs[q][1]);
                // Without a match the command also reloads the whole list:
                // the statement alone shows what the pinyin match costs.
                const QString panel = frm_Main->panelText(1);
                pinyinFound[q] = panel.mid(4, panel.size() - 8).toInt();
                txl::Query statement;
                statement.setConnection(Dm->scon);
                statement.addSql(QStringLiteral("select * from data where 姓名 like :p0 or pinyin_match(姓名, :p1)"));
                statement.setParam(QStringLiteral("p0"), QLatin1Char('%') + pinyinQueries[q] + QLatin1Char('%'));
                statement.setParam(QStringLiteral("p1"), pinyinQueries[q]);
                pinyinMs[q][2] << timeMs([&] { statement.open(); });
            }

            Tfrm_Add add;
            add.setWindowTitle(QStringLiteral("添加好友"));
            add.Edit1->setText(QStringLiteral("测试%1").arg(r));
            add.ComboBox2->setCurrentIndex(0);
            addMs << timeMs([&] {
                add.BitBtn1Click();
                QCoreApplication::processEvents();
            });

            Dm->addquery->setRecNo(Dm->addquery->recordCount() / 2);
            Tfrm_Add modify;
            modify.GroupBox1->setTitle(QStringLiteral("修改"));
            modify.BitBtn1->setText(QStringLiteral("修改"));
            modify.Edit1->setText(Dm->addquery->fieldByName(QStringLiteral("姓名")));
            modify.ComboBox1->setEditText(Dm->addquery->fieldByName(QStringLiteral("性别")));
            modify.Edit2->setText(QStringLiteral("1390000%1").arg(r, 4, 10, QLatin1Char('0')));
            modify.ComboBox2->setCurrentIndex(1);
            modifyMs << timeMs([&] {
                modify.BitBtn1Click();
                QCoreApplication::processEvents();
            });

            Dm->addquery->setRecNo(Dm->addquery->recordCount() / 3);
            boxes.queueAnswer(true);
            deleteMs << timeMs([] {
                frm_Main->ToolButton3Click();
                QCoreApplication::processEvents();
            });
        }
        delete frm_Main;
        frm_Main = nullptr;
        delete Dm;
        Dm = nullptr;

        put(5, median(reloadMs));
        // The shell's timer counts whole milliseconds: a floor of 0.5 ms
        // keeps a ratio meaningful where it reads 0.
        put(6, shellAll);
        put(7, median(reloadMs) / std::max(0.5, shellAll), 2);
        put(8, median(repaintMs));
        put(9, median(nameCommandMs));
        put(10, shellName);
        put(11, median(nameCommandMs) / std::max(0.5, shellName), 2);
        put(12, median(nameMs));
        put(13, median(mobileCommandMs));
        put(14, shellMobile);
        put(15, median(mobileCommandMs) / std::max(0.5, shellMobile), 2);
        put(16, median(mobileMs));
        put(17, median(addMs));
        put(18, median(modifyMs));
        put(19, median(deleteMs));

        QList<double> reportMs, reportMem;
        int pages = 0;
        for (int r = 0; r < g_runs; ++r) {
            const ChildResult c = child({ QStringLiteral("report"), dir });
            pages = c.fields.value(1).toInt();
            reportMs << c.fields.value(2).toDouble();
            reportMem << c.fields.value(4).toDouble();
        }
        put(20, median(reportMs));
        put(21, pages, 0);
        put(22, pages / std::max(0.001, median(reportMs) / 1000.0), 0);
        put(23, median(reportMem));
        for (int q = 0; q < 2; ++q) {
            put(24 + 4 * q, median(pinyinMs[q][0]));
            put(25 + 4 * q, median(pinyinMs[q][1]));
            put(26 + 4 * q, pinyinFound[q], 0);
            put(27 + 4 * q, median(pinyinMs[q][2]));
        }

        // Contacts out and back in: the whole table as vCard and as CSV, the
        // CSV into a fresh empty file, beside the shell's .import of it.
        const QString vcf = tmp.filePath(QStringLiteral("out-%1.vcf").arg(n));
        const QString csv = tmp.filePath(QStringLiteral("out-%1.csv").arg(n));
        QList<double> vcardMs, csvMs, importMs, importMem, toolMs, shellImportMs;
        const QString tool
            = QDir(QFileInfo(g_self).absolutePath()).absoluteFilePath(QStringLiteral("../tools/tongxunlu-db"));
        for (int r = 0; r < g_runs; ++r) {
            vcardMs << child({ QStringLiteral("export"), dir, vcf }).fields.value(2).toDouble();
            csvMs << child({ QStringLiteral("export"), dir, csv }).fields.value(2).toDouble();
            const QString empty = tmp.filePath(QStringLiteral("import-%1-%2").arg(n).arg(r));
            samples::createContactsFile(empty, 0);
            const ChildResult c = child({ QStringLiteral("import"), empty, csv });
            importMs << c.fields.value(2).toDouble();
            importMem << c.fields.value(3).toDouble();

            const QString byTool = tmp.filePath(QStringLiteral("tool-%1-%2").arg(n).arg(r));
            samples::createContactsFile(byTool, 0);
            toolMs << timeMs([&] {
                QProcess p;
                p.setStandardOutputFile(QProcess::nullDevice());
                p.setStandardErrorFile(QProcess::nullDevice());
                p.start(tool, { QStringLiteral("import"), csv, byTool });
                p.waitForFinished(-1);
            });
            const QString byShell = tmp.filePath(QStringLiteral("shell-%1-%2").arg(n).arg(r));
            samples::createContactsFile(byShell, 0);
            // This shell's .import knows no --skip: it reads the rows without
            // our header line.
            const QString rowsOnly = csv + QStringLiteral(".rows");
            if (!QFile::exists(rowsOnly)) {
                QFile in(csv), out(rowsOnly);
                if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly)) {
                    in.readLine();
                    out.write(in.readAll());
                }
            }
            const QString script = kKey
                + QStringLiteral("\nselect count(*) from sqlite_master;\n.mode csv\n.import '%1' data\n").arg(rowsOnly);
            shellImportMs << timeMs([&] {
                QProcess p;
                p.setStandardOutputFile(QProcess::nullDevice());
                p.start(QStringLiteral("sqlcipher"), { QDir(byShell).absoluteFilePath(ContactFile::relativePath()) });
                p.write(script.toUtf8());
                p.closeWriteChannel();
                p.waitForFinished(-1);
            });
        }
        put(32, median(vcardMs));
        put(33, median(csvMs));
        put(34, median(importMs));
        put(35, median(importMem));
        put(36, median(toolMs));
        put(37, median(shellImportMs));
        put(38, median(toolMs) / std::max(0.5, median(shellImportMs)), 2);
    }

    QString text;
    QTextStream out(&text);
    out << "Machine: " << QSysInfo::prettyProductName() << ", " << QSysInfo::currentCpuArchitecture() << ", "
        << QThread::idealThreadCount() << " cores; medians of " << g_runs << " runs.\n\n";
    out << "| measure |";
    for (int n : sizes)
        out << ' ' << n << " contacts |";
    out << "\n|---|";
    for (int i = 0; i < sizes.size(); ++i)
        out << "---:|";
    out << '\n';
    for (const Row &row : table) {
        out << "| " << row.what << " |";
        for (const QString &c : row.cells)
            out << ' ' << c << " |";
        out << '\n';
    }
    out.flush();
    std::fputs(text.toUtf8().constData(), stdout);
    if (!outFile.isEmpty()) {
        QFile f(outFile);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    }
    return 0;
}
