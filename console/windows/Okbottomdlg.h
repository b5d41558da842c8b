#pragma once

#include <QDialog>

class QPushButton;

namespace hvn::console {

// The rename confirmation of the printer groups dialog.
// Created once at start and shown modally from the main window's menu; hidden again, never
// destroyed, between showings. GUI thread only.
class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget *parent = nullptr);

    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
};

} // namespace hvn::console
