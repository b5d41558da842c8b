#include "charts/SectionRateChart.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QHorizontalBarSeries>
#include <QValueAxis>

namespace hvn::console {

namespace {

constexpr int kNameColumn = 0;
constexpr int kRateColumn = 3;
const QString kEmptyTitle = QStringLiteral("「読込み」を押すとグラフを表示します");

// The category axis keeps one entry per distinct text and none for an empty one, so each name
// is made distinct and visible: records of users missing from the user table have no name.
QStringList categoryLabels(const QVector<SectionRate> &rows)
{
    QStringList labels;
    for (const SectionRate &row : rows) {
        QString label = row.name.isEmpty() ? QStringLiteral("（名前なし）") : row.name;
        while (labels.contains(label))
            label += QLatin1Char(' ');
        labels << label;
    }
    return labels;
}

} // namespace

QVector<SectionRate> sectionRates(const QAbstractItemModel &model)
{
    QVector<SectionRate> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QVariant rate = model.data(model.index(row, kRateColumn), Qt::EditRole);
        rows.append({model.data(model.index(row, kNameColumn), Qt::DisplayRole).toString(),
                     rate.isNull() ? 0.0 : rate.toDouble()});
    }
    return rows;
}

SectionRateChart::SectionRateChart(QWidget *parent)
    : ChartView(parent)
{
    QChart *c = chart();
    c->setTitle(kEmptyTitle);
    c->legend()->hide();
    m_rates = new QBarSet(QStringLiteral("削減率(%)"));
    m_rates->setColor(QColor(0x2f, 0x6f, 0xb5));
    auto *bars = new QHorizontalBarSeries;
    bars->append(m_rates);
    bars->setLabelsVisible(true);
    bars->setLabelsFormat(QStringLiteral("@value%"));
    bars->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    c->addSeries(bars);
    m_sectionAxis = new QBarCategoryAxis;
    m_sectionAxis->setLabelsFont(chartFont(9));
    m_rateAxis = new QValueAxis;
    m_rateAxis->setTitleText(QStringLiteral("削減率（%）"));
    m_rateAxis->setTitleFont(chartFont(9));
    m_rateAxis->setLabelsFont(chartFont(8));
    m_rateAxis->setLabelFormat(QStringLiteral("%.0f"));
    setRateRange(m_rateAxis, 0, 0);
    c->addAxis(m_sectionAxis, Qt::AlignLeft);
    c->addAxis(m_rateAxis, Qt::AlignBottom);
    bars->attachAxis(m_sectionAxis);
    bars->attachAxis(m_rateAxis);
}

QStringList SectionRateChart::sections() const
{
    QStringList topDown = m_sectionAxis->categories();
    std::reverse(topDown.begin(), topDown.end());
    return topDown;
}

int SectionRateChart::rowCount() const
{
    return m_rates->count();
}

double SectionRateChart::rate(int row) const
{
    return m_rates->at(m_rates->count() - 1 - row);
}

void SectionRateChart::showRates(const QVector<SectionRate> &rows)
{
    m_rates->remove(0, m_rates->count());
    m_sectionAxis->clear();
    double lowest = 0.0;
    double highest = 0.0;
    QList<qreal> values;
    for (const SectionRate &row : rows) {
        values << row.rate;
        lowest = std::min(lowest, row.rate);
        highest = std::max(highest, row.rate);
    }
    // A horizontal bar chart draws its first category at the bottom: the rows go in from the
    // last, so the grid's first row is the top bar.
    QStringList labels = categoryLabels(rows);
    std::reverse(labels.begin(), labels.end());
    std::reverse(values.begin(), values.end());
    m_sectionAxis->append(labels);
    m_rates->append(values);
    setRateRange(m_rateAxis, lowest, highest);
    chart()->setTitle(QStringLiteral("部署別の削減率"));
}

} // namespace hvn::console
