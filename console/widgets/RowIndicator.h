#pragma once

#include <QHeaderView>

namespace hvn::console {

// The row indicator at the left of a data grid: a narrow column of blank sections in which the
// current row's section shows a black triangle pointing at the row, as the classic grids mark
// it. The mark follows the view's current index; nothing is highlighted by the selection. A
// click on a section selects its row. GUI thread only.
class RowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit RowIndicator(QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};

} // namespace hvn::console
