#pragma once

#include <QRect>
#include <QSize>

namespace hvn::console {

// The main window's place when no window size is stored: 800 × 540, each side cut to the
// screen's, centred with the halves truncated toward zero.
QRect defaultWindowGeometry(const QSize &screen);

} // namespace hvn::console
