#include "windows/Frmprinterset.h"

#include <algorithm>
#include <optional>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/ErrorDisplay.h"
#include "app/MessageBoxes.h"
#include "lock/DatabaseLock.h"
#include "lock/WaitCursor.h"
#include "mainform/Mainform.h"
#include "windows/DialogControls.h"
#include "windows/Okbottomdlg.h"
#include "windows/WindowCentring.h"

namespace hvn::console {

namespace {

const QString kEditingText = QStringLiteral("編集中");

QMessageBox::StandardButton ask(QWidget *parent, const QString &caption, const QString &text,
                                QMessageBox::StandardButtons buttons)
{
    const QMessageBox::StandardButton first = buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    return MessageBoxes::show({parent, caption, text, QMessageBox::NoIcon, buttons, first});
}

QString selectedEntry(const QListWidget *list)
{
    const QListWidgetItem *item = list->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void selectEntry(QListWidget *list, const QString &name)
{
    const QList<QListWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
    if (!found.isEmpty())
        list->setCurrentItem(found.first());
}

} // namespace

TfrmPrinterSet::TfrmPrinterSet(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmPrinterSet"));
    setWindowTitle(QStringLiteral("プリンタの設定"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(599, 444);

    Button2 = makeButton(this, "Button2", QStringLiteral("戻る"), QRect(504, 404, 81, 27));
    Label1 = makeLabel(this, "Label1", QStringLiteral("プリンタグループ名"), QRect(16, 12, 240, 16));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(16, 30, 241, 24);
    Button4 = makeButton(this, "Button4", QStringLiteral("プリンタグループ名編集"), QRect(268, 29, 161, 27));
    Label2 = makeLabel(this, "Label2", QStringLiteral("プリンタ名"), QRect(16, 70, 100, 16));
    Label4 = makeLabel(this, "Label4", QString(), QRect(150, 70, 107, 16));
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3 = makeLabel(this, "Label3", QStringLiteral("グループに所属していないプリンタ名"), QRect(344, 70, 241, 16));
    ListBox1 = makeList(this, "ListBox1", QRect(16, 88, 241, 304));
    Button1 = makeButton(this, "Button1", QStringLiteral(">>"), QRect(268, 190, 65, 27));
    Button3 = makeButton(this, "Button3", QStringLiteral("<<"), QRect(268, 234, 65, 27));
    ListBox2 = makeList(this, "ListBox2", QRect(344, 88, 241, 304));
    Button5 = makeButton(this, "Button5", QStringLiteral("登録"), QRect(16, 404, 90, 27));
    Button6 = makeButton(this, "Button6", QStringLiteral("新規グループ"), QRect(114, 404, 90, 27));
    Button7 = makeButton(this, "Button7", QStringLiteral("グループ削除"), QRect(212, 404, 90, 27));
    Button5->setEnabled(false);

    setTabOrder(Button2, ComboBox1);
    setTabOrder(ComboBox1, ListBox1);
    setTabOrder(ListBox1, ListBox2);
    setTabOrder(ListBox2, Button1);
    setTabOrder(Button1, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Button5);
    setTabOrder(Button5, Button6);
    setTabOrder(Button6, Button7);

    OKBottomDlg = new TOKBottomDlg(this);
    OKBottomDlg->attach(*ComboBox1);

    const auto reported = [this](void (TfrmPrinterSet::*handler)()) {
        return [this, handler] { runReported([this, handler] { (this->*handler)(); }, this); };
    };
    connect(ComboBox1, &QComboBox::activated, this, reported(&TfrmPrinterSet::ComboBox1Select));
    connect(Button1, &QPushButton::clicked, this, &TfrmPrinterSet::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmPrinterSet::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmPrinterSet::Button3Click);
    connect(Button4, &QPushButton::clicked, this, reported(&TfrmPrinterSet::Button4Click));
    connect(Button5, &QPushButton::clicked, this, reported(&TfrmPrinterSet::Button5Click));
    connect(Button6, &QPushButton::clicked, this, reported(&TfrmPrinterSet::Button6Click));
    connect(Button7, &QPushButton::clicked, this, reported(&TfrmPrinterSet::Button7Click));
}

void TfrmPrinterSet::showEvent(QShowEvent *event)
{
    if (m_form)
        centreOver(*this, *m_form);
    QDialog::showEvent(event);
    runReported([this] { FormShow(); }, this);
}

void TfrmPrinterSet::FormShow()
{
    const WaitCursor cursor;
    endEditing();
    ComboBox1->clear();
    ShownGroupIndex = -1;
    if (m_form) {
        DatabaseLock lock(*m_form);
        if (lock.granted()) {
            const ReadSnapshot snapshot = lock.readSnapshot(m_form->DBConection);
            ADOQuery1.close();
            ADOQuery1.clearParams();
            ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT CommonPrinterName, GroupPrinterID"),
                                          QStringLiteral(" FROM tblPrintingMachineInfo"),
                                          QStringLiteral(" WHERE ParentPrinterID = 0"),
                                          QStringLiteral("   AND GroupPrinterID <> 0;")};
            ADOQuery1.open(m_form->DBConection);
            for (int row = 0; row < ADOQuery1.rowCount(); ++row)
                ComboBox1->addItem(ADOQuery1.value(row, QStringLiteral("CommonPrinterName")).toString(),
                                   ADOQuery1.value(row, QStringLiteral("GroupPrinterID")).toInt());
            ADOQuery1.close();
            ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
            ShownGroupIndex = ComboBox1->currentIndex();
        }
    }
    // The lists were filled for an earlier opening's group box.
    m_listedGroup = kNoLists;
    fillLists();
    setGroupButtonsEnabled();
    endEditing();
}

int TfrmPrinterSet::groupID(int index) const
{
    return index >= 0 && index < ComboBox1->count() ? ComboBox1->itemData(index).toInt() : 0;
}

void TfrmPrinterSet::setGroupButtonsEnabled()
{
    const bool groups = ComboBox1->count() > 0;
    Button1->setEnabled(groups);
    Button3->setEnabled(groups);
    Button4->setEnabled(groups);
    Button7->setEnabled(groups);
}

void TfrmPrinterSet::selectShownGroup()
{
    ComboBox1->setCurrentIndex(ShownGroupIndex < ComboBox1->count() ? ShownGroupIndex : -1);
}

void TfrmPrinterSet::endEditing()
{
    Editing = false;
    Label4->clear();
    Button5->setEnabled(false);
}

void TfrmPrinterSet::startEditing()
{
    Editing = true;
    Button5->setEnabled(true);
    Label4->setText(kEditingText);
}

bool TfrmPrinterSet::dropMoves(const QString &question)
{
    if (!Editing)
        return true;
    if (ask(this, QStringLiteral("確認"), question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        selectShownGroup();
        return false;
    }
    endEditing();
    return true;
}

void TfrmPrinterSet::ComboBox1Select()
{
    if (!dropMoves(QStringLiteral("変更内容が登録されていません。変更を無効にてプリンタグループ名を選択しますか。")))
        return;
    fillLists();
}

QStringList TfrmPrinterSet::printerNames(const QStringList &sql, int id)
{
    ADOQuery1.close();
    ADOQuery1.clearParams();
    ADOQuery1.SQL() = sql;
    ADOQuery1.setParam(QStringLiteral("GrPrnID"), id);
    ADOQuery1.open(m_form->DBConection);
    QStringList names;
    for (int row = 0; row < ADOQuery1.rowCount(); ++row)
        names << ADOQuery1.value(row, QStringLiteral("PrinterName")).toString();
    ADOQuery1.close();
    return names;
}

void TfrmPrinterSet::fillLists()
{
    const WaitCursor cursor;
    std::optional<DatabaseLock> lock;
    if (m_form)
        lock.emplace(*m_form);
    if (!lock || !lock->granted()) {
        // The group box goes back to the group the lists show; lists that show none are emptied.
        const int listed = ComboBox1->findData(m_listedGroup);
        if (m_listedGroup != kNoLists && (listed >= 0 || m_listedGroup == 0)) {
            ComboBox1->setCurrentIndex(listed);
            ShownGroupIndex = listed;
        } else {
            ListBox1->clear();
            ListBox2->clear();
            m_listedGroup = kNoLists;
        }
        return;
    }
    const ReadSnapshot snapshot = lock->readSnapshot(m_form->DBConection);
    ListBox1->clear();
    ListBox2->clear();
    m_listedGroup = kNoLists;
    const int id = groupID(ComboBox1->currentIndex());
    QStringList members;
    // The leader's own row first, whatever order the printers were entered in: ">>" keeps the
    // first entry in its group.
    if (id != 0)
        members = printerNames({QStringLiteral("SELECT PrinterName"), QStringLiteral(" FROM tblPrintingMachineInfo"),
                                QStringLiteral(" WHERE GroupPrinterID = :GrPrnID"),
                                QStringLiteral(" ORDER BY PrinterID <> GroupPrinterID, rowid;")},
                               id);
    const QStringList ungrouped =
        printerNames({QStringLiteral("SELECT PrinterName"), QStringLiteral(" FROM tblPrintingMachineInfo"),
                      QStringLiteral(" WHERE GroupPrinterID = 0;")},
                     0);
    ListBox1->addItems(members);
    ListBox2->addItems(ungrouped);
    m_listedGroup = id;
    ShownGroupIndex = ComboBox1->currentIndex();
}

void TfrmPrinterSet::moveSelected(QListWidget *from, QListWidget *to)
{
    const QString name = selectedEntry(from);
    if (name.isNull())
        return;
    const int row = from->currentRow();
    to->addItem(name);
    startEditing();
    delete from->takeItem(row);
    from->setCurrentRow(-1);
}

void TfrmPrinterSet::Button1Click()
{
    if (ListBox1->currentRow() == 0)
        return;
    moveSelected(ListBox1, ListBox2);
}

void TfrmPrinterSet::Button3Click()
{
    // Printers go only into a group the lists show.
    if (m_listedGroup == kNoLists || m_listedGroup == 0 || ShownGroupIndex != ComboBox1->currentIndex())
        return;
    moveSelected(ListBox2, ListBox1);
}

void TfrmPrinterSet::Button5Click()
{
    if (!m_form)
        return;
    const WaitCursor cursor;
    DatabaseLock lock(*m_form);
    if (!lock.granted())
        return;
    registerLists();
    endEditing();
}

// Writes both lists for the group they were filled for: the leader's own row names the group,
// and a group that no longer has it takes no members.
void TfrmPrinterSet::registerLists()
{
    const int index = ComboBox1->findData(m_listedGroup);
    if (m_listedGroup != kNoLists && m_listedGroup != 0 && index >= 0) {
        ADOQuery1.close();
        ADOQuery1.clearParams();
        ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT GroupPrinterID, PrinterID"),
                                      QStringLiteral(" FROM tblPrintingMachineInfo"),
                                      QStringLiteral(" WHERE GroupPrinterID = :GrPrnID AND PrinterID = GroupPrinterID;")};
        ADOQuery1.setParam(QStringLiteral("GrPrnID"), m_listedGroup);
        ADOQuery1.open(m_form->DBConection);
        const bool leaderFound = ADOQuery1.rowCount() > 0;
        const int leaderID = leaderFound ? ADOQuery1.value(0, QStringLiteral("PrinterID")).toInt() : 0;
        const int group = leaderFound ? ADOQuery1.value(0, QStringLiteral("GroupPrinterID")).toInt() : 0;
        ADOQuery1.close();
        if (leaderFound) {
            ADOCommand2.SQL() = QStringList{
                QStringLiteral("UPDATE tblPrintingMachineInfo"),
                QStringLiteral(" SET ParentPrinterID = :paPrnID1, GroupPrinterID = :grPrnID, CommonPrinterName = :cmPrnName"),
                QStringLiteral(" WHERE PrinterName = :PrnName AND PrinterID <> :paPrnID2"),
                QStringLiteral(";"),
            };
            for (const QString &name : listEntries(*ListBox1)) {
                ADOCommand2.clearParams();
                ADOCommand2.setParam(QStringLiteral("paPrnID1"), leaderID);
                ADOCommand2.setParam(QStringLiteral("grPrnID"), group);
                ADOCommand2.setParam(QStringLiteral("cmPrnName"), ComboBox1->itemText(index));
                ADOCommand2.setParam(QStringLiteral("PrnName"), name);
                ADOCommand2.setParam(QStringLiteral("paPrnID2"), leaderID);
                ADOCommand2.execSql(m_form->DBConection);
            }
        }
    }
    if (m_listedGroup == kNoLists)
        return;
    for (const QString &name : listEntries(*ListBox2))
        ungroupPrinter(name);
}

void TfrmPrinterSet::ungroupPrinter(const QString &name)
{
    ADOCommand3.clearParams();
    ADOCommand3.SQL() = QStringList{QStringLiteral("UPDATE tblPrintingMachineInfo"),
                                    QStringLiteral(" SET ParentPrinterID = 0,"), QStringLiteral(" GroupPrinterID = 0,"),
                                    QStringLiteral(" CommonPrinterName = PrinterName"),
                                    QStringLiteral(" WHERE PrinterName = :PrnName"), QStringLiteral(";")};
    ADOCommand3.setParam(QStringLiteral("PrnName"), name);
    ADOCommand3.execSql(m_form->DBConection);
}

void TfrmPrinterSet::Button6Click()
{
    if (Editing) {
        const QString kept = selectedEntry(ListBox2);
        if (!dropMoves(QStringLiteral("変更内容が登録されていません。変更を無効にて新規クループを作成しますか。")))
            return;
        fillLists();
        if (!kept.isNull())
            selectEntry(ListBox2, kept);
    }
    const QString name = selectedEntry(ListBox2);
    if (name.isNull() || m_listedGroup == kNoLists) {
        ask(this, QStringLiteral("注意"),
            QStringLiteral("グループに所属していないプリンタを選択してからボタンを押してください。"), QMessageBox::Ok);
        return;
    }
    if (!m_form)
        return;

    int leaderID = 0;
    {
        const WaitCursor cursor;
        DatabaseLock lock(*m_form);
        if (!lock.granted())
            return;
        // The chosen printer's own row becomes its leader; a group that carries the same name
        // is a different row and stays as it is.
        ADOCommand4.clearParams();
        ADOCommand4.SQL() = QStringList{QStringLiteral("UPDATE tblPrintingMachineInfo"),
                                        QStringLiteral(" SET GroupPrinterID = PrinterID"),
                                        QStringLiteral(" WHERE PrinterName = :PrnName AND GroupPrinterID = 0"),
                                        QStringLiteral(";")};
        ADOCommand4.setParam(QStringLiteral("PrnName"), name);
        ADOCommand4.execSql(m_form->DBConection);
        ADOQuery1.close();
        ADOQuery1.clearParams();
        ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT PrinterID FROM tblPrintingMachineInfo"),
                                      QStringLiteral(" WHERE PrinterName = :PrnName AND PrinterID = GroupPrinterID"),
                                      QStringLiteral("   AND ParentPrinterID = 0;")};
        ADOQuery1.setParam(QStringLiteral("PrnName"), name);
        ADOQuery1.open(m_form->DBConection);
        leaderID = ADOQuery1.rowCount() > 0 ? ADOQuery1.value(0, QStringLiteral("PrinterID")).toInt() : 0;
        ADOQuery1.close();
    }
    if (leaderID == 0)
        return;

    ComboBox1->addItem(name, leaderID);
    ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
    ShownGroupIndex = ComboBox1->currentIndex();
    ListBox1->clear();
    m_listedGroup = leaderID;
    moveSelected(ListBox2, ListBox1);
    Button5Click();
    setGroupButtonsEnabled();
}

void TfrmPrinterSet::Button4Click()
{
    const int index = ComboBox1->currentIndex();
    if (index < 0 || !m_form)
        return;
    const WaitCursor cursor;
    const QString oldName = ComboBox1->currentText();
    OKBottomDlg->exec();
    const QString newName = ComboBox1->itemText(index);
    if (newName != oldName) {
        bool renamed = false;
        {
            DatabaseLock lock(*m_form);
            if (lock.granted()) {
                ADOQuery1.close();
                ADOQuery1.clearParams();
                ADOQuery1.SQL() = QStringList{QStringLiteral("SELECT * FROM tblPrintingMachineInfo"),
                                              QStringLiteral(" WHERE CommonPrinterName = :pName;")};
                ADOQuery1.setParam(QStringLiteral("pName"), newName);
                ADOQuery1.open(m_form->DBConection);
                const bool taken = ADOQuery1.rowCount() > 0;
                ADOQuery1.close();
                if (taken) {
                    ask(this, QStringLiteral("エラー"), QStringLiteral("同一名のプリンタが既に存在するため変更できません。"),
                        QMessageBox::Ok);
                } else {
                    ADOCommand1.clearParams();
                    ADOCommand1.SQL() = QStringList{QStringLiteral("UPDATE tblPrintingMachineInfo"),
                                                    QStringLiteral(" SET CommonPrinterName = :CmPrnName1"),
                                                    QStringLiteral(" WHERE GroupPrinterID = :GrPrnID"),
                                                    QStringLiteral(";")};
                    ADOCommand1.setParam(QStringLiteral("CmPrnName1"), newName);
                    ADOCommand1.setParam(QStringLiteral("GrPrnID"), groupID(index));
                    ADOCommand1.execSql(m_form->DBConection);
                    renamed = true;
                }
            }
        }
        // The group box never names a group as the database does not.
        if (!renamed)
            ComboBox1->setItemText(index, oldName);
        ComboBox1->setCurrentIndex(index);
        ShownGroupIndex = index;
        ComboBox1Select();
    }
}

void TfrmPrinterSet::Button7Click()
{
    if (!dropMoves(QStringLiteral("変更内容が登録されていません。変更を無効にてクループを削除しますか。")))
        return;
    const int index = ComboBox1->currentIndex();
    if (index >= 0 && m_form) {
        const WaitCursor cursor;
        DatabaseLock lock(*m_form);
        if (lock.granted()) {
            // Every printer of the group as the database holds it, leader included.
            const QStringList printers = printerNames(
                {QStringLiteral("SELECT PrinterName"), QStringLiteral(" FROM tblPrintingMachineInfo"),
                 QStringLiteral(" WHERE GroupPrinterID = :GrPrnID;")},
                groupID(index));
            for (const QString &name : printers)
                ungroupPrinter(name);
            ComboBox1->removeItem(index);
            ComboBox1->setCurrentIndex(ComboBox1->count() == 0 ? -1 : std::min(index, ComboBox1->count() - 1));
            ShownGroupIndex = ComboBox1->currentIndex();
            setGroupButtonsEnabled();
        }
    }
    fillLists();
}

void TfrmPrinterSet::Button2Click()
{
    if (!dropMoves(QStringLiteral("変更内容が登録されていません。変更を無効にして終了しますか。")))
        return;
    QDialog::reject();
}

void TfrmPrinterSet::reject()
{
    Button2Click();
}

} // namespace hvn::console
