// The section membership dialog on the real main window's connection and lock: the lists for
// a section, the moves, the registration and the refused-lock cases.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"
#include "windows/Dlgsectionmember.h"

using hvn::console::TdlgSectionMember;
using namespace hvn::console::test;

namespace {

const char *const kAssignmentSql = "SELECT UserName, SectionID FROM tblUserInfo ORDER BY UserID";

// A(1) > B(2), C(3), a deleted section 4. u4 is in the deleted section and u5 in one that
// never existed: both belong to no live section.
void prepare(SQLite::Database &db)
{
    exec(db, "INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
             " VALUES (1, 'A', 0, 1, 'A'), (2, 'B', 1, 2, 'A B'), (3, 'C', 0, 1, 'C'),"
             " (4, 'delete', -1, -1, 'delete')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID) VALUES (0, 'u0', 0), (1, 'u1', 1),"
             " (2, 'u2', 1), (3, 'u3', 2), (4, 'u4', 4), (5, 'u5', 99), (6, 'u6', 3)");
}

QStringList entries(const QListWidget *list)
{
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

void choose(QListWidget *list, const QString &name)
{
    list->setCurrentItem(list->findItems(name, Qt::MatchExactly).value(0));
}

struct MemberFixture : AttachedDialogFixture<TdlgSectionMember> {
    MemberFixture() : AttachedDialogFixture(prepare) {}
    QTreeWidgetItem *node(int top, int child = -1) const
    {
        QTreeWidgetItem *item = dialog.tvwSection->topLevelItem(top);
        return child < 0 ? item : item->child(child);
    }
    void move(QListWidget *from, const QString &name, QPushButton *button)
    {
        choose(from, name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QStringList lists() const
    {
        return {entries(dialog.lbMemberFrom).join(QLatin1Char(',')), entries(dialog.lbMemberTo).join(QLatin1Char(','))};
    }
};

} // namespace

class TstDlgSectionMember : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void sectionShowsUnassignedAndOrphanedBesideItsMembers();
    void registeringWritesEveryListedUserOfBothLists();
    void confirmationsGuardUnregisteredMoves();
    void escapeAsksAsCloseDoesAndKeepsMovesOnCancel();
    void refusedLocksNeverRegisterIntoTheWrongSection();
    void singleSectionAndNoLiveSection();
};

void TstDlgSectionMember::sectionShowsUnassignedAndOrphanedBesideItsMembers()
{
    MemberFixture f;
    QCOMPARE(f.dialog.Label4->text(), QStringLiteral("変更中"));
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("gpbMember"));
    f.dialog.show();
    QCOMPARE(f.dialog.tvwSection->topLevelItemCount(), 2);
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("A"));
    QCOMPARE(f.lists(), (QStringList{"u0,u4,u5", "u1,u2"}));
    QVERIFY(!f.dialog.Button3->isEnabled());
    QCOMPARE(f.dialog.Label4->text(), QString());

    f.dialog.tvwSection->setCurrentItem(f.node(0, 0));
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("A-B"));
    QCOMPARE(f.lists(), (QStringList{"u0,u4,u5", "u3"}));
    QVERIFY(databaseMutexFree());
}

void TstDlgSectionMember::registeringWritesEveryListedUserOfBothLists()
{
    MemberFixture f;
    f.dialog.show();
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u4"), f.dialog.Button1);
    f.move(f.dialog.lbMemberTo, QStringLiteral("u1"), f.dialog.Button2);
    QCOMPARE(f.lists(), (QStringList{"u0,u5,u1", "u2,u4"}));
    QCOMPARE(f.dialog.Label4->text(), QStringLiteral("編集中"));
    QVERIFY(f.dialog.Button3->isEnabled());
    // Nothing selected: nothing moves.
    f.dialog.lbMemberFrom->setCurrentRow(-1);
    QTest::mouseClick(f.dialog.Button1, Qt::LeftButton);
    QCOMPARE(f.lists(), (QStringList{"u0,u5,u1", "u2,u4"}));

    QTest::mouseClick(f.dialog.Button3, Qt::LeftButton);
    // The orphan left in the unassigned list gets 0; B's and C's users are not touched.
    QCOMPARE(f.rows(kAssignmentSql),
             (QStringList{"u0|0", "u1|0", "u2|1", "u3|2", "u4|1", "u5|0", "u6|3"}));
    QVERIFY(!f.dialog.Button3->isEnabled() && !f.dialog.Editing);
    QCOMPARE(f.dialog.Label4->text(), QString());
    QVERIFY(databaseMutexFree());
}

