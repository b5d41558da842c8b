#pragma once

#include <QDialog>
#include <QStringList>

#include "data/Query.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace hvn::console {

class TMainForm;
class TOKBottomDlg;

// The printer groups dialog: the group box lists every group by its common name; the left list
// holds the printers of the shown group, leader first, the right list the printers in no group.
// Printers move between the lists and "登録" writes both; a group is made from an ungrouped
// printer, renamed through the rename window, or deleted. Each entry of the group box carries
// its group's identifier (the leader's PrinterID), so every write acts on that group alone,
// whatever other rows share its name. One lock bracket on the main window's connection per
// operation. Created once at start and shown modally from the main window's menu; the lists
// and the group box survive between showings. GUI thread only.
class TfrmPrinterSet : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrinterSet(QWidget *parent = nullptr);

    // The main window whose connection and lock the dialog uses; must outlive the dialog's use.
    void attach(TMainForm &form) { m_form = &form; }

    // ---- Handlers ----
    void ComboBox1Select();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();

    // The index in ComboBox1 of the group whose printers the lists show; -1 for none.
    int ShownGroupIndex = -1;
    // The lists hold moves that are not registered.
    bool Editing = false;

    QPushButton *Button2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QListWidget *ListBox1 = nullptr;
    QListWidget *ListBox2 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button6 = nullptr;
    QPushButton *Button7 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label3 = nullptr;
    // The rename window, created with this dialog.
    TOKBottomDlg *OKBottomDlg = nullptr;

    TQuery ADOQuery1;
    TQuery ADOCommand1;
    TQuery ADOCommand2;
    TQuery ADOCommand3;
    TQuery ADOCommand4;

public slots:
    // Esc asks as "戻る" does.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    // Shows the selected group without asking; a refused lock returns the group box to the
    // group the lists hold, or, when they hold none, empties the lists.
    void fillLists();
    // Asks whether unregistered moves may go (the confirmation text given); No selects the
    // shown group again. True when the handler may go on, the moves then dropped.
    bool dropMoves(const QString &question);
    void endEditing();
    void startEditing();
    void moveSelected(QListWidget *from, QListWidget *to);
    void setGroupButtonsEnabled();
    void selectShownGroup();
    int groupID(int index) const;
    QStringList printerNames(const QStringList &sql, int groupID);
    void registerLists();
    void ungroupPrinter(const QString &name);

    TMainForm *m_form = nullptr;
    // The group identifier whose printers the lists hold since their last fill; kNoLists
    // while they hold nothing read from the database.
    static constexpr int kNoLists = -1;
    int m_listedGroup = kNoLists;
};

} // namespace hvn::console
