#pragma once

#include <QDialog>

class QPushButton;

namespace hvn::console {

// The section membership dialog: assigns users to sections.
// Created once at start and shown modally from the main window's menu; hidden again, never
// destroyed, between showings. GUI thread only.
class TdlgSectionMember : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSectionMember(QWidget *parent = nullptr);

    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
};

} // namespace hvn::console
