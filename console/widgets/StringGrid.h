#pragma once

#include <QTableWidget>

namespace hvn::console {

// A grid of texts addressed as cell(column, row), with no headers of its own: its first row
// and column are ordinary cells that a delegate may draw as title cells. Not editable; the
// cell texts are the program's to set. Cells are drawn with narrow padding (GridCellDelegate.h)
// unless a delegate of the grid's owner draws them. New rows are 24 pixels high and new columns take the
// default column width. GUI thread only.
class StringGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit StringGrid(QWidget *parent = nullptr);

    // Empty for a cell outside the grid or never written.
    QString cell(int column, int row) const;
    // Writes into an existing cell; a cell outside the grid is ignored.
    void setCell(int column, int row, const QString &text);
    // Gives every column the width, and makes it the width of columns added later.
    void setDefaultColumnWidth(int width);
};

} // namespace hvn::console
