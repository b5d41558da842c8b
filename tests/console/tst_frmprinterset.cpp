// The printer groups dialog and its rename window on the real main window's connection and
// lock: the lists of a group, moves, registration, new groups, renames and deletions.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"
#include "windows/Frmprinterset.h"
#include "windows/Okbottomdlg.h"

using hvn::console::TfrmPrinterSet;
using namespace hvn::console::test;

namespace {

const char *const kPrintersSql = "SELECT PrinterName, ParentPrinterID, GroupPrinterID, CommonPrinterName"
                                 " FROM tblPrintingMachineInfo ORDER BY PrinterID";

// Group "G" led by L (2), whose member M1 was entered before it; N, new from the service, is
// a group of its own; X and a printer named G are in no group.
void prepare(SQLite::Database &db)
{
    exec(db, "INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID,"
             " CommonPrinterName) VALUES (1, 'M1', 2, 2, 'G'), (2, 'L', 0, 2, 'G'), (3, 'X', 0, 0, 'X'),"
             " (4, 'N', 0, 4, 'N'), (5, 'G', 0, 0, 'G')");
}

QStringList entries(const QListWidget *list)
{
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

struct PrinterFixture : AttachedDialogFixture<TfrmPrinterSet> {
    PrinterFixture() : AttachedDialogFixture(prepare) {}
    QStringList groups() const
    {
        QStringList names;
        for (int i = 0; i < dialog.ComboBox1->count(); ++i)
            names << dialog.ComboBox1->itemText(i);
        return names;
    }
    QStringList lists() const
    {
        return {entries(dialog.ListBox1).join(QLatin1Char(',')), entries(dialog.ListBox2).join(QLatin1Char(','))};
    }
    void chooseGroup(int index)
    {
        dialog.ComboBox1->setCurrentIndex(index);
        emit dialog.ComboBox1->activated(index);
    }
    void move(QListWidget *from, const QString &name, QPushButton *button)
    {
        from->setCurrentItem(from->findItems(name, Qt::MatchExactly).value(0));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Renames the shown group through the rename window, confirming with Yes.
    void rename(const QString &name, MessageRecorder &messages)
    {
        messages.answers.prepend(QMessageBox::Yes);
        QTimer::singleShot(0, dialog.OKBottomDlg, [this, name] {
            dialog.OKBottomDlg->Edit2->setText(name);
            QTest::mouseClick(dialog.OKBottomDlg->OKBtn, Qt::LeftButton);
        });
        QTest::mouseClick(dialog.Button4, Qt::LeftButton);
    }
};

} // namespace

class TstFrmPrinterSet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void groupListShowsLeaderFirstBesideUngroupedPrinters();
    void registeringMakesMembersOfTheLeadersOwnRow();
    void newGroupActsOnTheChosenPrinterOnly();
    void renameActsOnTheShownGroupAndRefusesTakenNames();
    void deletingGroupsDownToTheLast();
    void confirmationsAndRefusedLocksKeepListsAndGroupBoxAgreed();
};

void TstFrmPrinterSet::groupListShowsLeaderFirstBesideUngroupedPrinters()
{
    PrinterFixture f;
    f.dialog.show();
    QCOMPARE(f.groups(), (QStringList{"G", "N"}));
    QCOMPARE(f.lists(), (QStringList{"L,M1", "X,G"}));
    QVERIFY(!f.dialog.Button5->isEnabled());
    f.chooseGroup(1);
    QCOMPARE(f.lists(), (QStringList{"N", "X,G"}));
    QCOMPARE(f.dialog.ShownGroupIndex, 1);
    QVERIFY(databaseMutexFree());
}

void TstFrmPrinterSet::registeringMakesMembersOfTheLeadersOwnRow()
{
    PrinterFixture f;
    f.dialog.show();
    f.move(f.dialog.ListBox1, QStringLiteral("L"), f.dialog.Button1);
    QCOMPARE(f.lists(), (QStringList{"L,M1", "X,G"}));
    QVERIFY(!f.dialog.Editing);
    f.move(f.dialog.ListBox1, QStringLiteral("M1"), f.dialog.Button1);
    f.move(f.dialog.ListBox2, QStringLiteral("X"), f.dialog.Button3);
    QCOMPARE(f.lists(), (QStringList{"L,X", "G,M1"}));
    QCOMPARE(f.dialog.Label4->text(), QStringLiteral("編集中"));
    QVERIFY(f.dialog.Button5->isEnabled());

    QTest::mouseClick(f.dialog.Button5, Qt::LeftButton);
    QCOMPARE(f.rows(kPrintersSql),
             (QStringList{"M1|0|0|M1", "L|0|2|G", "X|2|2|G", "N|0|4|N", "G|0|0|G"}));
    QVERIFY(!f.dialog.Editing && !f.dialog.Button5->isEnabled());
    QCOMPARE(f.dialog.Label4->text(), QString());
    QVERIFY(databaseMutexFree());
}

void TstFrmPrinterSet::newGroupActsOnTheChosenPrinterOnly()
{
    PrinterFixture f;
    MessageRecorder messages;
    f.dialog.show();
    f.dialog.ListBox2->setCurrentRow(-1);
    QTest::mouseClick(f.dialog.Button6, Qt::LeftButton);
    QCOMPARE(messages.texts(), QStringList{"グループに所属していないプリンタを選択してからボタンを押してください。"});
    QCOMPARE(messages.requests.last().caption, QStringLiteral("注意"));

    // The ungrouped printer named G becomes a group; the group already named G stays whole.
    f.move(f.dialog.ListBox2, QStringLiteral("G"), f.dialog.Button6);
    QCOMPARE(f.groups(), (QStringList{"G", "N", "G"}));
    QCOMPARE(f.dialog.ComboBox1->currentIndex(), 2);
    QCOMPARE(f.lists(), (QStringList{"G", "X"}));
    QVERIFY(!f.dialog.Editing && !f.dialog.Button5->isEnabled());
    QCOMPARE(f.rows(kPrintersSql),
             (QStringList{"M1|2|2|G", "L|0|2|G", "X|0|0|X", "N|0|4|N", "G|0|5|G"}));
    f.chooseGroup(0);
    QCOMPARE(f.lists(), (QStringList{"L,M1", "X"}));
    QVERIFY(databaseMutexFree());
}

void TstFrmPrinterSet::renameActsOnTheShownGroupAndRefusesTakenNames()
{
    PrinterFixture f;
    MessageRecorder messages;
    f.dialog.show();
    f.chooseGroup(1);
    const QStringList stored = f.rows(kPrintersSql);

    // X is the common name of the ungrouped printer X.
    f.rename(QStringLiteral("X"), messages);
    QCOMPARE(messages.texts(), (QStringList{"<N>を<X>に変更します。よろしいですか。",
                                            "同一名のプリンタが既に存在するため変更できません。"}));
    QCOMPARE(messages.requests.last().caption, QStringLiteral("エラー"));
    QCOMPARE(f.groups(), (QStringList{"G", "N"}));
    QCOMPARE(f.rows(kPrintersSql), stored);

    messages.requests.clear();
    f.rename(QStringLiteral("N"), messages);
    QCOMPARE(messages.requests.size(), 1);
    QCOMPARE(f.rows(kPrintersSql), stored);

    // No in the confirmation changes nothing either.
    messages.answers = {QMessageBox::No};
    QTimer::singleShot(0, f.dialog.OKBottomDlg, [&f] {
        f.dialog.OKBottomDlg->Edit2->setText(QStringLiteral("Z"));
        QTest::mouseClick(f.dialog.OKBottomDlg->OKBtn, Qt::LeftButton);
    });
    QTest::mouseClick(f.dialog.Button4, Qt::LeftButton);
    QCOMPARE(f.groups(), (QStringList{"G", "N"}));

    f.rename(QStringLiteral("N2"), messages);
    QCOMPARE(f.groups(), (QStringList{"G", "N2"}));
    QCOMPARE(f.dialog.ComboBox1->currentIndex(), 1);
    QCOMPARE(f.rows(kPrintersSql),
             (QStringList{"M1|2|2|G", "L|0|2|G", "X|0|0|X", "N|0|4|N2", "G|0|0|G"}));

    // A refused lock puts the old name back: the box never names what the database does not.
    f.refuseLock();
    f.rename(QStringLiteral("N3"), messages);
    QCOMPARE(f.groups(), (QStringList{"G", "N2"}));
    QVERIFY(databaseMutexFree());

    // The group G and the ungrouped printer G share the common name: the rename takes the
    // group's printers only, where a rename by common name would take the printer G along.
    f.grantLock();
    f.chooseGroup(0);
    QCOMPARE(f.lists(), (QStringList{"L,M1", "X,G"}));
    f.rename(QStringLiteral("H"), messages);
    QCOMPARE(f.groups(), (QStringList{"H", "N2"}));
    QCOMPARE(f.rows(kPrintersSql),
             (QStringList{"M1|2|2|H", "L|0|2|H", "X|0|0|X", "N|0|4|N2", "G|0|0|G"}));
    QCOMPARE(f.lists(), (QStringList{"L,M1", "X,G"}));
}

void TstFrmPrinterSet::deletingGroupsDownToTheLast()
{
    PrinterFixture f;
    MessageRecorder messages;
    f.dialog.show();
    QTest::mouseClick(f.dialog.Button7, Qt::LeftButton);
    QVERIFY(messages.requests.isEmpty());
    QCOMPARE(f.groups(), QStringList{"N"});
    QCOMPARE(f.lists(), (QStringList{"N", "M1,L,X,G"}));
    QTest::mouseClick(f.dialog.Button7, Qt::LeftButton);
    QCOMPARE(f.groups(), QStringList());
    QCOMPARE(f.lists(), (QStringList{"", "M1,L,X,N,G"}));
    QCOMPARE(f.rows("SELECT COUNT(*) FROM tblPrintingMachineInfo WHERE ParentPrinterID = 0 AND GroupPrinterID = 0"
                    " AND CommonPrinterName = PrinterName"),
             QStringList{"5"});
    for (QPushButton *button : {f.dialog.Button1, f.dialog.Button3, f.dialog.Button4, f.dialog.Button7})
        QVERIFY(!button->isEnabled());
    QVERIFY(f.dialog.Button6->isEnabled() && f.dialog.Button2->isEnabled());
    f.dialog.hide();
    f.dialog.show();
    QCOMPARE(f.lists(), (QStringList{"", "M1,L,X,N,G"}));
    QVERIFY(databaseMutexFree());
}

void TstFrmPrinterSet::confirmationsAndRefusedLocksKeepListsAndGroupBoxAgreed()
{
    PrinterFixture f;
    MessageRecorder messages;
    f.dialog.show();
    f.move(f.dialog.ListBox1, QStringLiteral("M1"), f.dialog.Button1);

    messages.answers = {QMessageBox::No, QMessageBox::No, QMessageBox::No};
    f.chooseGroup(1);
    QTest::mouseClick(f.dialog.Button7, Qt::LeftButton);
    QTest::mouseClick(f.dialog.Button2, Qt::LeftButton);
    QCOMPARE(messages.texts(), (QStringList{"変更内容が登録されていません。変更を無効にてプリンタグループ名を選択しますか。",
                                            "変更内容が登録されていません。変更を無効にてクループを削除しますか。",
                                            "変更内容が登録されていません。変更を無効にして終了しますか。"}));
    QCOMPARE(messages.requests.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(f.dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE(f.lists(), (QStringList{"L", "X,G,M1"}));
    QVERIFY(f.dialog.isVisible() && f.dialog.Editing);

    // Yes drops the moves before a new group is made; M1 is listed in the group again.
    messages.answers = {QMessageBox::Yes};
    f.move(f.dialog.ListBox2, QStringLiteral("X"), f.dialog.Button6);
    QCOMPARE(f.groups(), (QStringList{"G", "N", "X"}));
    QCOMPARE(f.rows(kPrintersSql).first(), QStringLiteral("M1|2|2|G"));

    // Refused while showing another group: the box returns to the group the lists hold.
    f.chooseGroup(0);
    f.refuseLock();
    f.chooseGroup(1);
    QCOMPARE(f.dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE(f.lists(), (QStringList{"L,M1", "G"}));

    // Refused at opening: no group, no lists, nothing to register.
    QTest::mouseClick(f.dialog.Button2, Qt::LeftButton);
    QVERIFY(!f.dialog.isVisible());
    f.dialog.show();
    QCOMPARE(f.groups(), QStringList());
    QCOMPARE(f.lists(), (QStringList{"", ""}));
    f.grantLock();
    f.dialog.Button5Click();
    QCOMPARE(f.rows(kPrintersSql),
             (QStringList{"M1|2|2|G", "L|0|2|G", "X|0|3|X", "N|0|4|N", "G|0|0|G"}));
    QVERIFY(databaseMutexFree());
}

QTEST_MAIN(TstFrmPrinterSet)
#include "tst_frmprinterset.moc"
