#pragma once

#include <QString>
#include <Qt>

namespace hvn::console {

// One column of a data grid as the window's design fixes it: the result field it shows, its
// title, its design width in pixels, whether it is shown, and the alignment of its cells.
struct TGridColumn {
    QString field;
    QString title;
    int width = 64;
    bool visible = true;
    Qt::Alignment cellAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};

} // namespace hvn::console
