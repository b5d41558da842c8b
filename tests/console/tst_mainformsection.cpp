// The roll-up of users to the sections of one level, and the section tab that totals the
// period by the rolled-up names, on the real main window against a real database and lock.
#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "charts/SectionRateChart.h"
#include "mainform/Mainform.h"

using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

// Tree A(1) > B(2) > C(3); a deleted section 4; a second top-level section also named "A";
// sections 10 and 11 are each other's parent (a damaged table). Users: 1 in C, 2 in no
// section, 3 in A, 4 in the deleted section, 5 in a section that does not exist, 6 in the cycle,
// 7 in the second "A".
void prepareTree(SQLite::Database &db)
{
    exec(db, "INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
             " VALUES (1, 'A', 0, 1, 'A'), (2, 'B', 1, 2, 'A B'), (3, 'C', 2, 3, 'A B C'),"
             " (4, 'delete', -1, -1, 'delete'), (5, 'A', 0, 1, 'A'),"
             " (10, 'cyc10', 11, 2, 'cyc10'), (11, 'cyc11', 10, 2, 'cyc11')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
             " (1, 'u1', 3, 'u1'), (2, 'u2', 0, 'u2'), (3, 'u3', 1, 'u3'), (4, 'u4', 4, 'u4'),"
             " (5, 'u5', 99, 'u5'), (6, 'u6', 10, 'u6'), (7, 'u7', 5, 'u7')");
}

QStringList rollUp(SQLite::Database &db)
{
    QStringList rows;
    SQLite::Statement query(db, "SELECT UserID, TargetLevelID, TargetLevelName FROM tblUserInfo ORDER BY UserID");
    while (query.executeStep()) {
        rows << QStringLiteral("%1:%2:%3")
                    .arg(query.getColumn(0).getInt())
                    .arg(query.getColumn(1).getInt())
                    .arg(QString::fromStdString(query.getColumn(2).getString()));
    }
    return rows;
}

// The section chart beside the grid: one bar per grid row, in the grid's order, its name the
// row's name (the unnamed row marked as such) and its length the row's rate (0 without one).
bool chartFollowsGrid(const TMainForm &form)
{
    const QAbstractItemModel *model = form.dbgSection->model();
    const QStringList names = form.chtSection->sections();
    if (names.size() != model->rowCount() || form.chtSection->rowCount() != model->rowCount()) {
        qWarning() << "bars" << names << "for" << model->rowCount() << "rows";
        return false;
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString name = model->data(model->index(row, 0)).toString();
        const double rate = model->data(model->index(row, 3), Qt::EditRole).toDouble();
        if ((name.isEmpty() ? QStringLiteral("（名前なし）") : name) != names[row]
            || qAbs(form.chtSection->rate(row) - rate) > 1e-9) {
            qWarning() << "row" << row << name << rate << "charted as" << names[row] << form.chtSection->rate(row);
            return false;
        }
    }
    return true;
}

QStringList sortedRows(QTableView *grid)
{
    QStringList rows;
    const QAbstractItemModel *model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->data(model->index(row, column), Qt::EditRole).toString();
        rows << cells.join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

} // namespace

class TstMainformSection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void init();
    void cleanup();

    void rollUpFindsSectionAtLevel_data();
    void rollUpFindsSectionAtLevel();
    void maintenanceMenuRollsUpAtLevelOne();
    void reloadTotalsPeriodBySectionAtEnteredLevel_data();
    void reloadTotalsPeriodBySectionAtEnteredLevel();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LockServer> m_server;
    std::unique_ptr<SQLite::Database> m_db;
};

void TstMainformSection::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<LockServer>();
    m_env->setConsolePort(m_server->port());
    m_db = std::make_unique<SQLite::Database>(m_env->createDatabase());
    prepareTree(*m_db);
}

void TstMainformSection::cleanup()
{
    m_db.reset();
    m_server.reset();
    m_env.reset();
}

