#pragma once

class QWidget;

namespace hvn::console {

// Moves the window so that its middle lies over the owner's middle: top = owner's top + half
// the owner's height - half the window's height, left likewise from the widths, each half an
// integer division. Frame sizes count where the window system reports them. GUI thread only.
void centreOver(QWidget &window, const QWidget &owner);

} // namespace hvn::console
