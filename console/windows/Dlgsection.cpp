#include "windows/Dlgsection.h"

#include <exception>

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
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

const QString kDefaultSectionName = QStringLiteral("SectionName");
const QString kDeletedName = QStringLiteral("delete");

QAction *makeItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void showNotice(QWidget *parent, const QString &text)
{
    MessageBoxes::show({parent, QApplication::applicationName(), text, QMessageBox::NoIcon, QMessageBox::Ok,
                        QMessageBox::Ok});
}

} // namespace

TdlgSection::TdlgSection(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("dlgSection"));
    setWindowTitle(QStringLiteral("部署設定"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(461, 455);

    OKBtn = makeButton(this, "OKBtn", QStringLiteral("OK"), QRect(289, 420, 75, 25));
    OKBtn->setDefault(true);
    CancelBtn = makeButton(this, "CancelBtn", QStringLiteral("キャンセル"), QRect(376, 420, 75, 25));

    tvwSection = new QTreeWidget(this);
    tvwSection->setObjectName(QStringLiteral("tvwSection"));
    tvwSection->setGeometry(8, 8, 445, 312);
    setUpSectionTree(*tvwSection);
    tvwSection->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tvwSection->setContextMenuPolicy(Qt::CustomContextMenu);

    Label1 = new QLabel(QStringLiteral("選択されている部署"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 328, 200, 16);
    edtSelectSection = makeEdit(this, "edtSelectSection", QRect(8, 346, 445, 21));
    edtSelectSection->setReadOnly(true);

    btnAddSection1 = makeButton(this, "btnAddSection1", QStringLiteral("最上位部署追加"), QRect(8, 378, 105, 25));
    edtSectionName = makeEdit(this, "edtSectionName", QRect(120, 380, 189, 21));
    btnAddSection2 = makeButton(this, "btnAddSection2", QStringLiteral("追加"), QRect(316, 378, 65, 25));
    btnDeleteSection = makeButton(this, "btnDeleteSection", QStringLiteral("削除"), QRect(388, 378, 65, 25));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AddSection1 = makeItem(PopupMenu1, "AddSection1", QStringLiteral("最上位部署追加"));
    AddSection2 = makeItem(PopupMenu1, "AddSection2", QStringLiteral("部署追加"));
    DeleteSection = makeItem(PopupMenu1, "DeleteSection", QStringLiteral("部署削除"));

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, tvwSection);
    setTabOrder(tvwSection, edtSelectSection);
    setTabOrder(edtSelectSection, btnAddSection1);
    setTabOrder(btnAddSection1, edtSectionName);
    setTabOrder(edtSectionName, btnAddSection2);
    setTabOrder(btnAddSection2, btnDeleteSection);

    connect(OKBtn, &QPushButton::clicked, this, [this] {
        runReported([this] { OKBtnClick(); }, this);
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &TdlgSection::CancelBtnClick);
    connect(tvwSection, &QTreeWidget::itemSelectionChanged, this, &TdlgSection::tvwSectionChange);
    // Emitted on every committed edit, also when the label stays the same; the view has
    // already stored the label when this runs.
    connect(tvwSection->itemDelegate(), &QAbstractItemDelegate::commitData, this, &TdlgSection::tvwSectionEdited);
    connect(tvwSection, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(tvwSection->viewport()->mapToGlobal(at)); });
    connect(btnAddSection1, &QPushButton::clicked, this, &TdlgSection::btnAddSection1Click);
    connect(btnAddSection2, &QPushButton::clicked, this, &TdlgSection::btnAddSection2Click);
    connect(btnDeleteSection, &QPushButton::clicked, this, &TdlgSection::DeleteSectionClick);
    connect(AddSection1, &QAction::triggered, this, &TdlgSection::AddSection1Click);
    connect(AddSection2, &QAction::triggered, this, &TdlgSection::AddSection2Click);
    connect(DeleteSection, &QAction::triggered, this, &TdlgSection::DeleteSectionClick);
}

void TdlgSection::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    runReported([this] { FormShow(); }, this);
}

// A refused lock leaves the tree of the previous closing (empty at first) with Modified and
// MaxSectionID as they were; such a tree is never written back.
void TdlgSection::FormShow()
{
    const WaitCursor cursor;
    m_treeLoaded = false;
    if (!m_form)
        return;
    DatabaseLock lock(*m_form);
    if (!lock.granted())
        return;
    const std::optional<ReadSnapshot> snapshot = sectionTreeSnapshot(lock, m_form->DBConection);
    MaxSectionID = 0;
    const SectionTreeLoad load = loadSectionTree(*tvwSection, ADOQuery1, m_form->DBConection, true);
    MaxSectionID = load.maxSectionID;
    m_treeLoaded = load.complete;
    tvwSectionChange();
    Modified = false;
}

void TdlgSection::tvwSectionChange()
{
    edtSelectSection->setText(nodePath(selectedNode(*tvwSection), QStringLiteral("->")));
}

void TdlgSection::tvwSectionEdited()
{
    tvwSectionChange();
    Modified = true;
}

QString TdlgSection::typedName() const
{
    const QString text = edtSectionName->text();
    return text.isEmpty() ? kDefaultSectionName : text;
}

void TdlgSection::btnAddSection1Click()
{
    addTopLevel(typedName());
}

void TdlgSection::AddSection1Click()
{
    addTopLevel(kDefaultSectionName);
}

