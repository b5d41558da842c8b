#include "app/ProgramIcon.h"

namespace hvn::console {

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/halvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace hvn::console
