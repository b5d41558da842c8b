// The two fiscal-year tabs on the real main window against a real database and the service's
// real lock listener: what each offers, what each calculation writes into its grid, every
// refusal and failure, and the cells as the grid draws them.
#include <algorithm>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <QBarSet>
#include <QLineSeries>

#include "ConsoleTestSupport.h"
#include "app/ConsoleApp.h"
#include "charts/FiscalYearChart.h"
#include "mainform/Mainform.h"
#include "widgets/StringGrid.h"

using hvn::console::FiscalYearChart;
using hvn::console::StringGrid;
using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

constexpr int kSectionCalcTab = 5;
constexpr int kPrintCalcTab = 6;

// Sections HQ(1) > Sales(2) > East(3), HQ > Dev(5), a deleted section 4. Users: 1 in HQ
// itself, 2 in Sales, 3 in East, 4 in Dev, 5 in no section. Printers: P1 leads P2; P3 is in
// no group; P4 leads a group of one.
void prepareOrganisation(SQLite::Database &db)
{
    exec(db, "INSERT INTO tblSectionInfo VALUES (1,'HQ',0,1,'HQ'),(2,'Sales',1,2,'HQ Sales'),"
             " (3,'East',2,3,'HQ Sales East'),(4,'delete',-1,-1,'delete'),(5,'Dev',1,2,'HQ Dev')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
             " (1,'u1',1,'u1'),(2,'u2',2,'u2'),(3,'u3',3,'u3'),(4,'u4',5,'u4'),(5,'u5',0,'u5')");
    exec(db, "INSERT INTO tblPrintingMachineInfo VALUES (1,'P1',0,1,'G'),(2,'P2',1,1,'G'),(3,'P3',0,0,'P3'),"
             " (4,'P4',0,4,'P4')");
}

void addRecord(SQLite::Database &db, int user, int printer, int pages, int sheets, const char *time)
{
    exec(db, "INSERT INTO tblPrintingData VALUES (?, ?, 'PC', ?, ?, ?, ?)", user, printer, pages, pages, sheets,
         time);
}

// Each row's cells joined by "|".
QStringList gridTexts(const StringGrid *grid)
{
    QStringList rows;
    for (int row = 0; row < grid->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < grid->columnCount(); ++column)
            cells << grid->cell(column, row);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// The chart beside a grid shows the grid's figures: its month labels, both years' sheets as
// bars and both years' rates as lines whose values give the grid's rate texts.
bool chartShowsGrid(const FiscalYearChart *chart, const StringGrid *grid)
{
    const auto fail = [](int row, const QString &what) {
        qWarning("chart row %d: %s", row, qPrintable(what));
        return false;
    };
    if (chart->sheets()->count() != 12 || chart->previousSheets()->count() != 12 || chart->rate()->count() != 12
        || chart->previousRate()->count() != 12)
        return fail(0, QStringLiteral("not twelve months"));
    for (int row = 1; row <= 12; ++row) {
        const int i = row - 1;
        if (chart->months().value(i) != grid->cell(0, row))
            return fail(row, chart->months().value(i) + " for " + grid->cell(0, row));
        if (chart->sheets()->at(i) != grid->cell(2, row).trimmed().toDouble()
            || chart->previousSheets()->at(i) != grid->cell(5, row).trimmed().toDouble())
            return fail(row, QStringLiteral("sheets"));
        const QPointF rate = chart->rate()->at(i);
        const QPointF previousRate = chart->previousRate()->at(i);
        if (rate.x() != i || QString::asprintf(" %3.1f%% ", rate.y()) != grid->cell(3, row)
            || QString::asprintf(" %3.1f%% ", previousRate.y()) != grid->cell(6, row))
            return fail(row, QString::asprintf("rates %f %f", rate.y(), previousRate.y()));
    }
    return true;
}

bool chartIsEmpty(const FiscalYearChart *chart)
{
    return chart->sheets()->count() == 0 && chart->previousSheets()->count() == 0 && chart->rate()->count() == 0
        && chart->previousRate()->count() == 0;
}

const QString kTitles = QStringLiteral("|ページ数|用紙枚数|削減率(%)|前年度ページ数|前年度用紙枚数|前年度削減率(%)");
const QString kEmpty = QStringLiteral(" 0 | 0 | 0.0% ");

bool restored(const TMainForm &form, const QPushButton *button)
{
    return button->isEnabled() && form.AllowPageChange && !QApplication::overrideCursor() && databaseMutexFree();
}

} // namespace

