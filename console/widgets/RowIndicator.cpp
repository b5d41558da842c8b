#include "widgets/RowIndicator.h"

#include <algorithm>

#include <QPainter>

namespace hvn::console {

RowIndicator::RowIndicator(QWidget *parent)
    : QHeaderView(Qt::Vertical, parent)
{
    setHighlightSections(false);
    setSectionsClickable(true);
}

void RowIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (!selectionModel() || selectionModel()->currentIndex().row() != logicalIndex)
        return;
    // A solid right-pointing triangle 2 × half + 1 pixels tall, at most 9, built from whole
    // pixel columns so that it stays crisp.
    const int half = std::min({4, (rect.height() - 3) / 2, (rect.width() - 3) / 2});
    if (half < 1)
        return;
    const int left = rect.left() + (rect.width() - half - 1) / 2;
    const int middle = rect.top() + rect.height() / 2;
    painter->save();
    // The base class leaves an emptied clip behind.
    painter->setClipRect(rect);
    const QColor colour = palette().color(QPalette::ButtonText);
    for (int column = 0; column <= half; ++column)
        painter->fillRect(left + column, middle - half + column, 1, 2 * (half - column) + 1, colour);
    painter->restore();
}

} // namespace hvn::console
