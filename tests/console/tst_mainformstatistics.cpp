// The four statistics tabs of the real main window, shown on the offscreen platform, against
// a real database file and the service's real lock listener on loopback.
#include <cerrno>
#include <cstring>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "lock/DatabaseLock.h"
#include "mainform/Mainform.h"

using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

// The visible cells of every row, raw values joined by "|".
QStringList gridRows(QTableView *grid)
{
    QStringList rows;
    const QAbstractItemModel *model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            if (!grid->isColumnHidden(column))
                cells << model->data(model->index(row, column), Qt::EditRole).toString();
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

void clickTab(TMainForm &form, int index)
{
    hvn::console::test::clickTab(form.PageControl1, index);
}

// December 2004 as the one-month period. Users 1 and 3 share a name; user 9 and printer 7 are
// not registered; printers 1 and 2 form the group "GroupX"; one record lies exactly on each
// bound of the period.
void prepareData(TestEnvironment &env)
{
    SQLite::Database db = env.createDatabase();
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
             " (1, 'alice', 0, 'alice'), (2, 'bob', 0, 'bob'), (3, 'alice', 0, 'alice')");
    exec(db, "INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID,"
             " CommonPrinterName) VALUES (1, 'PrnA', 0, 1, 'GroupX'), (2, 'PrnB', 1, 1, 'GroupX'),"
             " (3, 'PrnC', 0, 3, 'PrnC')");
    exec(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
             " SheetsOfPaper, dbDateTime) VALUES"
             " (1, 1, 'PC1', 10, 10, 5, '2004-12-01 00:00:00.000'),"
             " (2, 2, 'PC2', 3, 3, 3, '2004-12-15 10:00:00.000'),"
             " (3, 3, 'PC1', 4, 4, 1, '2004-12-31 23:59:59.999'),"
             " (9, 1, 'PC3', 6, 6, 3, '2004-12-20 08:00:00.000'),"
             " (1, 7, 'PC2', 2, 2, 2, '2004-12-10 00:00:00.000'),"
             " (1, 1, 'PC1', 100, 100, 1, '2005-01-01 00:00:00.000'),"
             " (2, 3, 'PC9', 50, 50, 50, '2004-11-30 23:59:59.999')");
    env.setSetting("WindowHeight", 540);
    env.setSetting("WindowWidth", 800);
    env.setSetting("ToYear", 2004);
    env.setSetting("ToMonth", 12);
    env.setSetting("KikanIndex", 0);
}

// Many more records in December 2004 than one slice of the print-record tab's load takes, ten
// seconds apart from the period's start, all by alice on PrnA.
constexpr int kManyRecords = 150000;
void addManyRecords(TestEnvironment &env)
{
    SQLite::Database db(env.databasePath(), SQLite::OPEN_READWRITE);
    exec(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
             " INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
             " SheetsOfPaper, dbDateTime)"
             " SELECT 1, 1, 'PC' || (i % 40), 1 + i % 9, 1, 1,"
             "  strftime('%Y-%m-%d %H:%M:%f', '2004-12-01 00:00:00', '+' || (i * 10) || ' seconds') FROM n",
             kManyRecords);
}

const QStringList kReciveRows{
    "alice|PrnC|PC1|4|1|75|2004-12-31 23:59:59.999",
    "bob|PrnB|PC2|3|3|0|2004-12-15 10:00:00.000",
    "alice|PrnA|PC1|10|5|50|2004-12-01 00:00:00.000",
};

} // namespace

class TstMainformStatistics : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void init();
    void cleanup();

    void shownTabLoadsRowsOfPeriod_data();
    void shownTabLoadsRowsOfPeriod();
    void hiddenTabForgetsRows();
    void reloadLoadsChangedPeriodOnShownTabOnly();
    void refusedLockLeavesGridEmptyAndLayoutUnchanged_data();
    void refusedLockLeavesGridEmptyAndLayoutUnchanged();
    void engineErrorIsShownOnceAfterBracketIsUndone();
    void tabChangeIsRefusedWhileBusy();
    void largePeriodShowsFirstRowsAtOnceAndFillsInWithoutTheLock();
    void newerWorkMidLoadCancelsItAndGivesControlsBack_data();
    void newerWorkMidLoadCancelsItAndGivesControlsBack();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LockServer> m_server;
};

