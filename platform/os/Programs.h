#pragma once

#include <QString>
#include <QStringList>

namespace txl::os {

// The operating-system calls the calculator launcher needs. The places are
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

// Desktop calculators looked for, in this order, in each place.
const QStringList &calculatorNames();

// The first calculator of the list in the first place, else in the second;
// empty when neither has one.
QString findCalculator(ProgramHost &host);

// Finds the calculator and starts it; false (nothing started) when none was
// found.
bool startCalculator(ProgramHost &host = programHost());

} // namespace txl::os
