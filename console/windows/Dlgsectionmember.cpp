#include "windows/Dlgsectionmember.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "app/ErrorDisplay.h"
#include "app/MessageBoxes.h"
#include "lock/DatabaseLock.h"
#include "lock/WaitCursor.h"
#include "mainform/Mainform.h"
#include "windows/DialogControls.h"
#include "windows/SectionTree.h"

namespace hvn::console {

namespace {

const QString kEditingText = QStringLiteral("編集中");

bool confirmed(const QString &text)
{
    return MessageBoxes::show({nullptr, QString(), text, QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Ok})
        == QMessageBox::Ok;
}

void fillList(QListWidget *list, const QStringList &names)
{
    list->clear();
    list->addItems(names);
}

} // namespace

TdlgSectionMember::TdlgSectionMember(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("dlgSectionMember"));
    setWindowTitle(QStringLiteral("部員登録"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(733, 448);

    Label1 = makeLabel(this, "Label1", QStringLiteral("部署一覧"), QRect(8, 8, 120, 16));
    tvwSection = new QTreeWidget(this);
    tvwSection->setObjectName(QStringLiteral("tvwSection"));
    tvwSection->setGeometry(8, 26, 241, 414);
    setUpSectionTree(*tvwSection);
    tvwSection->setEditTriggers(QAbstractItemView::NoEditTriggers);

    gpbMember = new QGroupBox(QStringLiteral("gpbMember"), this);
    gpbMember->setObjectName(QStringLiteral("gpbMember"));
    gpbMember->setGeometry(257, 8, 468, 393);
    Label2 = makeLabel(gpbMember, "Label2", QStringLiteral("無所属"), QRect(12, 22, 180, 16));
    Label3 = makeLabel(gpbMember, "Label3", QStringLiteral("所属メンバー"), QRect(276, 22, 180, 16));
    lbMemberFrom = makeList(gpbMember, "lbMemberFrom", QRect(12, 40, 180, 305));
    Button1 = makeButton(gpbMember, "Button1", QStringLiteral("≫"), QRect(202, 150, 64, 25));
    Button2 = makeButton(gpbMember, "Button2", QStringLiteral("≪"), QRect(202, 190, 64, 25));
    lbMemberTo = makeList(gpbMember, "lbMemberTo", QRect(276, 40, 180, 305));
    Label4 = makeLabel(gpbMember, "Label4", QStringLiteral("変更中"), QRect(12, 353, 120, 16));
    Button3 = makeButton(gpbMember, "Button3", QStringLiteral("登録"), QRect(381, 356, 75, 25));
    Button3->setEnabled(false);
    Button4 = makeButton(this, "Button4", QStringLiteral("閉じる"), QRect(650, 413, 75, 25));

    setTabOrder(tvwSection, lbMemberFrom);
    setTabOrder(lbMemberFrom, lbMemberTo);
    setTabOrder(lbMemberTo, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);

    connect(tvwSection, &QTreeWidget::itemSelectionChanged, this,
            [this] { runReported([this] { tvwSectionChange(); }, this); });
    connect(Button1, &QPushButton::clicked, this, &TdlgSectionMember::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TdlgSectionMember::Button2Click);
    connect(Button3, &QPushButton::clicked, this, [this] { runReported([this] { Button3Click(); }, this); });
    connect(Button4, &QPushButton::clicked, this, &TdlgSectionMember::Button4Click);
}

void TdlgSectionMember::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    runReported([this] { FormShow(); }, this);
}

void TdlgSectionMember::FormShow()
{
    const WaitCursor cursor;
    if (!m_form)
        return;
    {
        DatabaseLock lock(*m_form);
        if (!lock.granted()) {
            // The lists may still hold moves discarded at the last closing: nothing is shown
            // until a section is chosen and its users can be read.
            forgetShownSection();
            return;
        }
        const std::optional<ReadSnapshot> snapshot = sectionTreeSnapshot(lock, m_form->DBConection);
        Loading = true;
        ShownNode = nullptr;
        loadSectionTree(*tvwSection, ADOQuery1, m_form->DBConection, false);
    }
    Loading = false;
    endEditing();
    if (QTreeWidgetItem *first = tvwSection->topLevelItem(0)) {
        selectNode(*tvwSection, first);
        showSection();
    } else {
        forgetShownSection();
    }
}

// Nothing shown, nothing to move, nothing to register.
void TdlgSectionMember::forgetShownSection()
{
    Loading = true;
    selectNode(*tvwSection, nullptr);
    Loading = false;
    ShownNode = nullptr;
    gpbMember->setTitle(QString());
    lbMemberFrom->clear();
    lbMemberTo->clear();
    endEditing();
}

void TdlgSectionMember::tvwSectionChange()
{
    if (Loading || m_revertingSelection)
        return;
    if (Editing && selectedNode(*tvwSection) != ShownNode
        && !confirmed(QStringLiteral("変更を破棄しますか？"))) {
        m_revertingSelection = true;
        selectNode(*tvwSection, ShownNode);
        m_revertingSelection = false;
        return;
    }
    showSection();
}

void TdlgSectionMember::showSection()
{
    QTreeWidgetItem *node = selectedNode(*tvwSection);
    ShownNode = node;
    endEditing();
    if (node) {
        gpbMember->setTitle(nodePath(node, QStringLiteral("-")));
        FillMemberLists(sectionID(node));
    } else {
        gpbMember->setTitle(QString());
    }
}

void TdlgSectionMember::endEditing()
{
    Editing = false;
    Button3->setEnabled(false);
    Label4->clear();
}

void TdlgSectionMember::FillMemberLists(int sectionID)
{
    const WaitCursor cursor;
    lbMemberFrom->clear();
    lbMemberTo->clear();
    if (!m_form)
        return;
    DatabaseLock lock(*m_form);
    if (!lock.granted())
        return;
    const ReadSnapshot snapshot = lock.readSnapshot(m_form->DBConection);
    // Users whose section was deleted (or never existed) belong to no section as much as those
    // with 0, and this is the only list that can reach them.
    const QStringList withoutSection = userNames(
        {QStringLiteral("SELECT UserName"), QStringLiteral(" FROM tblUserInfo"),
         QStringLiteral(" WHERE SectionID = 0"),
         QStringLiteral("    OR SectionID IS NULL"),
         QStringLiteral("    OR SectionID NOT IN (SELECT SectionID FROM tblSectionInfo WHERE ParentSectionID <> -1);")},
        0);
    const QStringList members = userNames({QStringLiteral("SELECT UserName"), QStringLiteral(" FROM tblUserInfo"),
                                           QStringLiteral(" WHERE SectionID = :SectionID;")},
                                          sectionID);
    fillList(lbMemberFrom, withoutSection);
    fillList(lbMemberTo, members);
}

QStringList TdlgSectionMember::userNames(const QStringList &sql, int sectionID)
{
    ADOQuery2.close();
    ADOQuery2.clearParams();
    ADOQuery2.SQL() = sql;
    ADOQuery2.setParam(QStringLiteral("SectionID"), sectionID);
    ADOQuery2.open(m_form->DBConection);
    QStringList names;
    for (int row = 0; row < ADOQuery2.rowCount(); ++row)
        names << ADOQuery2.value(row, QStringLiteral("UserName")).toString();
    ADOQuery2.close();
    return names;
}

void TdlgSectionMember::moveSelected(QListWidget *from, QListWidget *to)
{
    const int row = from->currentRow();
    if (row < 0 || !from->item(row)->isSelected())
        return;
    to->addItem(from->item(row)->text());
    Editing = true;
    Button3->setEnabled(true);
    Label4->setText(kEditingText);
    delete from->takeItem(row);
    from->setCurrentRow(-1);
}

void TdlgSectionMember::Button1Click()
{
    moveSelected(lbMemberFrom, lbMemberTo);
}

void TdlgSectionMember::Button2Click()
{
    moveSelected(lbMemberTo, lbMemberFrom);
}

void TdlgSectionMember::Button3Click()
{
    QTreeWidgetItem *node = selectedNode(*tvwSection);
    if (!Editing || !node || node != ShownNode || !m_form)
        return;
    const int id = sectionID(node);
    const WaitCursor cursor;
    DatabaseLock lock(*m_form);
    if (!lock.granted())
        return;
    for (const QString &name : listEntries(*lbMemberFrom))
        registerUser(0, name);
    for (const QString &name : listEntries(*lbMemberTo))
        registerUser(id, name);
    endEditing();
}

void TdlgSectionMember::registerUser(int sectionID, const QString &userName)
{
    ADOQuery2.close();
    ADOQuery2.clearParams();
    ADOQuery2.SQL() = QStringList{QStringLiteral("UPDATE tblUserInfo"), QStringLiteral(" SET SectionID = :SectionID"),
                                  QStringLiteral(" WHERE UserName=:UserName;")};
    ADOQuery2.setParam(QStringLiteral("SectionID"), sectionID);
    ADOQuery2.setParam(QStringLiteral("UserName"), userName);
    ADOQuery2.execSql(m_form->DBConection);
}

void TdlgSectionMember::Button4Click()
{
    if (Editing && !confirmed(QStringLiteral("登録していませんが変更を無視してウィンドウを閉じますか。")))
        return;
    accept();
}

void TdlgSectionMember::reject()
{
    if (!m_closingByBox && Editing
        && !confirmed(QStringLiteral("登録していませんが変更を無視してウィンドウを閉じますか。")))
        return;
    QDialog::reject();
}

void TdlgSectionMember::closeEvent(QCloseEvent *event)
{
    // QDialog closes through reject(); the box's way out is not the one that asks.
    m_closingByBox = true;
    QDialog::closeEvent(event);
    m_closingByBox = false;
}

} // namespace hvn::console
