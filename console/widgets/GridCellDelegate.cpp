#include "widgets/GridCellDelegate.h"

#include <algorithm>

#include <QApplication>
#include <QPainter>

namespace hvn::console {

GridCellDelegate::Layout GridCellDelegate::layOut(const QStyleOptionViewItem &option)
{
    const int advance = option.fontMetrics.horizontalAdvance(option.text);
    const int padding = std::clamp((option.rect.width() - advance) / 2, 0, kPadding);
    const QRect area = option.rect.adjusted(padding, 0, -padding, 0);
    if (advance <= area.width())
        return {area, option.text};
    return {area, option.fontMetrics.elidedText(option.text, option.textElideMode, area.width())};
}

QString GridCellDelegate::shownText(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    return layOut(cell).text;
}

void GridCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const Layout layout = layOut(cell);
    const QWidget *widget = cell.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();

    // The style draws everything but the text, which it would place with its wider margins.
    QStyleOptionViewItem frame(cell);
    frame.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &frame, painter, widget);

    if (layout.text.isEmpty())
        return;
    QPalette::ColorGroup group = QPalette::Normal;
    if (!(cell.state & QStyle::State_Enabled))
        group = QPalette::Disabled;
    else if (!(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPalette::ColorRole role = (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setClipRect(cell.rect);
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, role));
    painter->drawText(layout.area, static_cast<int>(cell.displayAlignment) | Qt::TextSingleLine, layout.text);
    painter->restore();
}

} // namespace hvn::console
