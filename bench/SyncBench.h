#pragma once

#include <QList>
#include <QString>

// The sync rows of the bench: `tongxunlu-db sync` against a throw-away
// Radicale on this computer, beside Debian's vdirsyncer syncing the same
// kind of address book to a folder. Whole processes, medians.
namespace syncbench {

struct Figure {
    double value = 0; // NaN: not measured
    int runs = 0;
};

struct Row {
    QString what;
    Figure ours; // tongxunlu-db sync
    Figure peer; // vdirsyncer sync
    int decimals = 1;
    bool ratio = true; // a ratio ours / peer says something
};

struct Result {
    QString setting; // the servers' and the peer's versions, how they run
    QString failure; // why nothing (or not everything) was measured
    QList<Row> rows;
    double value(const QString &what) const; // ours; NaN when absent
};

// The measures by name: the goals look them up.
extern const QString kNothingChanged;
extern const QString kNothingChangedOwn;
extern const QString kPeakMemory;

// tool: the tongxunlu-db to measure. Each row runs up to `runs` times, fewer
// when its runs would take more than about half a minute together.
Result measure(const QString &tool, int runs);

// The bench's "--child spawn RESULT PROGRAM ARGS..." mode, given RESULT and
// what follows: runs the program with this process's standard input and
// output, and writes its wall-clock milliseconds, peak resident memory (KB)
// and exit status into the file RESULT. Started before any Qt object, it is a
// small process, so the kernel's peak for its child is the child's own.
int spawnMeasured(int argc, char *argv[]);

} // namespace syncbench
