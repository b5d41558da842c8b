#pragma once

class QTableView;
class QWidget;

namespace hvn::console {

class TDbGridModel;

// A read-only data grid over a query model, as every data grid of the console is set up:
// column titles that the selection leaves alone, a row indicator marking the current row (the
// vertical header; the first row is current after each load), lines between cells drawn with narrow padding (GridCellDelegate.h),
// whole-row selection, the tab key moving between cells, no editing, user-resizable columns
// with the design widths, design-hidden columns hidden; a column of width 0 can be dragged
// open again (ColumnHeader.h). The view is created as a child of parent and
// does not own the model. GUI thread only.
QTableView *createDataGrid(QWidget *parent, const char *name, TDbGridModel *model);

} // namespace hvn::console
