#include "charts/FiscalYearChart.h"

#include <algorithm>

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QLineSeries>
#include <QValueAxis>

#include "data/FiscalYearCalc.h"

namespace hvn::console {

namespace {

const QString kEmptyTitle = QStringLiteral("「集計」を押すとグラフを表示します");

QLineSeries *makeRateLine(const QColor &colour, Qt::PenStyle style)
{
    auto *line = new QLineSeries;
    QPen pen(colour);
    pen.setWidthF(2.5);
    pen.setStyle(style);
    line->setPen(pen);
    line->setPointsVisible(true);
    return line;
}

QValueAxis *makeValueAxis(const QString &title)
{
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setTitleFont(ChartView::chartFont(9));
    axis->setLabelsFont(ChartView::chartFont(8));
    return axis;
}

} // namespace

FiscalYearChart::FiscalYearChart(QWidget *parent)
    : ChartView(parent)
{
    QChart *c = chart();
    c->setTitle(kEmptyTitle);

    m_sheets = new QBarSet(QStringLiteral("今年度 用紙枚数"));
    m_sheets->setColor(QColor(0x2f, 0x6f, 0xb5));
    m_previousSheets = new QBarSet(QStringLiteral("前年度 用紙枚数"));
    m_previousSheets->setColor(QColor(0xa8, 0xc4, 0xe0));
    auto *bars = new QBarSeries;
    bars->append(m_sheets);
    bars->append(m_previousSheets);
    c->addSeries(bars);
    m_rate = makeRateLine(QColor(0xd9, 0x5f, 0x0e), Qt::SolidLine);
    m_rate->setName(QStringLiteral("今年度 削減率"));
    m_previousRate = makeRateLine(QColor(0x8c, 0x8c, 0x8c), Qt::DashLine);
    m_previousRate->setName(QStringLiteral("前年度 削減率"));
    c->addSeries(m_rate);
    c->addSeries(m_previousRate);

    m_monthAxis = new QBarCategoryAxis;
    m_monthAxis->setLabelsFont(chartFont(8));
    m_sheetAxis = makeValueAxis(QStringLiteral("用紙枚数（枚）"));
    m_sheetAxis->setLabelFormat(QStringLiteral("%d"));
    m_rateAxis = makeValueAxis(QStringLiteral("削減率（%）"));
    m_rateAxis->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(m_monthAxis, Qt::AlignBottom);
    c->addAxis(m_sheetAxis, Qt::AlignLeft);
    c->addAxis(m_rateAxis, Qt::AlignRight);
    for (QAbstractSeries *series : {static_cast<QAbstractSeries *>(bars), static_cast<QAbstractSeries *>(m_rate),
                                    static_cast<QAbstractSeries *>(m_previousRate)})
        series->attachAxis(m_monthAxis);
    bars->attachAxis(m_sheetAxis);
    m_rate->attachAxis(m_rateAxis);
    m_previousRate->attachAxis(m_rateAxis);
    setCountRange(m_sheetAxis, 0);
    setRateRange(m_rateAxis, 0, 0);
    relabelMonths(4);
}

QStringList FiscalYearChart::months() const
{
    return m_monthAxis->categories();
}

void FiscalYearChart::relabelMonths(int startMonth)
{
    QStringList labels;
    for (int row = 1; row <= 12; ++row)
        labels << fiscalMonthLabel(startMonth, row);
    if (labels != m_monthAxis->categories())
        m_monthAxis->setCategories(labels);
}

void FiscalYearChart::showTable(const FiscalYearTable &table, const QString &name)
{
    QStringList labels;
    for (int row = 1; row <= 12; ++row)
        labels << table.cells.cell(0, row);
    m_monthAxis->setCategories(labels);

    QList<qreal> sheets, previousSheets;
    QList<QPointF> rate, previousRate;
    double highestSheets = 0.0;
    double lowestRate = 0.0;
    double highestRate = 0.0;
    for (int month = 0; month < 12; ++month) {
        const FiscalFigures &current = table.current[month];
        const FiscalFigures &previous = table.previous[month];
        sheets << qreal(current.sheets);
        previousSheets << qreal(previous.sheets);
        rate << QPointF(month, fiscalRate(current.pages, current.sheets));
        previousRate << QPointF(month, fiscalRate(previous.pages, previous.sheets));
        highestSheets = std::max({highestSheets, double(current.sheets), double(previous.sheets)});
        lowestRate = std::min({lowestRate, rate.last().y(), previousRate.last().y()});
        highestRate = std::max({highestRate, rate.last().y(), previousRate.last().y()});
    }
    m_sheets->remove(0, m_sheets->count());
    m_sheets->append(sheets);
    m_previousSheets->remove(0, m_previousSheets->count());
    m_previousSheets->append(previousSheets);
    m_sheets->setLabel(QStringLiteral("%1年度 用紙枚数").arg(table.year));
    m_previousSheets->setLabel(QStringLiteral("%1年度 用紙枚数").arg(table.year - 1));
    m_rate->replace(rate);
    m_previousRate->replace(previousRate);
    m_rate->setName(QStringLiteral("%1年度 削減率").arg(table.year));
    m_previousRate->setName(QStringLiteral("%1年度 削減率").arg(table.year - 1));

    setCountRange(m_sheetAxis, highestSheets);
    // Rates stay within 0 to 100 % unless a month used more sheets than pages.
    setRateRange(m_rateAxis, lowestRate, highestRate);
    chart()->setTitle(QStringLiteral("%1　%2年度（前年度との比較）").arg(name).arg(table.year));
}

} // namespace hvn::console
