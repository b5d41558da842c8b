#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hvn::console {

// The rename window of the printer groups dialog: shows the name of the chosen group and takes
// the new one. OK asks for confirmation and, on Yes, puts the new name into the group box in
// place of the old one; the caller then writes it. Cancel, Esc and the close box change
// nothing. Created once with the printer groups dialog and reused. GUI thread only.
class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget *parent = nullptr);

    // The group box whose selected entry is renamed; must outlive this window's use.
    void attach(QComboBox &groupBox) { m_groupBox = &groupBox; }

    void OKBtnClick();

    QLabel *Label1 = nullptr;
    QLabel *StaticText1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QComboBox *m_groupBox = nullptr;
};

} // namespace hvn::console
