#pragma once

#include <QHeaderView>

namespace hvn::console {

// The title row of a data grid. Titles are never highlighted by the selection. A column of
// width 0 stays a column (it is not hidden, and its width 0 is what the grid reports and the
// settings keep), and it can be dragged open again at the boundary where it lies, as on the
// classic grids: dragging right from such a boundary opens the first zero-width column there,
// dragging left narrows the column that ends there. Elsewhere dragging works as QHeaderView's.
// GUI thread only.
class ColumnHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit ColumnHeader(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Boundary {
        int position = -1;     // viewport x of the boundary
        int opening = -1;      // logical index of the first zero-width column there
        int narrowing = -1;    // logical index of the column that ends there, -1 for none
    };
    // The boundary within the grip margin of x at which a visible zero-width column lies.
    Boundary zeroWidthBoundaryAt(int x) const;
    void setSplitCursor(bool on);

    Boundary m_drag;
    int m_pressX = 0;
    int m_narrowingStartWidth = 0;
    bool m_dragging = false;
    bool m_splitCursor = false;
};

} // namespace hvn::console
