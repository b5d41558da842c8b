#include "windows/WindowCentring.h"

#include <QWidget>

namespace hvn::console {

void centreOver(QWidget &window, const QWidget &owner)
{
    const QRect ownerFrame = owner.frameGeometry();
    const QSize size = window.frameGeometry().size();
    window.move(ownerFrame.left() + ownerFrame.width() / 2 - size.width() / 2,
                ownerFrame.top() + ownerFrame.height() / 2 - size.height() / 2);
}

} // namespace hvn::console