void TstMainformStatistics::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<LockServer>();
    m_env->setConsolePort(m_server->port());
    prepareData(*m_env);
}

void TstMainformStatistics::cleanup()
{
    m_server.reset();
    m_env.reset();
}

void TstMainformStatistics::shownTabLoadsRowsOfPeriod_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("print records, inner joins, newest first") << 0 << kReciveRows;
    QTest::newRow("per user id, unregistered user unnamed")
        << 1 << QStringList{"alice|12|7|41.7", "bob|3|3|0", "alice|4|1|75", "|6|3|50"};
    QTest::newRow("per common printer name, unregistered printer unnamed")
        << 2 << QStringList{"|2|2|0", "GroupX|19|11|42.1", "PrnC|4|1|75"};
    QTest::newRow("per computer") << 3 << QStringList{"PC1|14|6|57.1", "PC2|5|5|0", "PC3|6|3|50"};
}

void TstMainformStatistics::shownTabLoadsRowsOfPeriod()
{
    QFETCH(int, tab);
    QFETCH(QStringList, rows);
    m_env->setSetting("ActivePage", tab);
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(!form.AllowPageChange);
    QVERIFY(showAndLoad(form));

    QTableView *grids[] = {form.dbgReciveData, form.dbgUserData, form.dbgPrinterData, form.dbgComputerData};
    QCOMPARE(gridRows(grids[tab]), rows);
    QVERIFY(messages.requests.isEmpty());
    QCOMPARE(QString::fromStdString(form.PeriodStart.toText()), QStringLiteral("2004-12-01 00:00:00.000"));
    QCOMPARE(QString::fromStdString(form.PeriodEnd.toText()), QStringLiteral("2005-01-01 00:00:00.000"));

    QVERIFY(form.pnlDay->isVisible());
    QVERIFY(form.Label4->isHidden() && form.Label5->isHidden() && form.Edit1->isHidden() && form.UpDown1->isHidden());
    QCOMPARE(form.Button2->x(), 392);
    QCOMPARE(form.Button2->text(), QStringLiteral("再読込み"));
    QVERIFY(!form.FilePrintItem->isEnabled() && !form.FilePreviewItem->isEnabled()
            && !form.FilePrintSetupItem->isEnabled());

    QVERIFY(form.Button2->isEnabled());
    QVERIFY(form.AllowPageChange);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!form.sock.valid());
    QVERIFY(databaseMutexFree());
}

void TstMainformStatistics::hiddenTabForgetsRows()
{
    TMainForm form;
    QVERIFY(showAndLoad(form));
    QCOMPARE(gridRows(form.dbgReciveData).size(), 3);

    clickTab(form, 1);
    QCOMPARE(form.PageControl1->currentIndex(), 1);
    QCOMPARE(form.dbgReciveData->model()->rowCount(), 0);
    QCOMPARE(form.dbgUserData->model()->rowCount(), 4);
    clickTab(form, 4);
    QCOMPARE(form.dbgUserData->model()->rowCount(), 0);
}

void TstMainformStatistics::reloadLoadsChangedPeriodOnShownTabOnly()
{
    TMainForm form;
    QVERIFY(showAndLoad(form));
    QCOMPARE(gridRows(form.dbgReciveData), kReciveRows);

    form.cmbKikan->setCurrentIndex(13); // everything since 2001
    QCOMPARE(gridRows(form.dbgReciveData), kReciveRows);

    QTest::mouseClick(form.Button2, Qt::LeftButton);
    const QStringList rows = gridRows(form.dbgReciveData);
    QCOMPARE(rows.size(), 5);
    QVERIFY(rows.first().startsWith(QStringLiteral("alice|PrnA|PC1|100|1|99|2005-01-01")));
    QVERIFY(rows.last().startsWith(QStringLiteral("bob|PrnC|PC9|50|50|0|2004-11-30")));
    QCOMPARE(form.dbgUserData->model()->rowCount(), 0);
    QVERIFY(form.Button2->isEnabled() && form.AllowPageChange);
    QVERIFY(databaseMutexFree());
}

