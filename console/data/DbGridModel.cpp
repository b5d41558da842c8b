#include "data/DbGridModel.h"

#include <utility>

#include "data/FieldText.h"
#include "data/Query.h"

namespace hvn::console {

TDbGridModel::TDbGridModel(TQuery &query, QVector<TGridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), m_query(query), m_columns(std::move(columns))
{
    m_fieldOfColumn.fill(-1, m_columns.size());
    refresh();
}

void TDbGridModel::refresh()
{
    beginResetModel();
    for (int column = 0; column < m_columns.size(); ++column)
        m_fieldOfColumn[column] = m_query.active() ? m_query.fieldIndex(m_columns[column].field) : -1;
    m_shownRows = m_query.active() ? m_query.rowCount() : 0;
    endResetModel();
}

void TDbGridModel::showFetchedRows()
{
    const int fetched = m_query.active() ? m_query.rowCount() : 0;
    if (fetched < m_shownRows) {
        refresh();
        return;
    }
    if (fetched == m_shownRows)
        return;
    beginInsertRows(QModelIndex(), m_shownRows, fetched - 1);
    m_shownRows = fetched;
    endInsertRows();
}

const QVector<TGridColumn> &TDbGridModel::columns() const
{
    return m_columns;
}

TQuery &TDbGridModel::query() const
{
    return m_query;
}

int TDbGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int TDbGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant TDbGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    const int field = m_fieldOfColumn[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return fieldDisplayText(m_query.value(index.row(), field), m_query.isDateTimeField(field));
    case Qt::EditRole:
        return m_query.value(index.row(), field);
    case Qt::TextAlignmentRole:
        return static_cast<int>(m_columns[index.column()].cellAlignment);
    default:
        return QVariant();
    }
}

QVariant TDbGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The row indicator column carries no numbers.
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    if (section < 0 || section >= m_columns.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_columns[section].title;
    case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignCenter);
    default:
        return QVariant();
    }
}

Qt::ItemFlags TDbGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace hvn::console
