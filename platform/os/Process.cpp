#include "platform/os/Process.h"

#include <cerrno>
#include <csignal>

namespace txl::os {

bool processIsGone(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace txl::os
