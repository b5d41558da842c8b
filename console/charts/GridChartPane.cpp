#include "charts/GridChartPane.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>

#include "charts/ChartView.h"

namespace hvn::console {

namespace {

// A scrolling grid shares a low page with its chart: a few rows and a smaller chart.
constexpr int kScrollingGridMinHeight = 120;
constexpr int kScrollingChartMinHeight = 240;

} // namespace

GridChartPane::GridChartPane(QTableView *grid, ChartView *chart, GridFit fit, QWidget *parent)
    : QScrollArea(parent)
    , m_grid(grid)
    , m_chart(chart)
    , m_fit(fit)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("GridChartContent"));
    m_layout = new QBoxLayout(QBoxLayout::TopToBottom, content);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(6);
    m_layout->addWidget(m_grid, 0, Qt::AlignLeft | Qt::AlignTop);
    m_layout->addWidget(m_chart, 1);
    setWidget(content);
    if (m_fit == GridFit::Whole) {
        m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    for (QHeaderView *header : {m_grid->horizontalHeader(), m_grid->verticalHeader()}) {
        connect(header, &QHeaderView::sectionResized, this, &GridChartPane::arrange);
        connect(header, &QHeaderView::sectionCountChanged, this, &GridChartPane::arrange);
    }
    arrange();
}

int GridChartPane::gridWidth() const
{
    int width = 2 * m_grid->frameWidth() + m_grid->horizontalHeader()->length();
    if (!m_grid->verticalHeader()->isHidden())
        width += m_grid->verticalHeader()->width();
    if (m_fit == GridFit::Scrolling)
        width += m_grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_grid);
    return width;
}

int GridChartPane::gridHeight() const
{
    int height = 2 * m_grid->frameWidth() + m_grid->verticalHeader()->length();
    if (!m_grid->horizontalHeader()->isHidden())
        height += m_grid->horizontalHeader()->height();
    return height;
}

void GridChartPane::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    arrange();
}

void GridChartPane::arrange()
{
    // Measured without the scroll bars, which come and go with the arrangement.
    const int room = width() - 2 * frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int columns = gridWidth();
    m_beside = room >= columns + m_layout->spacing() + kChartMinWidth;
    m_layout->setDirection(m_beside ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    if (m_fit == GridFit::Whole) {
        m_grid->setFixedSize(columns, gridHeight());
        m_layout->setAlignment(m_grid, Qt::AlignLeft | Qt::AlignTop);
    } else if (m_beside) {
        m_grid->setMinimumSize(0, 0);
        m_grid->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_grid->setFixedWidth(columns);
        m_layout->setAlignment(m_grid, Qt::Alignment());
        m_layout->setStretchFactor(m_grid, 0);
    } else {
        m_grid->setMinimumSize(0, kScrollingGridMinHeight);
        m_grid->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_layout->setAlignment(m_grid, Qt::Alignment());
        m_layout->setStretchFactor(m_grid, 1);
    }
    m_chart->setMinimumSize(kChartMinWidth,
                            m_fit == GridFit::Scrolling && !m_beside ? kScrollingChartMinHeight : kChartMinHeight);
}

} // namespace hvn::console
