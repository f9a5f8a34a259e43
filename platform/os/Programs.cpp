#include "platform/os/Programs.h"

#include <QProcess>
#include <QStandardPaths>

namespace txl::os {

namespace {
ProgramHost *g_host = nullptr;

ProgramHost &realHost()
{
    static ProgramHost host;
    return host;
}

QString programIn(ProgramHost &host, const QString &directory, const QStringList &names)
{
    // An unknown place has nothing in it; asked with no folder, the search
    // would go through PATH instead.
    if (directory.isEmpty())
        return QString();
    for (const QString &name : names) {
        const QString path = host.executableIn(directory, name);
        if (!path.isEmpty())
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

QString ProgramHost::executableIn(const QString &directory, const QString &name)
{
    return QStandardPaths::findExecutable(name, { directory });
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

QString findProgram(ProgramHost &host, const QStringList &names)
{
    const QString first = programIn(host, host.systemDirectory(), names);
    if (!first.isEmpty())
        return first;
    return programIn(host, host.secondDirectory(), names);
}

} // namespace txl::os
