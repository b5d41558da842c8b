#pragma once

#include <QAbstractTableModel>
#include <QVector>

#include "data/GridColumn.h"

namespace hvn::console {

class TQuery;

// A read-only table model that shows a TQuery's rows in the grid's column order, binding each
// grid column to its result field by name (a field the query lacks shows empty cells). It has
// every design column, hidden ones included, so column indexes match the design; the view hides
// the columns that are not visible. Display texts follow FieldText.h; Qt::TextAlignmentRole
// comes from the column, header titles are centred. Call refresh() after the query opened or
// closed, or showFetchedRows() after it fetched more. The query must outlive the model. UI thread only.
class TDbGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TDbGridModel(TQuery &query, QVector<TGridColumn> columns, QObject *parent = nullptr);

    void refresh();
    // Shows, as inserted rows, those the query fetched since the last refresh() or call of
    // this (TQuery::fetch()); the rows shown before stay as they are, selection included.
    void showFetchedRows();
    const QVector<TGridColumn> &columns() const;
    TQuery &query() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // Qt::DisplayRole: the display text; Qt::EditRole: the raw value; Qt::TextAlignmentRole.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    TQuery &m_query;
    QVector<TGridColumn> m_columns;
    QVector<int> m_fieldOfColumn; // result field index per grid column, -1 when unbound
    int m_shownRows = 0;          // the query's rows the view has been told of
};

} // namespace hvn::console
