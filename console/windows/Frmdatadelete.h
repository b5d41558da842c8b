#pragma once

#include <QDialog>

#include "data/Query.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace hvn::console {

class TMainForm;
class UpDown;

// The data deletion dialog: removes every print record, or every record up to the end of a
// chosen month, after the administrator confirms. Created once at start (the current year and
// month then become the initial choice) and shown modally from the main window's menu; the
// choice survives between showings. Works on the main window's connection under its lock.
// GUI thread only.
class TfrmDelete : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelete(QWidget *parent = nullptr);

    // The main window whose connection and lock the deletion uses; must outlive the dialog's use.
    void attach(TMainForm &form) { m_form = &form; }

    void FormCreate();
    void RadioButton1Click();
    void UpDown1Click();
    void UpDown2Click();
    void Button1Click();
    void Button2Click();

    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QLabel *Label1 = nullptr;
    UpDown *UpDown1 = nullptr;
    QLabel *Label2 = nullptr;
    UpDown *UpDown2 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    TQuery ADOCommand1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void setMonthControlsEnabled(bool enabled);

    TMainForm *m_form = nullptr;
};

} // namespace hvn::console
