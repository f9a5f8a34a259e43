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
    // True for a file or a directory of that path, whatever its attributes.
    virtual bool exists(const QString &path);
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
