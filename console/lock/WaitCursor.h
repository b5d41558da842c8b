#pragma once

#include <QApplication>

namespace hvn::console {

// The hourglass cursor (or the given busy shape) for the object's lifetime; the previous
// cursor comes back on destruction, however the scope is left. Guards nest. GUI thread only.
class WaitCursor {
public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor) { QApplication::setOverrideCursor(shape); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace hvn::console
