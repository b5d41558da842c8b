#pragma once

// Widget helpers shared by the console's widget tests and the test build's console driver:
// only Qt widgets, no database and no service.

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLatin1Char>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace hvn::console::test {

// Clicks the tab's title, as the user asks for another tab.
inline void clickTab(QTabWidget *pages, int index)
{
    QTabBar *bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// The grid as the administrator sees it: the visible columns' titles (when the grid shows a
// title row), then the display texts of each row, cells joined by separator.
inline QStringList shownRows(const QTableView *grid, QChar separator = QLatin1Char(','))
{
    const QAbstractItemModel *model = grid->model();
    QStringList rows;
    if (!grid->horizontalHeader()->isHidden()) {
        QStringList titles;
        for (int column = 0; column < model->columnCount(); ++column)
            if (!grid->isColumnHidden(column))
                titles << model->headerData(column, Qt::Horizontal).toString();
        rows << titles.join(separator);
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            if (!grid->isColumnHidden(column))
                cells << model->data(model->index(row, column)).toString();
        rows << cells.join(separator);
    }
    return rows;
}

} // namespace hvn::console::test
