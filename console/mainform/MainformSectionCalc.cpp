// The fiscal-year table by section (tab "部署別集計"): the sections offered in ComboBox1 and
// the calculation for the chosen one, its own users and those of every section below it.
#include "mainform/Mainform.h"

#include <exception>
#include <optional>

#include <QComboBox>
#include <QFrame>
#include <QPushButton>

#include "app/ErrorDisplay.h"
#include "charts/FiscalYearChart.h"
#include "data/FiscalYearCalc.h"
#include "lock/BusyBracket.h"
#include "mainform/FiscalYearTab.h"
#include "widgets/StringGrid.h"

namespace hvn::console {

void TMainForm::tabSectionCalcShow()
{
    // The reporting period does not apply to a fiscal-year table; printing serves exactly the
    // two fiscal-year tabs.
    pnlDay->hide();
    setPrintItemsEnabled(true);
    runReported(
        [&] {
            BusyBracket bracket(*this, btnCalc);
            if (bracket.granted()) {
                // A listing that fails leaves the items as they were; the tab stays usable.
                try {
                    const ReadSnapshot snapshot = bracket.readSnapshot(DBConection);
                    fillCalcCombo(ComboBox1, listCalcSections(DBConection));
                } catch (const std::exception &) {
                }
                if (ComboBox1->count() > 0)
                    ComboBox1->setCurrentIndex(0);
            }
            // Refused or not, the grid is laid out; its figures and the chart's stay those of
            // the last calculation.
            layOutFiscalGrid(sgSectionCalc, udSecMonth->position());
            chtSectionCalc->relabelMonths(udSecMonth->position());
        },
        this);
}

void TMainForm::btnCalcClick()
{
    const int item = selectedCalcItem(ComboBox1);
    if (item < 0) {
        relabelFiscalMonths(sgSectionCalc, udSecMonth->position());
        chtSectionCalc->relabelMonths(udSecMonth->position());
        return;
    }
    calculateFiscalYear(btnCalc, sgSectionCalc, chtSectionCalc, ComboBox1->itemText(item), [&](BusyBracket &bracket) {
        // The roll-up writes under the lock; the sums read on a snapshot taken right after it.
        std::optional<ReadSnapshot> snapshot;
        return calcSectionFiscalYear(DBConection, ComboBox1->itemData(item).toInt(),
                                     captionNumber(stSecYear, kFiscalDefaultYear),
                                     captionNumber(stSecMonth, kFiscalDefaultStartMonth),
                                     [&] { snapshot.emplace(bracket.readSnapshot(DBConection)); });
    });
}

void TMainForm::calculateFiscalYear(QPushButton *button, StringGrid *grid, FiscalYearChart *chart,
                                    const QString &name,
                                    const std::function<FiscalYearTable(BusyBracket &)> &calculate)
{
    runReported(
        [&] {
            BusyBracket bracket(*this, button);
            if (bracket.granted()) {
                // One result feeds both, and only a whole one: a refusal or a failure leaves
                // the grid and the chart as they were.
                const FiscalYearTable table = calculate(bracket);
                showFiscalTable(grid, table);
                chart->showTable(table, name);
            }
        },
        this);
}

} // namespace hvn::console
