#pragma once

#include <QDialog>

class QPushButton;

namespace hvn::console {

// The data deletion dialog: removes old print records.
// Created once at start and shown modally from the main window's menu; hidden again, never
// destroyed, between showings. GUI thread only.
class TfrmDelete : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelete(QWidget *parent = nullptr);

    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
};

} // namespace hvn::console
