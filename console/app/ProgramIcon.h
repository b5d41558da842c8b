#pragma once

#include <QIcon>

namespace hvn::console {

// The program icon, a sheet with a bar chart, drawn for each size it is shown at: 16, 24, 32,
// 48 and 256 pixels (other sizes are scaled from the nearest larger one).
QIcon programIcon();

} // namespace hvn::console
