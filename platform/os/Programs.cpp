#include "platform/os/Programs.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace txl::os {

namespace {
ProgramHost *g_host = nullptr;

ProgramHost &realHost()
{
    static ProgramHost host;
    return host;
}

QString calculatorIn(ProgramHost &host, const QString &directory)
{
    // An unknown place has nothing in it; a bare name would otherwise be
    // looked up against the working directory.
    if (directory.isEmpty())
        return QString();
    for (const QString &name : calculatorNames()) {
        const QString path = QDir(directory).filePath(name);
        if (host.exists(path))
            return path;
    }
    return QString();
}
} // namespace

ProgramHost::~ProgramHost() = default;

QString ProgramHost::systemDirectory()
{
    return QStringLiteral("/usr/bin");
}

QString ProgramHost::secondDirectory()
{
    return QStringLiteral("/usr/local/bin");
}

bool ProgramHost::exists(const QString &path)
{
    return QFileInfo::exists(path);
}

void ProgramHost::startDetached(const QString &program)
{
    QProcess::startDetached(program, QStringList());
}

ProgramHost &programHost()
{
    return g_host ? *g_host : realHost();
}

ProgramHost *setProgramHost(ProgramHost *host)
{
    ProgramHost *before = g_host;
    g_host = host;
    return before;
}

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

QString findCalculator(ProgramHost &host)
{
    const QString first = calculatorIn(host, host.systemDirectory());
    if (!first.isEmpty())
        return first;
    return calculatorIn(host, host.secondDirectory());
}

bool startCalculator(ProgramHost &host)
{
    const QString program = findCalculator(host);
    if (program.isEmpty())
        return false;
    host.startDetached(program);
    return true;
}

} // namespace txl::os
