#pragma once

#include <QDialog>

class QPushButton;

namespace hvn::console {

// The printer groups dialog: groups printers under one common name.
// Created once at start and shown modally from the main window's menu; hidden again, never
// destroyed, between showings. GUI thread only.
class TfrmPrinterSet : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrinterSet(QWidget *parent = nullptr);

    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
};

} // namespace hvn::console
