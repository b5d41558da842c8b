#pragma once

#include <QStyledItemDelegate>

namespace hvn::console {

// Draws the cells of a grid as the classic grids do: the style's background, selection and
// focus, and the text in its alignment with 2 pixels of padding each side, so that the design
// widths show their ordinary contents in full. The padding gives way before the text does: a
// text wider than the padded cell is drawn in what room the cell has, and only a text wider
// than the whole cell is elided. GUI thread only.
class GridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kPadding = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The text as paint() draws it into option.rect: the display text, or its elided form when
    // it is wider than the cell.
    QString shownText(const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    struct Layout {
        QRect area;
        QString text;
    };
    static Layout layOut(const QStyleOptionViewItem &option);
};

} // namespace hvn::console
