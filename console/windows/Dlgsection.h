#pragma once

#include <QDialog>

#include "data/Query.h"

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace hvn::console {

class TMainForm;

// The section tree editor: adds top-level sections and sub-sections, renames them in place and
// deletes a section with everything below it, in memory; OK writes the whole tree back to
// tblSectionInfo, marking the rows without a node as deleted. The tree is loaded when the
// dialog shows; both the load and the write-back run under the main window's database lock.
// Created once at start and shown modally from the main window's menu; the tree, Modified and
// MaxSectionID survive between showings. GUI thread only.
class TdlgSection : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSection(QWidget *parent = nullptr);

    // The main window whose connection and lock the dialog uses; must outlive the dialog's use.
    void attach(TMainForm &form) { m_form = &form; }

    // ---- Handlers ----
    void OKBtnClick();
    void CancelBtnClick();
    void tvwSectionChange();
    void tvwSectionEdited();
    void btnAddSection1Click();
    void btnAddSection2Click();
    void AddSection1Click();
    void AddSection2Click();
    void DeleteSectionClick();

    // The tree changed since the last successful load; OK writes only then.
    bool Modified = false;
    // The highest SectionID handed out; every added section takes the next one.
    int MaxSectionID = 0;

    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
    QTreeWidget *tvwSection = nullptr;
    QLineEdit *edtSelectSection = nullptr;
    QPushButton *btnAddSection1 = nullptr;
    QLineEdit *edtSectionName = nullptr;
    QPushButton *btnAddSection2 = nullptr;
    QPushButton *btnDeleteSection = nullptr;
    QLabel *Label1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *AddSection1 = nullptr;
    QAction *AddSection2 = nullptr;
    QAction *DeleteSection = nullptr;

    TQuery ADOQuery1;
    TQuery ADOCmdInsert;
    TQuery ADOCmdUpdate;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void addTopLevel(const QString &label);
    void addSubSection(const QString &label);
    QString typedName() const;
    void writeBack();
    void writeNode(const QTreeWidgetItem *node);
    void markDeletedRows();
    void updateRow(int id, const QString &name, int parentID, int level, const QString &fullName);
    void execRowCommand(TQuery &command, const QStringList &sql, int id, const QString &name, int parentID, int level,
                        const QString &fullName);

    TMainForm *m_form = nullptr;
    // The tree was read in full at the latest showing; otherwise writing it back would mark
    // every section it lacks as deleted.
    bool m_treeLoaded = false;
};

} // namespace hvn::console
