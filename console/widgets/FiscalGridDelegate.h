#pragma once

#include <QStyle>
#include <QStyledItemDelegate>

class QPainter;
class QRect;

namespace hvn::console {

// Draws one cell of a fiscal-year grid (sgSectionCalc, sgPrinterCalc) on the painter, in the
// grid's 12-point font and black text. Row 0 and column 0 are title cells: the grid's
// button-face colour with a raised inner edge, row 0 centred, column 0 right-aligned 8 pixels
// in. Every other cell is a figure, right-aligned 20 pixels in, on aqua (0, 255, 255) in the
// totals row 13 and on the window colour elsewhere. Texts are placed by their full advance,
// blanks included, on one line, vertically centred and clipped to the cell. The state
// (selected, focused) is not used: a selected cell looks like any other.
void sgCalcDrawCell(QPainter *painter, const QWidget *grid, int column, int row, const QRect &rect,
                    const QString &text, QStyle::State state);

// The delegate that draws every cell of a fiscal-year grid through sgCalcDrawCell. GUI thread
// only.
class FiscalGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace hvn::console
