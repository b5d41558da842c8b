#include "widgets/DataGrid.h"

#include <QHeaderView>
#include <QTableView>

#include "data/DbGridModel.h"
#include "widgets/ColumnHeader.h"
#include "widgets/GridCellDelegate.h"
#include "widgets/RowIndicator.h"

namespace hvn::console {

QTableView *createDataGrid(QWidget *parent, const char *name, TDbGridModel *model)
{
    auto *view = new QTableView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setHorizontalHeader(new ColumnHeader(view));
    view->setVerticalHeader(new RowIndicator(view));
    view->setItemDelegate(new GridCellDelegate(view));
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setTabKeyNavigation(true);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->verticalHeader()->setVisible(true);
    view->verticalHeader()->setFixedWidth(12);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    QHeaderView *header = view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setStretchLastSection(false);
    const auto &columns = model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        header->resizeSection(i, columns[i].width);
        view->setColumnHidden(i, !columns[i].visible);
    }
    // As on the classic grids, the first row is the current one once rows are loaded (at once,
    // or the first rows of a load that fills in), so the indicator shows where the grid stands;
    // this selects nothing.
    const auto markFirstRow = [view] {
        const QAbstractItemModel *rows = view->model();
        if (rows->rowCount() == 0 || view->currentIndex().isValid())
            return;
        int column = 0;
        while (column < rows->columnCount() - 1 && view->isColumnHidden(column))
            ++column;
        view->selectionModel()->setCurrentIndex(rows->index(0, column), QItemSelectionModel::NoUpdate);
    };
    QObject::connect(model, &QAbstractItemModel::modelReset, view, markFirstRow);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, markFirstRow);
    return view;
}

} // namespace hvn::console
