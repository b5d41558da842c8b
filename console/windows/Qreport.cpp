#include "windows/Qreport.h"

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>

#include "report/ReportDocument.h"
#include "report/ReportPainter.h"
#include "windows/ReportPreview.h"

namespace hvn::console {

namespace {

// What the print dialog may change, so that a cancelled dialog leaves the settings exactly as
// they were whatever the dialog did to the printer object meanwhile.
struct PrinterChoices {
    QString printerName;
    QPrinter::OutputFormat format;
    QString outputFile;
    int copies;
    bool collate;
    QPageLayout layout;
    QPrinter::PrintRange range;
    int fromPage;
    int toPage;
    QPrinter::ColorMode colorMode;
    QPrinter::DuplexMode duplex;

    static PrinterChoices of(const QPrinter &p)
    {
        return {p.printerName(), p.outputFormat(), p.outputFileName(), p.copyCount(), p.collateCopies(),
                p.pageLayout(), p.printRange(), p.fromPage(), p.toPage(), p.colorMode(), p.duplex()};
    }

    void applyTo(QPrinter &p) const
    {
        p.setOutputFormat(format);
        if (format == QPrinter::NativeFormat)
            p.setPrinterName(printerName);
        p.setOutputFileName(outputFile);
        p.setCopyCount(copies);
        p.setCollateCopies(collate);
        p.setPageLayout(layout);
        p.setPrintRange(range);
        p.setFromTo(fromPage, toPage);
        p.setColorMode(colorMode);
        p.setDuplex(duplex);
    }
};

} // namespace

TqrForm::TqrForm(QWidget *parent)
    : QWidget(parent)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
    , m_printDialog([](QPrinter &printer, QWidget *dialogParent) {
        QPrintDialog dialog(&printer, dialogParent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setMinMax(1, 1);
        return dialog.exec() == QDialog::Accepted;
    })
{
    setObjectName(QStringLiteral("qrForm"));
    setWindowTitle(QStringLiteral("qrForm"));
    ReportDocument page;
    page.paperSize = QSizeF(TQuickRep::kPaperWidth, TQuickRep::kPaperHeight);
    const double m = TQuickRep::kMargin;
    page.margins = QMarginsF(m, m, m, m);
    m_printer->setPageLayout(reportPageLayout(page));
    m_printer->setCopyCount(1);
    m_printer->setDocName(QStringLiteral("hvnConsole"));
}

TqrForm::~TqrForm() = default;

void TqrForm::setPrintDialog(PrintDialog dialog)
{
    m_printDialog = std::move(dialog);
}

bool TqrForm::runPrintDialog(QWidget *parent)
{
    const PrinterChoices before = PrinterChoices::of(*m_printer);
    if (m_printDialog(*m_printer, parent))
        return true;
    before.applyTo(*m_printer);
    return false;
}

bool TqrForm::print(const ReportDocument &doc, QWidget *parent)
{
    if (!runPrintDialog(parent))
        return false;
    return printNow(doc);
}

bool TqrForm::printSetup(QWidget *parent)
{
    return runPrintDialog(parent);
}

bool TqrForm::printNow(const ReportDocument &doc)
{
    return printReport(*m_printer, doc);
}

ReportPreview *TqrForm::preview(const ReportDocument &doc)
{
    // A child of this form, so it never outlives the printer settings it prints with.
    auto *window = new ReportPreview(*this, doc, this);
    window->show();
    return window;
}

} // namespace hvn::console
