#pragma once

namespace txl::ui {

// The wait cursor over the whole application while it exists, the usual one
// again when it goes, however the scope is left. Nests.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace txl::ui
