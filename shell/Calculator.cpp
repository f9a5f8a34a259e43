#include "shell/Calculator.h"

const QStringList &calculatorNames()
{
    static const QStringList names {
        QStringLiteral("gnome-calculator"),
        QStringLiteral("kcalc"),
        QStringLiteral("galculator"),
        QStringLiteral("mate-calc"),
        QStringLiteral("qalculate-gtk"),
        QStringLiteral("qalculate-qt"),
        QStringLiteral("xcalc"),
    };
    return names;
}

bool startCalculator(txl::os::ProgramHost &host)
{
    const QString program = txl::os::findProgram(host, calculatorNames());
    if (program.isEmpty())
        return false;
    host.startDetached(program);
    return true;
}
