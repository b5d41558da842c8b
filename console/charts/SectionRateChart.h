#pragma once

#include <QString>
#include <QVector>

#include "charts/ChartView.h"

class QAbstractItemModel;
class QBarCategoryAxis;
class QBarSet;
class QValueAxis;

namespace hvn::console {

// One row of the section tab as the chart shows it.
struct SectionRate {
    QString name;
    double rate = 0.0; // percent; a row without pages (no rate) shows 0
    bool operator==(const SectionRate &) const = default;
};

// The rows of the section tab's grid model (columns nma, dpa, spa, rta), in the grid's order.
QVector<SectionRate> sectionRates(const QAbstractItemModel &model);

// The section tab's chart (chtSection): a horizontal bar per row of the grid, its reduction
// rate in percent, the first row at the top as in the grid. GUI thread only.
class SectionRateChart : public ChartView {
    Q_OBJECT
public:
    explicit SectionRateChart(QWidget *parent = nullptr);

    void showRates(const QVector<SectionRate> &rows);

    // The bars from the top: each row's section name and rate, the grid's first row first.
    QStringList sections() const;
    double rate(int row) const;
    int rowCount() const;

private:
    QBarSet *m_rates = nullptr;
    QBarCategoryAxis *m_sectionAxis = nullptr;
    QValueAxis *m_rateAxis = nullptr;
};

} // namespace hvn::console
