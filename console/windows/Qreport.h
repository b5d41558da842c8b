#pragma once

#include <functional>
#include <memory>

#include <QPointer>
#include <QWidget>

#include "report/FiscalReportSnapshot.h"
#include "report/QuickRep.h"

class QPrinter;

namespace hvn::console {

struct ReportDocument;
class ReportPreview;

// The report form behind printing and previewing the fiscal-year tables: the report
// `QuickRep1` and the printer settings that the print dialogs change for the rest of the run
// (never saved). Created once at start and never shown itself; each command renders the
// snapshot it is given, so nothing it prints or previews depends on the main window after
// the command. GUI thread only.
class TqrForm : public QWidget {
    Q_OBJECT
public:
    // Shows the print dialog on the printer settings; true when the user confirmed. Tests
    // replace it to answer without a window; the real dialog is QPrintDialog.
    using PrintDialog = std::function<bool(QPrinter &printer, QWidget *parent)>;

    explicit TqrForm(QWidget *parent = nullptr);
    ~TqrForm() override;

    TQuickRep QuickRep1;

    // The report's printer settings: A4 landscape with 10 mm margins, one copy, the print
    // system's default printer until a dialog picks another.
    QPrinter &printer() const { return *m_printer; }

    // The print command: the dialog opens with the current printer, copies, orientation and
    // page range; cancel prints nothing and keeps the earlier settings; OK keeps the choices
    // and prints. False when nothing was printed.
    bool print(const ReportDocument &doc, QWidget *parent);
    // The printer set-up command: the same dialog, nothing printed; OK keeps the choices,
    // cancel the earlier ones. True on OK.
    bool printSetup(QWidget *parent);
    // Prints with the current settings, without a dialog. False when the print system could
    // not start the job (it reports why itself).
    bool printNow(const ReportDocument &doc);

    // Opens a preview window "プレビュー" of the document and returns at once: the window lives
    // until it is closed (or this form goes), and other windows stay usable meanwhile.
    ReportPreview *preview(const ReportDocument &doc);

    void setPrintDialog(PrintDialog dialog);

private:
    bool runPrintDialog(QWidget *parent);

    std::unique_ptr<QPrinter> m_printer;
    PrintDialog m_printDialog;
};

} // namespace hvn::console
