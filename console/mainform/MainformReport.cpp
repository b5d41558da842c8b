// The print commands of the fiscal-year tabs: each takes the shown table once, when it is
// given, and hands that snapshot to the report form, so a print or a preview never reads the
// window again (a preview left open shows what it showed, whatever tab is shown later).
#include "mainform/Mainform.h"

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "widgets/StringGrid.h"
#include "windows/Qreport.h"

namespace hvn::console {

std::optional<FiscalReportSnapshot> TMainForm::fiscalReportSnapshot() const
{
    const QWidget *page = PageControl1->currentWidget();
    if (page != tabSectionCalc && page != tabPrintCalc)
        return std::nullopt;
    const bool section = page == tabSectionCalc;
    FiscalReportSnapshot snapshot;
    snapshot.table = section ? FiscalTable::Section : FiscalTable::Printer;
    snapshot.year = (section ? stSecYear : stPrnYear)->text();
    snapshot.name = (section ? ComboBox1 : ComboBox2)->currentText();
    const StringGrid *grid = section ? sgSectionCalc : sgPrinterCalc;
    for (int column = 0; column < kFiscalColumns; ++column)
        for (int row = 0; row < kFiscalRows; ++row)
            snapshot.cells.setCell(column, row, grid->cell(column, row));
    return snapshot;
}

void TMainForm::FilePrint()
{
    const auto snapshot = fiscalReportSnapshot();
    if (!snapshot || !m_dialogs.qrForm)
        return;
    TqrForm &report = *m_dialogs.qrForm;
    report.print(report.QuickRep1.render(*snapshot), this);
}

void TMainForm::FilePreviewItemClick()
{
    const auto snapshot = fiscalReportSnapshot();
    if (!snapshot || !m_dialogs.qrForm)
        return;
    TqrForm &report = *m_dialogs.qrForm;
    report.preview(report.QuickRep1.render(*snapshot));
}

void TMainForm::FilePrintSetup()
{
    if (m_dialogs.qrForm)
        m_dialogs.qrForm->printSetup(this);
}

} // namespace hvn::console
