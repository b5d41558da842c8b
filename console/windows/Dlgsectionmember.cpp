#include "windows/Dlgsectionmember.h"

#include "windows/DialogFrame.h"

namespace hvn::console {

TdlgSectionMember::TdlgSectionMember(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("dlgSectionMember"), QStringLiteral("部員登録"), QSize(733, 448),
                         QStringLiteral("OKButton"), QStringLiteral("CancelButton"));
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
}

} // namespace hvn::console
