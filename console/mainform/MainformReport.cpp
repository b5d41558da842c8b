// The print commands of the fiscal-year tabs: each takes the shown table once, when it is
// given, and hands that snapshot to the report form, so a print or a preview never reads the
// window again (a preview left open shows what it showed, whatever tab is shown later).
#include "mainform/Mainform.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

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
    if (const auto *combo = findChild<QComboBox *>(section ? QStringLiteral("ComboBox1") : QStringLiteral("ComboBox2")))
        snapshot.name = combo->currentText();
    const auto *grid =
        findChild<QAbstractItemView *>(section ? QStringLiteral("sgSectionCalc") : QStringLiteral("sgPrinterCalc"));
    if (const QAbstractItemModel *model = grid ? grid->model() : nullptr) {
        for (int column = 0; column < kFiscalColumns && column < model->columnCount(); ++column)
            for (int row = 0; row < kFiscalRows && row < model->rowCount(); ++row)
                snapshot.cells.setCell(column, row, model->data(model->index(row, column)).toString());
    }
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