void TstMainformStatistics::refusedLockLeavesGridEmptyAndLayoutUnchanged_data()
{
    QTest::addColumn<int>("startTab");
    QTest::addColumn<bool>("panelVisible");
    QTest::addColumn<bool>("printItemsEnabled");
    QTest::addColumn<bool>("levelControlsVisible");
    QTest::newRow("from the section tab") << 4 << true << false << true;
    QTest::newRow("from a fiscal-year tab") << 5 << false << true << false;
    // No tab has set a layout yet: the design's, with the level controls clear of Button2.
    QTest::newRow("never granted since start") << 0 << true << true << false;
}

void TstMainformStatistics::refusedLockLeavesGridEmptyAndLayoutUnchanged()
{
    QFETCH(int, startTab);
    QFETCH(bool, panelVisible);
    QFETCH(bool, printItemsEnabled);
    QFETCH(bool, levelControlsVisible);
    m_env->setSetting("ActivePage", startTab);
    m_server.reset(); // the service stops
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(showAndLoad(form));
    const QPoint buttonPlace = form.Button2->pos();
    const QString buttonText = form.Button2->text();

    clickTab(form, 1);
    QCOMPARE(form.PageControl1->currentIndex(), 1);
    QCOMPARE(form.dbgUserData->model()->rowCount(), 0);
    QVERIFY(messages.requests.isEmpty());
    QCOMPARE(m_env->registry().GetRegistryString("ErrorMsg"), std::string(std::strerror(ECONNREFUSED)));
    QCOMPARE(form.pnlDay->isVisible(), panelVisible);
    QCOMPARE(form.FilePrintItem->isEnabled(), printItemsEnabled);
    QCOMPARE(form.Button2->pos(), buttonPlace);
    QCOMPARE(form.Button2->text(), buttonText);
    QCOMPARE(form.Label4->isVisible(), levelControlsVisible);
    QCOMPARE(form.Edit1->isVisible(), levelControlsVisible);
    QVERIFY(form.Button2->isEnabled());
    QVERIFY(form.AllowPageChange);
    QVERIFY(!QApplication::overrideCursor());
}

void TstMainformStatistics::engineErrorIsShownOnceAfterBracketIsUndone()
{
    m_env->setDatabasePath(m_env->dir().toStdString() + "/missing.db");
    MessageRecorder messages;
    TMainForm form;
    bool restoredAtMessage = false;
    messages.onMessage = [&](const hvn::console::MessageRequest &) {
        restoredAtMessage = databaseMutexFree() && form.AllowPageChange && form.Button2->isEnabled()
                         && !QApplication::overrideCursor();
    };
    QVERIFY(showAndLoad(form));

    QCOMPARE(messages.requests.size(), 1);
    QCOMPARE(messages.requests[0].caption, QStringLiteral("hvnConsole"));
    QVERIFY2(messages.requests[0].text.contains(QStringLiteral("missing.db")),
             qPrintable(messages.requests[0].text));
    QVERIFY(restoredAtMessage);
    QCOMPARE(form.dbgReciveData->model()->rowCount(), 0);
    QVERIFY(!form.sock.valid());

    // The tabs still change, and the next show tries the database again.
    clickTab(form, 2);
    QCOMPARE(form.PageControl1->currentIndex(), 2);
    QCOMPARE(messages.requests.size(), 2);
    QVERIFY(databaseMutexFree());
}

void TstMainformStatistics::tabChangeIsRefusedWhileBusy()
{
    TMainForm form;
    QVERIFY(showAndLoad(form));
    form.AllowPageChange = false;
    clickTab(form, 2);
    QTest::keyClick(form.PageControl1, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form.PageControl1->currentIndex(), 0);
    QCOMPARE(gridRows(form.dbgReciveData).size(), 3);

    form.AllowPageChange = true;
    clickTab(form, 2);
    QCOMPARE(form.PageControl1->currentIndex(), 2);
    QCOMPARE(gridRows(form.dbgPrinterData).size(), 3);
}

