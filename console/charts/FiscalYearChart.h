#pragma once

#include <QStringList>

#include "charts/ChartView.h"

class QBarCategoryAxis;
class QBarSet;
class QLineSeries;
class QValueAxis;

namespace hvn::console {

struct FiscalYearTable;

// The chart of a fiscal-year table (chtSectionCalc, chtPrinterCalc, and hvnReport's chart):
// per month, the sheets of the fiscal year and of the previous one as grouped bars on the left
// axis, and the two years' reduction rates as lines on a right axis in percent, the months
// labelled as the grid's column 0. It shows exactly the FiscalYearTable it is given, the same
// value the grid's cells come from; before the first one its series are empty. GUI thread only.
class FiscalYearChart : public ChartView {
    Q_OBJECT
public:
    explicit FiscalYearChart(QWidget *parent = nullptr);

    // Shows the table's twelve months; `name` is the section or printer it was computed for.
    void showTable(const FiscalYearTable &table, const QString &name);
    // Relabels the months from the start month, keeping the figures (as the grid does).
    void relabelMonths(int startMonth);

    // The series, in the order: this year's sheets, the previous year's sheets (bars); this
    // year's rate, the previous year's rate (lines, x = month row 0..11).
    QBarSet *sheets() const { return m_sheets; }
    QBarSet *previousSheets() const { return m_previousSheets; }
    QLineSeries *rate() const { return m_rate; }
    QLineSeries *previousRate() const { return m_previousRate; }
    QStringList months() const;

private:
    QBarSet *m_sheets = nullptr;
    QBarSet *m_previousSheets = nullptr;
    QLineSeries *m_rate = nullptr;
    QLineSeries *m_previousRate = nullptr;
    QBarCategoryAxis *m_monthAxis = nullptr;
    QValueAxis *m_sheetAxis = nullptr;
    QValueAxis *m_rateAxis = nullptr;
};

} // namespace hvn::console
