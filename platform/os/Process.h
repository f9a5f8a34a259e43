#pragma once

#include <QtGlobal>

namespace txl::os {

// True when no process with this id exists any more. A process that exists
// but is not ours to signal counts as alive.
bool processIsGone(qint64 pid);

} // namespace txl::os
