#pragma once

#include <QScrollArea>

class QBoxLayout;
class QTableView;

namespace hvn::console {

class ChartView;

// A grid with its chart on one page: the chart beside the grid when the page is wide enough
// for the grid's columns and a readable chart, below it otherwise, the page scrolling when
// its height does not hold both. The grid keeps the width of its columns (and, when it is
// shown whole, the height of its rows), so its cells read as on a page of their own; the
// chart takes the rest. Follows the grid's column and row sizes as they change. GUI thread
// only.
class GridChartPane : public QScrollArea {
    Q_OBJECT
public:
    enum class GridFit {
        Whole,     // every row shown, the grid never scrolls (the fiscal-year tables)
        Scrolling, // the grid scrolls its rows (the section tab)
    };

    static constexpr int kChartMinWidth = 420;
    static constexpr int kChartMinHeight = 320;

    GridChartPane(QTableView *grid, ChartView *chart, GridFit fit, QWidget *parent);

    bool chartBeside() const { return m_beside; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int gridWidth() const;
    int gridHeight() const;
    void arrange();

    QTableView *m_grid;
    ChartView *m_chart;
    GridFit m_fit;
    QBoxLayout *m_layout = nullptr;
    bool m_beside = false;
};

} // namespace hvn::console
