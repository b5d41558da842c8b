#include "windows/Dlgsection.h"

#include "windows/DialogFrame.h"

namespace hvn::console {

TdlgSection::TdlgSection(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("dlgSection"), QStringLiteral("部署設定"), QSize(461, 455),
                         QStringLiteral("OKButton"), QStringLiteral("CancelButton"));
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
}

} // namespace hvn::console
