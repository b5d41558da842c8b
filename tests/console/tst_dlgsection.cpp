// The section tree editor on the real main window's connection and lock: the tree load, the
// in-memory edits and the write-back, with the identifiers it hands out.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"
#include "windows/Dlgsection.h"

using hvn::console::TdlgSection;
using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

const char *const kRowsSql = "SELECT SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName"
                             " FROM tblSectionInfo ORDER BY SectionID";

// Rows in an order where a child comes before its parent; 5 is a deleted section whose user
// u5 still carries its identifier.
void prepareTree(SQLite::Database &db)
{
    exec(db, "INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
             " VALUES (3, 'C', 2, 3, 'A B C'), (1, 'A', 0, 1, 'A'), (5, 'delete', -1, -1, 'delete'),"
             " (2, 'B', 1, 2, 'A B'), (4, 'D', 0, 1, 'D')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID) VALUES (1, 'u1', 3), (5, 'u5', 5)");
}

// Each node as its labels from the top, joined by '/', in tree order.
QStringList outline(const QTreeWidget *tree)
{
    QStringList lines;
    std::function<void(const QTreeWidgetItem *, const QString &)> walk = [&](const QTreeWidgetItem *node,
                                                                            const QString &prefix) {
        const QString path = prefix + node->text(0);
        lines << path + QLatin1Char('=') + node->data(0, Qt::UserRole).toString();
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), path + QLatin1Char('/'));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), QString());
    return lines;
}

QTreeWidgetItem *nodeAt(QTreeWidget *tree, std::initializer_list<int> path)
{
    QTreeWidgetItem *node = nullptr;
    for (int index : path)
        node = node ? node->child(index) : tree->topLevelItem(index);
    return node;
}

QStringList selectedTexts(const QTreeWidget *tree)
{
    QStringList texts;
    for (const QTreeWidgetItem *node : tree->selectedItems())
        texts << node->text(0);
    return texts;
}

void select(QTreeWidget *tree, QTreeWidgetItem *node)
{
    tree->setCurrentItem(node);
}

void renameInPlace(QTreeWidget *tree, QTreeWidgetItem *node, const QString &label)
{
    select(tree, node);
    tree->editItem(node, 0);
    auto *editor = tree->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(label);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits a finished edit from the event loop.
    QCoreApplication::processEvents();
}

struct SectionFixture : AttachedDialogFixture<TdlgSection> {
    SectionFixture() : AttachedDialogFixture(prepareTree) {}
};

} // namespace

class TstDlgSection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void loadHangsChildrenUnderParentsAndShowsPath();
    void okWritesEveryNodeAndMarksDeletedRowsWithFreshIdentifiers();
    void unchangedOkAndCancelWriteNothing();
    void addOrDeleteWithoutSelectionOnlyExplains();
    void treeNotLoadedInThisOpeningIsNeverWrittenBack();
    void menuRollsUpAtLevelOneAfterTheEditorCloses();
};

void TstDlgSection::loadHangsChildrenUnderParentsAndShowsPath()
{
    SectionFixture f;
    f.dialog.show();
    QCOMPARE(outline(f.dialog.tvwSection), (QStringList{"A=1", "A/B=2", "A/B/C=3", "D=4"}));
    QCOMPARE(f.dialog.edtSelectSection->text(), QStringLiteral("A"));
    // The deleted row's identifier counts, so it is never handed out again.
    QCOMPARE(f.dialog.MaxSectionID, 5);
    QVERIFY(!f.dialog.Modified);
    select(f.dialog.tvwSection, nodeAt(f.dialog.tvwSection, {0, 0, 0}));
    QCOMPARE(f.dialog.edtSelectSection->text(), QStringLiteral("A->B->C"));
    f.dialog.hide();

    exec(f.db, "DELETE FROM tblSectionInfo");
    f.dialog.show();
    QCOMPARE(f.dialog.tvwSection->topLevelItemCount(), 0);
    QCOMPARE(f.dialog.edtSelectSection->text(), QString());
    QCOMPARE(f.dialog.MaxSectionID, 0);
    QVERIFY(databaseMutexFree());
}

void TstDlgSection::okWritesEveryNodeAndMarksDeletedRowsWithFreshIdentifiers()
{
    SectionFixture f;
    MessageRecorder messages;
    f.dialog.show();
    QTreeWidget *tree = f.dialog.tvwSection;

    f.dialog.edtSectionName->setText(QStringLiteral("E"));
    QTest::mouseClick(f.dialog.btnAddSection1, Qt::LeftButton);      // E = 6
    QVERIFY(f.dialog.Modified);
    QCOMPARE(f.dialog.edtSelectSection->text(), QString());
    select(tree, nodeAt(tree, {2}));                                 // E
    QTest::mouseClick(f.dialog.btnAddSection2, Qt::LeftButton);      // E/E = 7
    f.dialog.AddSection2->trigger();                                 // E/SectionName = 8
    QCOMPARE(selectedTexts(tree), QStringList{"E"});
    f.dialog.edtSectionName->clear();
    QTest::mouseClick(f.dialog.btnAddSection1, Qt::LeftButton);      // SectionName = 9
    f.dialog.AddSection1->trigger();                                 // SectionName = 10
    renameInPlace(tree, nodeAt(tree, {0, 0}), QStringLiteral("B2"));
    QCOMPARE(f.dialog.edtSelectSection->text(), QStringLiteral("A->B2"));
    select(tree, nodeAt(tree, {4}));
    f.dialog.DeleteSection->trigger();                               // 10 is handed out, never written
    select(tree, nodeAt(tree, {1}));
    QTest::mouseClick(f.dialog.btnDeleteSection, Qt::LeftButton);    // D goes
    QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);

    QVERIFY(messages.requests.isEmpty());
    QVERIFY(!f.dialog.isVisible());
    QCOMPARE(f.rows(kRowsSql), (QStringList{
                                   "1|A|0|1|A",
                                   "2|B2|1|2|A B2",
                                   "3|C|2|3|A B2 C",
                                   "4|delete|-1|-1|delete",
                                   "5|delete|-1|-1|delete",
                                   "6|E|0|1|E",
                                   "7|E|6|2|E E",
                                   "8|SectionName|6|2|E SectionName",
                                   "9|SectionName|0|1|SectionName",
                               }));
    QVERIFY(databaseMutexFree());
}

