#pragma once

#include <QSize>
#include <QString>

class QDialog;
class QPushButton;

namespace hvn::console {

struct DialogButtons {
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
};

// Gives a fixed-size dialog its object name, caption and client size, and the OK / キャンセル
// pair at its bottom right: OK is the default button and accepts, キャンセル rejects.
// The buttons are children of the dialog. GUI thread only.
DialogButtons setUpFixedDialog(QDialog &dialog, const QString &objectName, const QString &caption,
                               QSize clientSize, const QString &okName, const QString &cancelName);

} // namespace hvn::console