class TstMainformFiscalYear : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        hvn::console::setUpApplication();
    }
    void init();
    void cleanup();

    void sectionTableCountsSubtreeWithPreviousYear_data();
    void sectionTableCountsSubtreeWithPreviousYear();
    void printerTableCountsGroupAsReadAtCalculation();
    void calcWithNothingSelectedOnlyRelabelsSectionAndLeavesPrinter();
    void refusedLockKeepsItemsAndQueriesNothing();
    void itemsComputeWhatTheyNameAfterTheOtherTabFilledLast();
    void engineErrorsRestoreTheBracketAndShowOnce();
    void cellsAreDrawnOnTheirColoursAndAligned();

private:
    void start(int tab);
    void showTab(int tab);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LockServer> m_server;
    std::unique_ptr<SQLite::Database> m_db;
    // Answers every message box, so a fault shows as a failure and never as a modal wait.
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<TMainForm> m_form;
};

void TstMainformFiscalYear::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<LockServer>();
    m_env->setConsolePort(m_server->port());
    m_db = std::make_unique<SQLite::Database>(m_env->createDatabase());
    prepareOrganisation(*m_db);
    m_messages = std::make_unique<MessageRecorder>();
    m_env->setSetting("WindowHeight", 600);
    m_env->setSetting("WindowWidth", 900);
    m_env->setSetting("SectionYear", 2004);
    m_env->setSetting("SectionMonth", 4);
    m_env->setSetting("PrinterYear", 2004);
    m_env->setSetting("PrinterMonth", 4);
}

void TstMainformFiscalYear::cleanup()
{
    m_form.reset();
    m_messages.reset();
    m_db.reset();
    m_server.reset();
    m_env.reset();
}

