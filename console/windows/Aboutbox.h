#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace hvn::console {

// The about box: program name, version and a short description; OK closes it. Created once
// at start and shown modally by the help menu. GUI thread only.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Copyright = nullptr;
    QLabel *Comments = nullptr;
    QPushButton *OKButton = nullptr;
};

} // namespace hvn::console
