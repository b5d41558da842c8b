#pragma once

#include <QDialog>

class QPushButton;

namespace hvn::console {

// The section tree editor: adds, renames and deletes the sections of the organisation.
// Created once at start and shown modally from the main window's menu; hidden again, never
// destroyed, between showings. GUI thread only.
class TdlgSection : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSection(QWidget *parent = nullptr);

    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
};

} // namespace hvn::console