void TdlgSection::btnAddSection2Click()
{
    addSubSection(typedName());
}

void TdlgSection::AddSection2Click()
{
    addSubSection(kDefaultSectionName);
}

void TdlgSection::addTopLevel(const QString &label)
{
    selectNode(*tvwSection, nullptr);
    auto *node = new QTreeWidgetItem(tvwSection);
    node->setText(0, label);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    tvwSection->setFocus();
    node->setData(0, Qt::UserRole, ++MaxSectionID);
    Modified = true;
}

void TdlgSection::addSubSection(const QString &label)
{
    QTreeWidgetItem *parent = selectedNode(*tvwSection);
    if (!parent) {
        showNotice(this, QStringLiteral("上位部署が選択されていません。"));
        tvwSection->setFocus();
        return;
    }
    auto *node = new QTreeWidgetItem(parent);
    node->setText(0, label);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    parent->setExpanded(true);
    node->setData(0, Qt::UserRole, ++MaxSectionID);
    Modified = true;
    tvwSection->setFocus();
}

void TdlgSection::DeleteSectionClick()
{
    QTreeWidgetItem *node = selectedNode(*tvwSection);
    if (!node) {
        showNotice(this, QStringLiteral("部署が選択されていません。"));
        return;
    }
    delete node;
    selectNode(*tvwSection, tvwSection->currentItem());
    tvwSectionChange();
    Modified = true;
}

void TdlgSection::OKBtnClick()
{
    if (!Modified || !m_form)
        return;
    if (!m_treeLoaded) {
        showNotice(this, QStringLiteral("部署の一覧を読み込めなかったため、変更は保存されませんでした。"
                                        "もう一度開いてから変更してください。"));
        return;
    }
    const WaitCursor cursor;
    DatabaseLock lock(*m_form);
    if (lock.granted())
        writeBack();
}

void TdlgSection::CancelBtnClick()
{
    reject();
}

// Pass 1 writes every node, parents before their children; pass 2 marks the rows that no
// node stands for. There is no transaction: a failing statement leaves the earlier ones done.
void TdlgSection::writeBack()
{
    for (const QTreeWidgetItem *node : treeOrder(*tvwSection))
        writeNode(node);
    try {
        markDeletedRows();
    } catch (const std::exception &) {
        // The rows not reached stay unmarked until the next write-back.
    }
    ADOQuery1.close();
}

void TdlgSection::writeNode(const QTreeWidgetItem *node)
{
    const int id = sectionID(node);
    const QString name = node->text(0);
    const int parentID = node->parent() ? sectionID(node->parent()) : 0;
    QString fullName = name;
    int level = 1;
    for (const QTreeWidgetItem *up = node->parent(); up; up = up->parent()) {
        fullName = up->text(0) + QLatin1Char(' ') + fullName;
        ++level;
    }

    ADOQuery1.close();
    ADOQuery1.clearParams();
    ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT * FROM tblSectionInfo"),
                                  QStringLiteral(" WHERE SectionID = :Section")};
    ADOQuery1.setParam(QStringLiteral("Section"), id);
    ADOQuery1.open(m_form->DBConection);
    const bool exists = ADOQuery1.rowCount() > 0;
    ADOQuery1.close();
    if (exists) {
        updateRow(id, name, parentID, level, fullName);
        return;
    }
    execRowCommand(ADOCmdInsert,
                   {QStringLiteral("INSERT INTO tblSectionInfo"),
                    QStringLiteral(" (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"),
                    QStringLiteral(" VALUES"), QStringLiteral(" (:ID,:Name,:ParentID,:Level,:FullName);")},
                   id, name, parentID, level, fullName);
}

void TdlgSection::markDeletedRows()
{
    ADOQuery1.close();
    ADOQuery1.clearParams();
    ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT * FROM tblSectionInfo;")};
    ADOQuery1.open(m_form->DBConection);
    for (int row = 0; row < ADOQuery1.rowCount(); ++row) {
        const int id = ADOQuery1.value(row, QStringLiteral("SectionID")).toInt();
        if (!findNodeByID(*tvwSection, id))
            updateRow(id, kDeletedName, -1, -1, kDeletedName);
    }
}

void TdlgSection::updateRow(int id, const QString &name, int parentID, int level, const QString &fullName)
{
    execRowCommand(ADOCmdUpdate,
                   {QStringLiteral("UPDATE tblSectionInfo"),
                    QStringLiteral(" SET SectionName = :Name, ParentSectionID = :ParentID, SectionLevel = :Level,"
                                   " SectionFullName = :FullName"),
                    QStringLiteral(" WHERE"), QStringLiteral(" SectionID = :ID;")},
                   id, name, parentID, level, fullName);
}

// The statement takes one row's values as :ID, :Name, :ParentID, :Level and :FullName.
void TdlgSection::execRowCommand(TQuery &command, const QStringList &sql, int id, const QString &name, int parentID,
                                 int level, const QString &fullName)
{
    command.clearParams();
    command.SQL() = sql;
    command.setParam(QStringLiteral("ID"), id);
    command.setParam(QStringLiteral("Name"), name);
    command.setParam(QStringLiteral("ParentID"), parentID);
    command.setParam(QStringLiteral("Level"), level);
    command.setParam(QStringLiteral("FullName"), fullName);
    command.execSql(m_form->DBConection);
}

} // namespace hvn::console