void TstMainformFiscalYear::start(int tab)
{
    m_env->setSetting("ActivePage", tab);
    m_form = std::make_unique<TMainForm>();
    QVERIFY(showAndLoad(*m_form));
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TstMainformFiscalYear::showTab(int tab)
{
    clickTab(m_form->PageControl1, tab);
    QCOMPARE(m_form->PageControl1->currentIndex(), tab);
}

void TstMainformFiscalYear::sectionTableCountsSubtreeWithPreviousYear_data()
{
    // Rows with figures; every other month row reads kEmpty twice.
    QTest::addColumn<int>("startMonth");
    QTest::addColumn<QStringList>("rows");
    const QString april = QStringLiteral("4月| 200 | 150 | 25.0% | 100 | 50 | 50.0% ");
    QTest::newRow("S = 4: April 2004 to March 2005 beside April 2003 to March 2004")
        << 4
        << QStringList{april, "1月|" + kEmpty + "| 7 | 7 | 0.0% ", "3月| 3 | 2 | 33.3% |" + kEmpty,
                       "累計| 203 | 152 | 25.1% | 107 | 57 | 46.7% "};
    QTest::newRow("S = 1: the calendar years 2004 and 2003")
        << 1 << QStringList{"1月| 7 | 7 | 0.0% |" + kEmpty, april, "累計| 207 | 157 | 24.2% | 100 | 50 | 50.0% "};
}

void TstMainformFiscalYear::sectionTableCountsSubtreeWithPreviousYear()
{
    QFETCH(int, startMonth);
    QFETCH(QStringList, rows);
    addRecord(*m_db, 2, 1, 200, 150, "2004-04-10 10:00:00.000");
    addRecord(*m_db, 2, 1, 100, 50, "2003-04-20 10:00:00.000");
    addRecord(*m_db, 2, 1, 0, 0, "2004-05-01 00:00:00.000"); // 0 pages
    addRecord(*m_db, 3, 1, 3, 2, "2005-03-31 23:59:59.999");
    addRecord(*m_db, 3, 1, 7, 7, "2004-01-05 08:00:00.000");
    // The parent's own user, a sibling section and no section do not count for Sales.
    addRecord(*m_db, 1, 1, 1000, 1, "2004-04-11 10:00:00.000");
    addRecord(*m_db, 4, 1, 500, 100, "2004-04-12 10:00:00.000");
    addRecord(*m_db, 5, 1, 300, 100, "2004-04-13 10:00:00.000");
    m_env->setSetting("SectionMonth", startMonth);
    start(kSectionCalcTab);

    QStringList items;
    for (int i = 0; i < m_form->ComboBox1->count(); ++i)
        items << m_form->ComboBox1->itemText(i);
    QCOMPARE(items, (QStringList{"HQ", "HQ Sales", "HQ Sales East", "HQ Dev"}));
    QCOMPARE(m_form->ComboBox1->currentIndex(), 0);
    QVERIFY(!m_form->pnlDay->isVisible());
    QVERIFY(m_form->FilePrintItem->isEnabled());
    QVERIFY(chartIsEmpty(m_form->chtSectionCalc));
    QCOMPARE(m_form->chtSectionCalc->months().value(0), QStringLiteral("%1月").arg(startMonth));

    m_form->ComboBox1->setCurrentIndex(1);
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    QVERIFY(chartShowsGrid(m_form->chtSectionCalc, m_form->sgSectionCalc));
    QVERIFY(m_form->chtSectionCalc->chart()->title().contains(QStringLiteral("HQ Sales")));
    QVERIFY(chartIsEmpty(m_form->chtPrinterCalc));
    const QStringList texts = gridTexts(m_form->sgSectionCalc);
    QCOMPARE(texts.size(), 14);
    QCOMPARE(texts[0], kTitles);
    for (int row = 1; row <= 13; ++row) {
        const QString label = row == 13 ? QStringLiteral("累計") : QStringLiteral("%1月").arg((startMonth + row - 2) % 12 + 1);
        const auto figures = std::find_if(rows.begin(), rows.end(), [&](const QString &r) { return r.startsWith(label + '|'); });
        QCOMPARE(texts[row], figures != rows.end() ? *figures : label + "|" + kEmpty + "|" + kEmpty);
    }
    QVERIFY(m_messages->requests.isEmpty());
    QVERIFY(restored(*m_form, m_form->btnCalc));
    // The calculation leaves the roll-up at the section's level.
    SQLite::Statement rolled(*m_db, "SELECT TargetLevelName FROM tblUserInfo WHERE UserID = 3");
    QVERIFY(rolled.executeStep());
    QCOMPARE(QString::fromStdString(rolled.getColumn(0).getString()), QStringLiteral("HQ Sales"));
}

void TstMainformFiscalYear::printerTableCountsGroupAsReadAtCalculation()
{
    addRecord(*m_db, 1, 1, 10, 5, "2004-06-01 00:00:00.000");
    addRecord(*m_db, 2, 2, 20, 10, "2004-06-30 23:59:59.999");
    addRecord(*m_db, 1, 4, 40, 20, "2004-08-03 10:00:00.000");
    addRecord(*m_db, 1, 3, 100, 50, "2004-06-04 10:00:00.000");
    addRecord(*m_db, 1, 3, 300, 300, "2004-07-04 10:00:00.000");
    m_env->setSetting("PrinterYear", 2004);
    m_env->setSetting("PrinterMonth", 4);
    start(kPrintCalcTab);

    QStringList items;
    for (int i = 0; i < m_form->ComboBox2->count(); ++i)
        items << m_form->ComboBox2->itemText(i);
    QCOMPARE(items, (QStringList{"P1", "P3", "P4"})); // the member P2 is not offered
    const auto calc = [&](int item) {
        m_form->ComboBox2->setCurrentIndex(item);
        QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
        return gridTexts(m_form->sgPrinterCalc);
    };

    QCOMPARE(m_form->chtPrinterCalc->objectName(), QStringLiteral("chtPrinterCalc"));
    QVERIFY(chartIsEmpty(m_form->chtPrinterCalc));
    QStringList leader = calc(0);
    QVERIFY(chartShowsGrid(m_form->chtPrinterCalc, m_form->sgPrinterCalc));
    QCOMPARE(m_form->chtPrinterCalc->sheets()->at(2), 15.0);
    QCOMPARE(m_form->chtPrinterCalc->rate()->at(2).y(), 50.0);
    QCOMPARE(leader[3], "6月| 30 | 15 | 50.0% |" + kEmpty);
    QCOMPARE(leader[5], "8月|" + kEmpty + "|" + kEmpty);
    // P4 joins P1's group after its records were collected: they count for the leader now.
    exec(*m_db, "UPDATE tblPrintingMachineInfo SET ParentPrinterID = 1, GroupPrinterID = 1,"
                " CommonPrinterName = 'G' WHERE PrinterID = 4");
    leader = calc(0);
    QCOMPARE(leader[5], "8月| 40 | 20 | 50.0% |" + kEmpty);
    QCOMPARE(leader[13], "累計| 70 | 35 | 50.0% |" + kEmpty);

    // The totals rate comes from the summed counts, not from the monthly rates.
    const QStringList alone = calc(1);
    QCOMPARE(alone[3], "6月| 100 | 50 | 50.0% |" + kEmpty);
    QCOMPARE(alone[4], "7月| 300 | 300 | 0.0% |" + kEmpty);
    QCOMPARE(alone[13], "累計| 400 | 350 | 12.5% |" + kEmpty);
    QVERIFY(chartShowsGrid(m_form->chtPrinterCalc, m_form->sgPrinterCalc));
    QVERIFY(m_messages->requests.isEmpty());
    QVERIFY(restored(*m_form, m_form->btnPrinterCalc));
}

void TstMainformFiscalYear::calcWithNothingSelectedOnlyRelabelsSectionAndLeavesPrinter()
{
    addRecord(*m_db, 2, 3, 200, 150, "2004-04-10 10:00:00.000");
    start(kSectionCalcTab);
    m_form->ComboBox1->setCurrentIndex(1);
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    const QStringList before = gridTexts(m_form->sgSectionCalc);

    // Typed text names no section; the start month moves to 1.
    m_form->ComboBox1->lineEdit()->setText(QStringLiteral("HQ Sal"));
    for (int i = 0; i < 3; ++i)
        m_form->udSecMonth->click(hvn::console::UpDown::Button::Down);
    exec(*m_db, "DROP TABLE tblPrintingData"); // nothing may be queried
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    const QStringList after = gridTexts(m_form->sgSectionCalc);
    QCOMPARE(after[1], QStringLiteral("1月") + before[1].mid(before[1].indexOf('|')));
    QCOMPARE(after[12], QStringLiteral("12月") + before[12].mid(before[12].indexOf('|')));
    QCOMPARE(after[13], before[13]);
    QVERIFY(chartShowsGrid(m_form->chtSectionCalc, m_form->sgSectionCalc));

    showTab(kPrintCalcTab);
    m_form->ComboBox2->setCurrentIndex(1);
    m_form->ComboBox2->lineEdit()->setText(QStringLiteral("no such printer"));
    const QStringList printerBefore = gridTexts(m_form->sgPrinterCalc);
    m_form->udPrnMonth->click(hvn::console::UpDown::Button::Up);
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    QCOMPARE(gridTexts(m_form->sgPrinterCalc), printerBefore);
    QVERIFY(chartIsEmpty(m_form->chtPrinterCalc));
    QVERIFY(m_messages->requests.isEmpty());
}

void TstMainformFiscalYear::refusedLockKeepsItemsAndQueriesNothing()
{
    addRecord(*m_db, 2, 1, 200, 150, "2004-04-10 10:00:00.000");
    start(kSectionCalcTab);
    m_form->ComboBox1->setCurrentIndex(1);
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    const QStringList figures = gridTexts(m_form->sgSectionCalc);
    showTab(kPrintCalcTab);

    m_env->setConsolePort(closedPort());
    exec(*m_db, "INSERT INTO tblSectionInfo VALUES (6,'New',0,1,'New')");
    exec(*m_db, "UPDATE tblUserInfo SET TargetLevelID = 77");
    m_form->udSecMonth->click(hvn::console::UpDown::Button::Down);
    showTab(kSectionCalcTab);
    QCOMPARE(m_form->ComboBox1->count(), 4);
    QCOMPARE(m_form->ComboBox1->itemData(1).toInt(), 2);
    QCOMPARE(m_form->sgSectionCalc->cell(0, 1), QStringLiteral("3月")); // laid out all the same
    QCOMPARE(m_form->sgSectionCalc->cell(1, 1), figures[1].section('|', 1, 1));
    QVERIFY(restored(*m_form, m_form->btnCalc));

    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    QCOMPARE(m_form->sgSectionCalc->cell(1, 13), figures[13].section('|', 1, 1));
    // The chart keeps the last figures under the grid's new month labels.
    QVERIFY(chartShowsGrid(m_form->chtSectionCalc, m_form->sgSectionCalc));
    QCOMPARE(m_form->chtSectionCalc->sheets()->at(0), 150.0);
    SQLite::Statement untouched(*m_db, "SELECT COUNT(*) FROM tblUserInfo WHERE TargetLevelID <> 77");
    QVERIFY(untouched.executeStep());
    QCOMPARE(untouched.getColumn(0).getInt(), 0);
    QVERIFY(restored(*m_form, m_form->btnCalc));

    showTab(kPrintCalcTab);
    QCOMPARE(m_form->ComboBox2->count(), 3);
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    QVERIFY(chartIsEmpty(m_form->chtPrinterCalc));
    QVERIFY(restored(*m_form, m_form->btnPrinterCalc));
    QVERIFY(m_messages->requests.isEmpty());
}

// Each combo box keeps the identifiers of its own items: after the printer tab filled its list
// last, a section tab whose lock is refused still computes the section each item names, and
// the other way round.
void TstMainformFiscalYear::itemsComputeWhatTheyNameAfterTheOtherTabFilledLast()
{
    addRecord(*m_db, 3, 3, 30, 20, "2004-04-10 10:00:00.000"); // East, on P3
    addRecord(*m_db, 1, 1, 11, 11, "2004-04-11 10:00:00.000"); // HQ, on P1
    start(kSectionCalcTab);
    showTab(kPrintCalcTab);
    const int port = m_server->port();
    m_env->setConsolePort(closedPort());
    showTab(kSectionCalcTab);
    m_env->setConsolePort(port);

    m_form->ComboBox1->setCurrentIndex(2); // "HQ Sales East"; item 2 of ComboBox2 is P4
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    QCOMPARE(m_form->sgSectionCalc->cell(1, 13), QStringLiteral(" 30 "));

    m_env->setConsolePort(closedPort());
    showTab(kPrintCalcTab);
    m_env->setConsolePort(port);
    m_form->ComboBox2->setCurrentIndex(1); // P3; item 1 of ComboBox1 is Sales (2), the member P2
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    QCOMPARE(m_form->sgPrinterCalc->cell(1, 13), QStringLiteral(" 30 "));
}

void TstMainformFiscalYear::engineErrorsRestoreTheBracketAndShowOnce()
{
    start(kSectionCalcTab);
    bool restoredAtMessage = false;
    m_messages->onMessage = [&](const hvn::console::MessageRequest &) {
        restoredAtMessage = restored(*m_form, m_form->PageControl1->currentIndex() == kSectionCalcTab
                                                  ? m_form->btnCalc
                                                  : m_form->btnPrinterCalc);
    };

    // A failed section listing is passed over: the items stay, nothing is shown.
    exec(*m_db, "ALTER TABLE tblSectionInfo RENAME TO tblSectionInfoGone");
    showTab(kPrintCalcTab);
    showTab(kSectionCalcTab);
    QCOMPARE(m_form->ComboBox1->count(), 4);
    QVERIFY(m_messages->requests.isEmpty());
    QVERIFY(restored(*m_form, m_form->btnCalc));

    // The calculation fails at the level lookup.
    QTest::mouseClick(m_form->btnCalc, Qt::LeftButton);
    QCOMPARE(m_messages->requests.size(), 1);
    QVERIFY2(m_messages->requests[0].text.contains(QStringLiteral("no such table")), qPrintable(m_messages->requests[0].text));
    QVERIFY(restoredAtMessage);
    QVERIFY(chartIsEmpty(m_form->chtSectionCalc));
    exec(*m_db, "ALTER TABLE tblSectionInfoGone RENAME TO tblSectionInfo");

    // The printer listing is not guarded: its error is shown, the grid is laid out.
    exec(*m_db, "ALTER TABLE tblPrintingMachineInfo RENAME TO tblPrintersGone");
    restoredAtMessage = false;
    showTab(kPrintCalcTab);
    QCOMPARE(m_messages->requests.size(), 2);
    QVERIFY(restoredAtMessage);
    QCOMPARE(m_form->sgPrinterCalc->cell(0, 13), QStringLiteral("累計"));
    exec(*m_db, "ALTER TABLE tblPrintersGone RENAME TO tblPrintingMachineInfo");

    showTab(kSectionCalcTab);
    showTab(kPrintCalcTab);
    exec(*m_db, "INSERT INTO tblPrintingData VALUES (1, 1, 'PC', 200, 200, 150, '2004-04-10 10:00:00.000')");
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    QVERIFY(chartShowsGrid(m_form->chtPrinterCalc, m_form->sgPrinterCalc));
    const QStringList charted = gridTexts(m_form->sgPrinterCalc);
    exec(*m_db, "DROP TABLE tblPrintingData");
    restoredAtMessage = false;
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    QCOMPARE(m_messages->requests.size(), 3);
    QVERIFY(restoredAtMessage);
    // A failed calculation leaves the grid and its chart on the last figures.
    QCOMPARE(gridTexts(m_form->sgPrinterCalc), charted);
    QVERIFY(chartShowsGrid(m_form->chtPrinterCalc, m_form->sgPrinterCalc));
    QCOMPARE(m_form->chtPrinterCalc->sheets()->at(0), 150.0);
}

void TstMainformFiscalYear::cellsAreDrawnOnTheirColoursAndAligned()
{
    addRecord(*m_db, 1, 1, 200, 150, "2004-04-10 10:00:00.000");
    start(kPrintCalcTab);
    QTest::mouseClick(m_form->btnPrinterCalc, Qt::LeftButton);
    StringGrid *grid = m_form->sgPrinterCalc;
    QCOMPARE(QFontInfo(grid->font()).family(), QStringLiteral("IPAGothic"));
    QCOMPARE(grid->columnWidth(0), 50);
    QCOMPARE(grid->columnWidth(6), 120);
    grid->setCurrentCell(2, 3); // a selected cell looks like any other

    const QImage image = grid->viewport()->grab().toImage();
    const auto rect = [&](int column, int row) { return grid->visualRect(grid->model()->index(row, column)); };
    const auto pixel = [&](QPoint at) { return image.pixelColor(at).rgb(); };
    const QPalette &palette = grid->palette();
    const QRgb aqua = qRgb(0, 255, 255);
    for (int column = 1; column <= 6; ++column)
        QCOMPARE(pixel(rect(column, 13).topLeft() + QPoint(3, 3)), aqua);
    for (int row : {1, 3, 12})
        QCOMPARE(pixel(rect(2, row).topLeft() + QPoint(3, 3)), palette.color(QPalette::Base).rgb());
    for (const QRect &fixed : {rect(2, 0), rect(0, 5), rect(0, 13)}) {
        QCOMPARE(pixel(fixed.topLeft() + QPoint(3, 3)), palette.color(QPalette::Button).rgb());
        QCOMPARE(pixel(QPoint(fixed.center().x(), fixed.top())), palette.color(QPalette::Light).rgb());
        QCOMPARE(pixel(QPoint(fixed.left(), fixed.center().y())), palette.color(QPalette::Light).rgb());
        QCOMPARE(pixel(QPoint(fixed.center().x(), fixed.bottom())), palette.color(QPalette::Dark).rgb());
        QCOMPARE(pixel(QPoint(fixed.right(), fixed.center().y())), palette.color(QPalette::Dark).rgb());
    }

    // Where the ink of a cell's text lies: its leftmost and rightmost dark columns.
    const auto ink = [&](const QRect &cell) {
        int left = cell.right(), right = cell.left();
        for (int x = cell.left() + 1; x < cell.right(); ++x) {
            for (int y = cell.top() + 1; y < cell.bottom(); ++y) {
                if (qGray(pixel(QPoint(x, y))) < 96) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        return std::pair{left, right};
    };
    QFont font = grid->font();
    font.setPointSize(12);
    const int blank = QFontMetrics(font).horizontalAdvance(QLatin1Char(' '));
    QCOMPARE(grid->cell(1, 1), QStringLiteral(" 200 "));
    const QRect figure = rect(1, 1);
    const int figureRight = ink(figure).second;
    QVERIFY2(figureRight <= figure.right() - 20 - blank && figureRight >= figure.right() - 20 - blank - 3,
             qPrintable(QStringLiteral("ink ends at %1 in %2..%3").arg(figureRight).arg(figure.left()).arg(figure.right())));
    QVERIFY(ink(rect(1, 13)).second >= rect(1, 13).right() - 20 - blank - 3);
    const QRect label = rect(0, 1);
    QVERIFY(ink(label).second <= label.right() - 8 && ink(label).second >= label.right() - 8 - 3);
    const QRect title = rect(2, 0);
    const auto [titleLeft, titleRight] = ink(title);
    QVERIFY(std::abs((titleLeft - title.left()) - (title.right() - titleRight)) <= 3);
    // The selected cell's text is black on the window colour too.
    QCOMPARE(pixel(rect(2, 3).topLeft() + QPoint(3, 3)), palette.color(QPalette::Base).rgb());
}

QTEST_MAIN(TstMainformFiscalYear)
#include "tst_mainformfiscalyear.moc"
