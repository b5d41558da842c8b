#include "windows/Frmdatadelete.h"

#include "windows/DialogFrame.h"

namespace hvn::console {

TfrmDelete::TfrmDelete(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("frmDelete"), QStringLiteral("データ削除"), QSize(320, 200),
                         QStringLiteral("OKButton"), QStringLiteral("CancelButton"));
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
}

} // namespace hvn::console
