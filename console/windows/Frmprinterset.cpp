#include "windows/Frmprinterset.h"

#include "windows/DialogFrame.h"

namespace hvn::console {

TfrmPrinterSet::TfrmPrinterSet(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("frmPrinterSet"), QStringLiteral("プリンタの設定"), QSize(599, 444),
                         QStringLiteral("OKButton"), QStringLiteral("CancelButton"));
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
}

} // namespace hvn::console
