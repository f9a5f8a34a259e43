#pragma once

#include <QString>
#include <QStringList>

namespace txl::os {

// The operating-system calls for finding and starting a program. The places are
// asked for only when the search reaches them, so a test can tell which
// were consulted; tests also point them at folders of their own.
class ProgramHost {
public:
    virtual ~ProgramHost();

    // The system's program directory (the first place searched).
    virtual QString systemDirectory();
    // The second place, searched only when the first has no calculator.
    virtual QString secondDirectory();
    // The path of the program `name` in `directory` when it is a file the
    // user may run (the executable bit set); else empty.
    virtual QString executableIn(const QString &directory, const QString &name);
    // Starts the program on its own: no arguments, not waited for, result
    // not examined.
    virtual void startDetached(const QString &program);
};

// The host used by the program; tests may install their own (nullptr puts
// the real one back). Returns the host that was installed before.
ProgramHost &programHost();
ProgramHost *setProgramHost(ProgramHost *host);

// The first of `names` found in the system's program directory, else in the
// second place; empty when neither has one.
QString findProgram(ProgramHost &host, const QStringList &names);

} // namespace txl::os
