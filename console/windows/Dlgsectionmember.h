#pragma once

#include <QDialog>

#include "data/Query.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace hvn::console {

class TMainForm;

// The section membership dialog: shows the section tree and, for the shown section, the
// users without a live section beside the section's users; names move between the two lists
// and "登録" writes every listed user's SectionID. The tree load, each fill of the lists and
// each registration run in a lock bracket of their own on the main window's connection.
// Created once at start and shown modally from the main window's menu; controls and members
// survive between showings, but no unregistered move outlives a closing. GUI thread only.
class TdlgSectionMember : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSectionMember(QWidget *parent = nullptr);

    // The main window whose connection and lock the dialog uses; must outlive the dialog's use.
    void attach(TMainForm &form) { m_form = &form; }

    // ---- Handlers ----
    void tvwSectionChange();
    // Fills both lists for the section; on a refused lock or a database error both lists are
    // left empty, so that no other section's users can be registered into it.
    void FillMemberLists(int sectionID);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    // The node whose users the lists show; null when none is shown.
    QTreeWidgetItem *ShownNode = nullptr;
    // The lists hold moves that are not registered.
    bool Editing = false;
    // The tree is being built; selection changes are ignored.
    bool Loading = false;

    QLabel *Label1 = nullptr;
    QTreeWidget *tvwSection = nullptr;
    QGroupBox *gpbMember = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QListWidget *lbMemberFrom = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QListWidget *lbMemberTo = nullptr;
    QLabel *Label4 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;

    TQuery ADOQuery1;
    TQuery ADOQuery2;

public slots:
    // Esc asks as "閉じる" does while moves are unregistered.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    // The title-bar close box closes without asking.
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void showSection();
    void endEditing();
    void moveSelected(QListWidget *from, QListWidget *to);
    void forgetShownSection();
    QStringList userNames(const QStringList &sql, int sectionID);
    void registerUser(int sectionID, const QString &userName);

    TMainForm *m_form = nullptr;
    bool m_closingByBox = false; // inside closeEvent: reject() closes without asking
    bool m_revertingSelection = false;
};

} // namespace hvn::console
