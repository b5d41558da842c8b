#include "windows/Okbottomdlg.h"

#include "windows/DialogFrame.h"

namespace hvn::console {

TOKBottomDlg::TOKBottomDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("OKBottomDlg"), QStringLiteral("プリンタ名の変更"), QSize(313, 204),
                         QStringLiteral("OKBtn"), QStringLiteral("CancelBtn"));
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
}

} // namespace hvn::console