void TstMainformSection::rollUpFindsSectionAtLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("expected");
    const QString none = QStringLiteral("0:No Section");
    QTest::newRow("level 1") << 1
                             << QStringList{"1:1:A", "2:" + none, "3:1:A", "4:" + none, "5:" + none,
                                            "6:" + none, "7:5:A"};
    QTest::newRow("level 2 prefixes the ancestors; a looping parent chain stops")
        << 2 << QStringList{"1:2:A B", "2:" + none, "3:" + none, "4:" + none, "5:" + none, "6:11:cyc11", "7:" + none};
    QTest::newRow("level 3") << 3
                             << QStringList{"1:3:A B C", "2:" + none, "3:" + none, "4:" + none, "5:" + none,
                                            "6:" + none, "7:" + none};
    QTest::newRow("level no section has")
        << 4 << QStringList{"1:" + none, "2:" + none, "3:" + none, "4:" + none, "5:" + none, "6:" + none, "7:" + none};
}

void TstMainformSection::rollUpFindsSectionAtLevel()
{
    QFETCH(int, level);
    QFETCH(QStringList, expected);
    TMainForm form;
    form.SetTargetLevel(level);
    QCOMPARE(rollUp(*m_db), expected);
}

void TstMainformSection::maintenanceMenuRollsUpAtLevelOne()
{
    MessageRecorder messages;
    TMainForm form;
    form.SetTargetLevel(3);
    form.MainteSection();
    QCOMPARE(rollUp(*m_db).first(), QStringLiteral("1:1:A"));
    QVERIFY(messages.requests.isEmpty());
    QVERIFY(databaseMutexFree());
}

void TstMainformSection::reloadTotalsPeriodBySectionAtEnteredLevel_data()
{
    QTest::addColumn<QString>("levelText");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("level 1 joins the two sections named A")
        << "1" << QStringList{"A|13|7|46.2", "No Section|5|5|0", "|2|1|50"};
    QTest::newRow("text that is no number is level 1")
        << "abc" << QStringList{"A|13|7|46.2", "No Section|5|5|0", "|2|1|50"};
    QTest::newRow("level 2") << "2" << QStringList{"A B|10|5|50", "No Section|8|7|12.5", "|2|1|50"};
}

void TstMainformSection::reloadTotalsPeriodBySectionAtEnteredLevel()
{
    QFETCH(QString, levelText);
    QFETCH(QStringList, rows);
    exec(*m_db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                " SheetsOfPaper, dbDateTime) VALUES"
                " (1, 1, 'PC1', 10, 10, 5, '2004-12-03 00:00:00.000'),"
                " (2, 1, 'PC1', 5, 5, 5, '2004-12-04 00:00:00.000'),"
                " (7, 1, 'PC1', 3, 3, 2, '2004-12-05 00:00:00.000'),"
                " (8, 1, 'PC1', 2, 2, 1, '2004-12-06 00:00:00.000'),"
                " (1, 1, 'PC1', 99, 99, 1, '2005-01-01 00:00:00.000')");
    m_env->setSetting("WindowHeight", 540);
    m_env->setSetting("WindowWidth", 800);
    m_env->setSetting("ToYear", 2004);
    m_env->setSetting("ToMonth", 12);
    m_env->setSetting("ActivePage", 4);
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(showAndLoad(form));
    // Showing the section tab does not load it.
    QCOMPARE(form.dbgSection->model()->rowCount(), 0);
    QCOMPARE(form.chtSection->rowCount(), 0);
    QCOMPARE(form.chtSection->objectName(), QStringLiteral("chtSection"));

    form.Edit1->setText(levelText);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QStringList expected = rows;
    expected.sort();
    QCOMPARE(sortedRows(form.dbgSection), expected);
    QVERIFY(chartFollowsGrid(form));

    // A refused reload keeps the grid's rows and the chart's bars.
    const QStringList charted = form.chtSection->sections();
    m_env->setConsolePort(closedPort());
    form.Edit1->setText(QStringLiteral("3"));
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QCOMPARE(sortedRows(form.dbgSection), expected);
    QCOMPARE(form.chtSection->sections(), charted);
    QVERIFY(chartFollowsGrid(form));
    messages.requests.clear();
    QVERIFY(messages.requests.isEmpty());
    QVERIFY(form.Button2->isEnabled() && form.AllowPageChange);
    QVERIFY(databaseMutexFree());
}

QTEST_MAIN(TstMainformSection)
#include "tst_mainformsection.moc"
