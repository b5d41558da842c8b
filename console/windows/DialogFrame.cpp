#include "windows/DialogFrame.h"

#include <QDialog>
#include <QPushButton>

namespace hvn::console {

DialogButtons setUpFixedDialog(QDialog &dialog, const QString &objectName, const QString &caption,
                               QSize clientSize, const QString &okName, const QString &cancelName)
{
    dialog.setObjectName(objectName);
    dialog.setWindowTitle(caption);
    dialog.setFixedSize(clientSize);

    DialogButtons buttons;
    buttons.ok = new QPushButton(QStringLiteral("OK"), &dialog);
    buttons.ok->setObjectName(okName);
    buttons.ok->setDefault(true);
    buttons.ok->setGeometry(clientSize.width() - 172, clientSize.height() - 33, 75, 25);
    buttons.cancel = new QPushButton(QStringLiteral("キャンセル"), &dialog);
    buttons.cancel->setObjectName(cancelName);
    buttons.cancel->setGeometry(clientSize.width() - 88, clientSize.height() - 33, 75, 25);
    QObject::connect(buttons.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(buttons.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    return buttons;
}

} // namespace hvn::console