void TstMainformStatistics::largePeriodShowsFirstRowsAtOnceAndFillsInWithoutTheLock()
{
    addManyRecords(*m_env);
    const int total = kManyRecords + 3;
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(showAndLoad(form));

    // The handler has returned with the first slice shown; the rest is still to come, and
    // the service may store meanwhile.
    const int first = form.dbgReciveData->model()->rowCount();
    QVERIFY2(first > 0 && first < total, qPrintable(QString::number(first)));
    QVERIFY(form.recordLoadRunning());
    QVERIFY(!form.sock.valid());
    QVERIFY(databaseMutexFree());
    QVERIFY(!form.Button2->isEnabled());
    QVERIFY(form.AllowPageChange);
    QVERIFY(QApplication::overrideCursor());
    QVERIFY2(form.StatusLine->currentMessage().contains(QStringLiteral("読込み中")),
             qPrintable(form.StatusLine->currentMessage()));
    {
        SQLite::Database db(m_env->databasePath(), SQLite::OPEN_READWRITE);
        exec(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                 " SheetsOfPaper, dbDateTime) VALUES (2, 3, 'LATE', 1, 1, 1, '2004-12-31 23:59:59.000')");
    }

    // The rows keep coming as the event loop turns, each slice after the ones shown.
    QVERIFY(QTest::qWaitFor([&] { return form.dbgReciveData->model()->rowCount() > first; }, 10000));
    QVERIFY(QTest::qWaitFor([&] { return !form.recordLoadRunning(); }, 120000));
    QCOMPARE(form.dbgReciveData->model()->rowCount(), total);
    QVERIFY(form.StatusLine->currentMessage().isEmpty());
    QVERIFY(form.Button2->isEnabled() && form.AllowPageChange && !QApplication::overrideCursor());
    QVERIFY(messages.requests.isEmpty());
    // Newest first, and the record stored during the load is not among the rows.
    const hvn::console::TQuery &rows = form.qReciveData;
    const QString time = QStringLiteral("dbDateTime");
    const QString computer = QStringLiteral("ComputerName");
    QCOMPARE(rows.value(0, time).toString(), QStringLiteral("2004-12-31 23:59:59.999"));
    QCOMPARE(rows.value(total - 1, time).toString(), QStringLiteral("2004-12-01 00:00:00.000"));
    for (int row = 0; row < total; ++row)
        QVERIFY(rows.value(row, computer).toString() != QLatin1String("LATE"));

    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.recordLoadRunning(); }, 120000));
    QCOMPARE(form.dbgReciveData->model()->rowCount(), total + 1);
    QCOMPARE(rows.value(1, computer).toString(), QStringLiteral("LATE"));
}

void TstMainformStatistics::newerWorkMidLoadCancelsItAndGivesControlsBack_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("another tab") << "tab";
    QTest::newRow("another period") << "period";
    QTest::newRow("a maintenance dialog's write") << "write";
}

void TstMainformStatistics::newerWorkMidLoadCancelsItAndGivesControlsBack()
{
    QFETCH(QString, work);
    addManyRecords(*m_env);
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(showAndLoad(form));
    QVERIFY(form.recordLoadRunning());
    const int shown = form.dbgReciveData->model()->rowCount();

    if (work == QLatin1String("tab")) {
        clickTab(form, 1);
        QCOMPARE(form.PageControl1->currentIndex(), 1);
        QCOMPARE(form.dbgReciveData->model()->rowCount(), 0);
        QCOMPARE(gridRows(form.dbgUserData).size(), 4);
    } else if (work == QLatin1String("period")) {
        form.cmbKikan->setCurrentIndex(13);
        QCOMPARE(form.dbgReciveData->model()->rowCount(), shown);
        QVERIFY(form.StatusLine->currentMessage().contains(QStringLiteral("中断")));
    } else {
        // The snapshot would stand in the way of the write: the load ends before the lock.
        hvn::console::DatabaseLock lock(form);
        QVERIFY(lock.held());
        QVERIFY(!form.recordLoadRunning());
        form.SetTargetLevel(1);
    }
    QVERIFY(!form.recordLoadRunning());
    QVERIFY(form.Button2->isEnabled() && form.AllowPageChange && !QApplication::overrideCursor());
    QTest::qWait(50);
    QVERIFY(messages.requests.isEmpty());
    QVERIFY(databaseMutexFree());

    // The tab loads again in full.
    if (work == QLatin1String("tab"))
        clickTab(form, 0);
    else
        QTest::mouseClick(form.Button2, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.recordLoadRunning(); }, 120000));
    QVERIFY(form.dbgReciveData->model()->rowCount() >= kManyRecords + 3);
    QVERIFY(messages.requests.isEmpty());
}

QTEST_MAIN(TstMainformStatistics)
#include "tst_mainformstatistics.moc"
