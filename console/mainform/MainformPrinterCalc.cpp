// The fiscal-year table by printer (tab "プリンタ別集計"): the printers offered in ComboBox2
// (those in no group and the groups' leaders) and the calculation for the chosen one, which
// counts the printers of its group as they are at that moment.
#include "mainform/Mainform.h"

#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QScopeGuard>

#include "app/ErrorDisplay.h"
#include "charts/FiscalYearChart.h"
#include "data/FiscalYearCalc.h"
#include "lock/BusyBracket.h"
#include "mainform/FiscalYearTab.h"
#include "widgets/StringGrid.h"

namespace hvn::console {

void TMainForm::tabPrintCalcShow()
{
    pnlDay->hide();
    setPrintItemsEnabled(true);
    runReported(
        [&] {
            BusyBracket bracket(*this, btnPrinterCalc);
            // Laid out whether the lock was refused or the listing failed.
            const auto layOut = qScopeGuard([this] {
                layOutFiscalGrid(sgPrinterCalc, udPrnMonth->position());
                chtPrinterCalc->relabelMonths(udPrnMonth->position());
            });
            if (bracket.granted()) {
                const ReadSnapshot snapshot = bracket.readSnapshot(DBConection);
                fillCalcCombo(ComboBox2, listCalcPrinters(DBConection));
            }
        },
        this);
}

void TMainForm::btnPrinterCalcClick()
{
    const int item = selectedCalcItem(ComboBox2);
    if (item < 0)
        return;
    calculateFiscalYear(btnPrinterCalc, sgPrinterCalc, chtPrinterCalc, ComboBox2->itemText(item), [&](BusyBracket &bracket) {
        const ReadSnapshot snapshot = bracket.readSnapshot(DBConection);
        return calcPrinterFiscalYear(DBConection, ComboBox2->itemData(item).toInt(),
                                     captionNumber(stPrnYear, kFiscalDefaultYear),
                                     captionNumber(stPrnMonth, kFiscalDefaultStartMonth));
    });
}

} // namespace hvn::console
