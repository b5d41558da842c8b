#pragma once

#include <QString>

#include "data/FiscalYearCalc.h"

namespace hvn::console {

// The fiscal-year table a report prints, taken once when the print, preview or command-line
// report is asked for, so that whatever happens in the main window afterwards (another tab,
// another combo box item, a new calculation) never changes a report already under way.
// A plain value: the main window fills it from its tab, hvnReport from the calculation.

enum class FiscalTable { Section, Printer };

struct FiscalReportSnapshot {
    FiscalTable table = FiscalTable::Section;
    // The year caption (stSecYear / stPrnYear) as it was shown, without "年度".
    QString year;
    // The combo box text (ComboBox1 / ComboBox2): the chosen section's full name or printer.
    QString name;
    // The grid's texts exactly as it held them; (0, 0) is the empty corner.
    FiscalYearCells cells;
};

} // namespace hvn::console