void TstDlgSectionMember::confirmationsGuardUnregisteredMoves()
{
    MemberFixture f;
    MessageRecorder messages;
    const QStringList stored = f.rows(kAssignmentSql);
    f.dialog.show();
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u0"), f.dialog.Button1);

    messages.answers = {QMessageBox::Cancel};
    f.dialog.tvwSection->setCurrentItem(f.node(1));
    QCOMPARE(messages.texts(), QStringList{"変更を破棄しますか？"});
    QCOMPARE(messages.requests.last().caption, QString());
    QCOMPARE(messages.requests.last().buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(f.dialog.tvwSection->selectedItems().value(0), f.node(0));
    QCOMPARE(f.lists(), (QStringList{"u4,u5", "u1,u2,u0"}));
    QVERIFY(f.dialog.Button3->isEnabled());

    f.dialog.tvwSection->setCurrentItem(f.node(1));
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("C"));
    QCOMPARE(f.lists(), (QStringList{"u0,u4,u5", "u6"}));
    QVERIFY(!f.dialog.Button3->isEnabled());

    f.move(f.dialog.lbMemberTo, QStringLiteral("u6"), f.dialog.Button2);
    messages.answers = {QMessageBox::Cancel};
    QTest::mouseClick(f.dialog.Button4, Qt::LeftButton);
    QVERIFY(f.dialog.isVisible());
    QTest::mouseClick(f.dialog.Button4, Qt::LeftButton);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(messages.texts().last(), QStringLiteral("登録していませんが変更を無視してウィンドウを閉じますか。"));

    f.dialog.show();
    QCOMPARE(f.lists(), (QStringList{"u0,u4,u5", "u1,u2"}));
    QVERIFY(!f.dialog.Editing && !f.dialog.Button3->isEnabled());
    QCOMPARE(f.rows(kAssignmentSql), stored);
}

// Esc with unregistered moves would otherwise drop them silently.
void TstDlgSectionMember::escapeAsksAsCloseDoesAndKeepsMovesOnCancel()
{
    MemberFixture f;
    MessageRecorder messages;
    const QStringList stored = f.rows(kAssignmentSql);
    f.dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u0"), f.dialog.Button1);

    messages.answers = {QMessageBox::Cancel};
    QTest::keyClick(&f.dialog, Qt::Key_Escape);
    QCOMPARE(messages.texts(), QStringList{"登録していませんが変更を無視してウィンドウを閉じますか。"});
    QVERIFY(f.dialog.isVisible());
    QVERIFY(f.dialog.Editing && f.dialog.Button3->isEnabled());
    QCOMPARE(f.lists(), (QStringList{"u4,u5", "u1,u2,u0"}));

    messages.answers = {QMessageBox::Ok};
    QTest::keyClick(&f.dialog, Qt::Key_Escape);
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.rows(kAssignmentSql), stored);

    // Without moves Esc closes at once; so does the close box, moves or not.
    f.dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    QTest::keyClick(&f.dialog, Qt::Key_Escape);
    QVERIFY(!f.dialog.isVisible());
    f.dialog.show();
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u0"), f.dialog.Button1);
    f.dialog.close();
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(messages.requests.size(), 2);
    QCOMPARE(f.rows(kAssignmentSql), stored);
}

void TstDlgSectionMember::refusedLocksNeverRegisterIntoTheWrongSection()
{
    MemberFixture f;
    const QStringList stored = f.rows(kAssignmentSql);
    f.dialog.show();
    // Refused while filling B's lists: A's users must not stay listed as B's.
    f.refuseLock();
    f.dialog.tvwSection->setCurrentItem(f.node(0, 0));
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("A-B"));
    QCOMPARE(f.lists(), (QStringList{"", ""}));
    f.grantLock();
    f.dialog.tvwSection->setCurrentItem(f.node(1));
    QCOMPARE(f.lists(), (QStringList{"u0,u4,u5", "u6"}));

    // Moves discarded by the close box must not come back when the next opening is refused.
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u0"), f.dialog.Button1);
    f.dialog.close();
    f.refuseLock();
    f.dialog.show();
    QVERIFY(!f.dialog.Button3->isEnabled() && !f.dialog.Editing);
    QCOMPARE(f.lists(), (QStringList{"", ""}));
    f.grantLock();
    f.dialog.Button3Click();
    QCOMPARE(f.rows(kAssignmentSql), stored);

    // Refused on registering: the moves stay, unregistered.
    f.dialog.tvwSection->setCurrentItem(f.node(1));
    f.move(f.dialog.lbMemberFrom, QStringLiteral("u0"), f.dialog.Button1);
    f.refuseLock();
    QTest::mouseClick(f.dialog.Button3, Qt::LeftButton);
    QVERIFY(f.dialog.Editing && f.dialog.Button3->isEnabled());
    QCOMPARE(f.rows(kAssignmentSql), stored);
    QVERIFY(databaseMutexFree());
}

void TstDlgSectionMember::singleSectionAndNoLiveSection()
{
    MemberFixture f;
    exec(f.db, "UPDATE tblSectionInfo SET ParentSectionID = -1 WHERE SectionID <> 3");
    exec(f.db, "UPDATE tblUserInfo SET SectionID = 0 WHERE SectionID = 3");
    const QStringList stored = f.rows(kAssignmentSql);
    f.dialog.show();
    QCOMPARE(f.dialog.gpbMember->title(), QStringLiteral("C"));
    QCOMPARE(f.lists(), (QStringList{"u0,u1,u2,u3,u4,u5,u6", ""}));
    f.dialog.hide();

    exec(f.db, "UPDATE tblSectionInfo SET ParentSectionID = -1");
    f.dialog.show();
    QCOMPARE(f.dialog.tvwSection->topLevelItemCount(), 0);
    QCOMPARE(f.lists(), (QStringList{"", ""}));
    f.dialog.Button3Click();
    QCOMPARE(f.rows(kAssignmentSql), stored);
}

QTEST_MAIN(TstDlgSectionMember)
#include "tst_dlgsectionmember.moc"