void TstDlgSection::unchangedOkAndCancelWriteNothing()
{
    SectionFixture f;
    // A full name no write-back would keep: any write shows.
    exec(f.db, "UPDATE tblSectionInfo SET SectionFullName = 'stale' WHERE SectionID = 3");
    const QStringList before = f.rows(kRowsSql);
    f.dialog.show();
    QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);
    QCOMPARE(f.rows(kRowsSql), before);

    f.dialog.show();
    f.dialog.AddSection1->trigger();
    QTest::mouseClick(f.dialog.CancelBtn, Qt::LeftButton);
    QCOMPARE(f.rows(kRowsSql), before);
    f.dialog.show();
    QCOMPARE(outline(f.dialog.tvwSection), (QStringList{"A=1", "A/B=2", "A/B/C=3", "D=4"}));
    QVERIFY(!f.dialog.Modified);
}

void TstDlgSection::addOrDeleteWithoutSelectionOnlyExplains()
{
    SectionFixture f;
    MessageRecorder messages;
    f.dialog.show();
    f.dialog.tvwSection->clearSelection();
    QTest::mouseClick(f.dialog.btnAddSection2, Qt::LeftButton);
    f.dialog.AddSection2->trigger();
    QTest::mouseClick(f.dialog.btnDeleteSection, Qt::LeftButton);
    QCOMPARE(messages.texts(), (QStringList{"上位部署が選択されていません。", "上位部署が選択されていません。",
                                            "部署が選択されていません。"}));
    QCOMPARE(messages.requests.first().caption, QStringLiteral("hvnConsole"));
    QCOMPARE(outline(f.dialog.tvwSection).size(), 4);
    QVERIFY(!f.dialog.Modified);
    QCOMPARE(f.dialog.MaxSectionID, 5);
}

void TstDlgSection::treeNotLoadedInThisOpeningIsNeverWrittenBack()
{
    SectionFixture f;
    MessageRecorder messages;
    const QStringList before = f.rows(kRowsSql);

    // Refused at the first opening: an empty tree, which would mark every row deleted.
    f.refuseLock();
    f.dialog.show();
    f.grantLock();
    f.dialog.AddSection1->trigger();
    QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);
    QCOMPARE(messages.requests.size(), 1);
    QCOMPARE(f.rows(kRowsSql), before);

    // A database error while reading: the partial tree is not written either.
    exec(f.db, "ALTER TABLE tblSectionInfo RENAME TO tblMoved");
    f.dialog.show();
    exec(f.db, "ALTER TABLE tblMoved RENAME TO tblSectionInfo");
    f.dialog.AddSection1->trigger();
    QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);
    QCOMPARE(messages.requests.size(), 2);
    QCOMPARE(f.rows(kRowsSql), before);

    // Loaded, but the lock is refused on OK: nothing is written, nothing said.
    f.dialog.show();
    f.dialog.AddSection1->trigger();
    f.refuseLock();
    QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);
    QCOMPARE(messages.requests.size(), 2);
    QCOMPARE(f.rows(kRowsSql), before);
    QVERIFY(databaseMutexFree());
}

void TstDlgSection::menuRollsUpAtLevelOneAfterTheEditorCloses()
{
    SectionFixture f;
    TMainForm::Dialogs dialogs;
    dialogs.dlgSection = &f.dialog;
    f.form.setDialogs(dialogs);
    // C moves to the top level under a new name; u1 of C then rolls up to it.
    whenDialogLoaded(f.form, f.dialog, [&f] {
        QTreeWidget *tree = f.dialog.tvwSection;
        QTreeWidgetItem *c = nodeAt(tree, {0, 0, 0});
        c->parent()->removeChild(c);
        tree->addTopLevelItem(c);
        renameInPlace(tree, c, QStringLiteral("C2"));
        QTest::mouseClick(f.dialog.OKBtn, Qt::LeftButton);
    });
    f.form.MainteSection();
    QCOMPARE(f.rows("SELECT UserName, TargetLevelID, TargetLevelName FROM tblUserInfo ORDER BY UserID"),
             (QStringList{"u1|3|C2", "u5|0|No Section"}));

    // Cancel rolls up as well.
    exec(f.db, "UPDATE tblUserInfo SET TargetLevelName = 'old'");
    whenDialogLoaded(f.form, f.dialog, [&f] { QTest::mouseClick(f.dialog.CancelBtn, Qt::LeftButton); });
    f.form.MainteSection();
    QCOMPARE(f.rows("SELECT TargetLevelName FROM tblUserInfo ORDER BY UserID"), (QStringList{"C2", "No Section"}));
    QVERIFY(databaseMutexFree());
}

QTEST_MAIN(TstDlgSection)
#include "tst_dlgsection.moc"
