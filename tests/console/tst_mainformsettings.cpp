// The main window's settings: restored by the constructor, saved by the destructor. The window
// is never shown here, so no lock and no database are involved.
#include <memory>

#include <QComboBox>
#include <QDate>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "RegistryFile.h"
#include "mainform/Mainform.h"
#include "mainform/WindowPlacement.h"

using hvn::console::TMainForm;
using hvn::console::test::TestEnvironment;

namespace {

// The 23 stored grid columns, in the order they are saved.
const char *const kColumnNames[] = {
    "GridReciveDataColumns0", "GridReciveDataColumns1", "GridReciveDataColumns2", "GridReciveDataColumns3",
    "GridReciveDataColumns5", "GridReciveDataColumns6", "GridReciveDataColumns7", "GridUserDataColumns0",
    "GridUserDataColumns1",   "GridUserDataColumns3",   "GridUserDataColumns4",   "GridPrinterDataColumns0",
    "GridPrinterDataColumns1", "GridPrinterDataColumns3", "GridPrinterDataColumns4", "GridComputerDataColumns0",
    "GridComputerDataColumns1", "GridComputerDataColumns3", "GridComputerDataColumns4", "GridSectionDataColumns0",
    "GridSectionDataColumns1", "GridSectionDataColumns2", "GridSectionDataColumns3",
};

int columnWidth(QTableView *grid, int column)
{
    return grid->horizontalHeader()->sectionSize(column);
}

} // namespace

class TstMainformSettings : public QObject {
    Q_OBJECT
private slots:
    void defaultGeometryIsCentredAndClippedToScreen_data();
    void defaultGeometryIsCentredAndClippedToScreen();
    void firstStartAppliesEveryDefault();
    void storedSizeRestoresValuesAsStored();
    void storedSizeWithoutColumnWidthsGivesZeroWidths();
    void zeroWidthColumnsDragOpenAndTheirWidthsAreSaved();
    void widthWithoutHeightFallsBackToDefaultsButKeepsActivePage();
    void activePageOutsideTabsSelectsFirstTab_data();
    void activePageOutsideTabsSelectsFirstTab();
    void storedEndMonthOutsideYearIsCarriedIntoValidPeriod_data();
    void storedEndMonthOutsideYearIsCarriedIntoValidPeriod();
    void destructorSavesEverySettingInTableOrder();
};

void TstMainformSettings::defaultGeometryIsCentredAndClippedToScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("1024x768") << QSize(1024, 768) << QRect(112, 114, 800, 540);
    QTest::newRow("800x600") << QSize(800, 600) << QRect(0, 30, 800, 540);
    QTest::newRow("640x480 fills the screen") << QSize(640, 480) << QRect(0, 0, 640, 480);
    QTest::newRow("odd sizes truncate the halves") << QSize(1025, 769) << QRect(112, 114, 800, 540);
    QTest::newRow("narrow and tall") << QSize(600, 1000) << QRect(0, 230, 600, 540);
}

void TstMainformSettings::defaultGeometryIsCentredAndClippedToScreen()
{
    QFETCH(QSize, screen);
    QFETCH(QRect, expected);
    QCOMPARE(hvn::console::defaultWindowGeometry(screen), expected);
}

void TstMainformSettings::firstStartAppliesEveryDefault()
{
    TestEnvironment env;
    TMainForm form;

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(QRect(form.pos(), form.size()), hvn::console::defaultWindowGeometry(screen));
    const QDate today = QDate::currentDate();
    QCOMPARE(form.lblToYear->text(), QString::asprintf("%4d年", today.year()));
    QCOMPARE(form.lblToMonth->text(), QString::asprintf("%2d月", today.month()));
    QCOMPARE(form.cmbKikan->currentText(), QStringLiteral("１ヶ月分"));
    QCOMPARE(form.stSecYear->text() + form.stSecMonth->text(), QStringLiteral("20044"));
    QCOMPARE(form.stPrnYear->text() + form.stPrnMonth->text(), QStringLiteral("20044"));
    QCOMPARE(form.PageControl1->currentWidget(), form.tabRecive);
    QCOMPARE(columnWidth(form.dbgReciveData, 7), 130);
    QCOMPARE(columnWidth(form.dbgComputerData, 0), 150);
    QCOMPARE(columnWidth(form.dbgSection, 0), 240);
    // Reading the settings creates nothing.
    QVERIFY(!QFile::exists(QString::fromStdString(env.registryPath())));
}

void TstMainformSettings::storedSizeRestoresValuesAsStored()
{
    TestEnvironment env;
    env.setSetting("WindowTop", -20);
    env.setSetting("WindowLeft", -8);
    env.setSetting("WindowHeight", 500);
    env.setSetting("WindowWidth", 700);
    env.setSetting("ActivePage", 3);
    env.setSetting("ToYear", 2003);
    env.setSetting("ToMonth", 7);
    env.setSetting("KikanIndex", 2);
    env.setSetting("SectionYear", 2010);
    env.setSetting("SectionMonth", 10);
    env.setSetting("PrinterYear", 1999);
    env.setSetting("PrinterMonth", 1);
    int width = 31;
    for (const char *name : kColumnNames)
        env.setSetting(name, width++);

    TMainForm form;
    QCOMPARE(form.pos(), QPoint(-8, -20));
    QCOMPARE(form.size(), QSize(700, 500));
    QCOMPARE(form.PageControl1->currentWidget(), form.tabComputer);
    QCOMPARE(form.lblFromYear->text() + form.lblFromMonth->text() + form.lblToYear->text() + form.lblToMonth->text(),
             QStringLiteral("2003年 5月 ～2003年 7月"));
    QCOMPARE(form.stSecYear->text() + "/" + form.stSecMonth->text(), QStringLiteral("2010/10"));
    QCOMPARE(form.stPrnYear->text() + "/" + form.stPrnMonth->text(), QStringLiteral("1999/1"));
    QCOMPARE(columnWidth(form.dbgReciveData, 0), 31);
    QCOMPARE(columnWidth(form.dbgReciveData, 5), 35);
    QCOMPARE(columnWidth(form.dbgUserData, 3), 40);
    QCOMPARE(columnWidth(form.dbgComputerData, 4), 49);
    QCOMPARE(columnWidth(form.dbgSection, 3), 53);
}

void TstMainformSettings::storedSizeWithoutColumnWidthsGivesZeroWidths()
{
    TestEnvironment env;
    env.setSetting("WindowHeight", 500);
    env.setSetting("WindowWidth", 700);
    TMainForm form;
    for (QTableView *grid : {form.dbgReciveData, form.dbgUserData, form.dbgPrinterData, form.dbgComputerData,
                             form.dbgSection})
        QCOMPARE(columnWidth(grid, 0), 0);
    // Absent values are applied as 0; the year control holds them to its range.
    QCOMPARE(form.cmbKikan->currentIndex(), 0);
    QCOMPARE(form.udYear->position(), 1900);
    QCOMPARE(form.udSecMonth->position(), 1);
}

void TstMainformSettings::zeroWidthColumnsDragOpenAndTheirWidthsAreSaved()
{
    TestEnvironment env;
    env.setSetting("WindowHeight", 500);
    env.setSetting("WindowWidth", 700);
    {
        TMainForm form;
        QTableView *grid = form.dbgUserData;
        QWidget *titles = grid->horizontalHeader()->viewport();
        const auto drag = [titles](int from, int to) {
            QTest::mousePress(titles, Qt::LeftButton, {}, QPoint(from, 5));
            QTest::mouseMove(titles, QPoint(to, 5));
            QTest::mouseRelease(titles, Qt::LeftButton, {}, QPoint(to, 5));
        };
        // Every column lies at 0: each drag to the right opens the first closed one.
        drag(0, 90);
        QCOMPARE(columnWidth(grid, 0), 90);
        drag(90, 160);
        QCOMPARE(columnWidth(grid, 0), 90);
        QCOMPARE(columnWidth(grid, 1), 70);
        // Dragging to the left narrows the open column that ends there.
        drag(160, 150);
        QCOMPARE(columnWidth(grid, 1), 60);
        QCOMPARE(columnWidth(grid, 3), 0);
    }
    QCOMPARE(env.setting("GridUserDataColumns0"), 90);
    QCOMPARE(env.setting("GridUserDataColumns1"), 60);
    QCOMPARE(env.setting("GridUserDataColumns3"), 0);
}

void TstMainformSettings::widthWithoutHeightFallsBackToDefaultsButKeepsActivePage()
{
    TestEnvironment env;
    env.setSetting("WindowWidth", 900);
    env.setSetting("ActivePage", 2);
    env.setSetting("ToYear", 1999);
    env.setSetting("KikanIndex", 13);
    env.setSetting("GridUserDataColumns0", 7);
    TMainForm form;
    QCOMPARE(form.width(), qMin(800, QGuiApplication::primaryScreen()->geometry().width()));
    QCOMPARE(form.udYear->position(), QDate::currentDate().year());
    QCOMPARE(form.cmbKikan->currentIndex(), 0);
    QCOMPARE(columnWidth(form.dbgUserData, 0), 120);
    QCOMPARE(form.PageControl1->currentWidget(), form.tabPrinter);
}

void TstMainformSettings::activePageOutsideTabsSelectsFirstTab_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("7") << 7 << 0;
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("6 is the last tab") << 6 << 6;
}

void TstMainformSettings::activePageOutsideTabsSelectsFirstTab()
{
    QFETCH(int, stored);
    QFETCH(int, expected);
    TestEnvironment env;
    env.setSetting("ActivePage", stored);
    TMainForm form;
    QCOMPARE(form.PageControl1->currentIndex(), expected);
}

void TstMainformSettings::storedEndMonthOutsideYearIsCarriedIntoValidPeriod_data()
{
    QTest::addColumn<int>("toMonth");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::newRow("13 is January of the next year")
        << 13 << 2005 << 1 << "2005-01-01 00:00:00.000" << "2005-02-01 00:00:00.000";
    QTest::newRow("0 is December of the year before")
        << 0 << 2003 << 12 << "2003-12-01 00:00:00.000" << "2004-01-01 00:00:00.000";
    QTest::newRow("25 is clamped by the control, then carried")
        << 25 << 2005 << 1 << "2005-01-01 00:00:00.000" << "2005-02-01 00:00:00.000";
}

void TstMainformSettings::storedEndMonthOutsideYearIsCarriedIntoValidPeriod()
{
    QFETCH(int, toMonth);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QString, start);
    QFETCH(QString, end);
    TestEnvironment env;
    env.setSetting("WindowHeight", 500);
    env.setSetting("WindowWidth", 700);
    env.setSetting("ToYear", 2004);
    env.setSetting("ToMonth", toMonth);
    env.setSetting("KikanIndex", 0);
    TMainForm form;
    QCOMPARE(form.udYear->position(), year);
    QCOMPARE(form.udMonth->position(), month);
    QCOMPARE(form.lblToMonth->text(), QString::asprintf("%2d月", month));
    form.MakeDateRange();
    QVERIFY(form.PeriodStart.isValid());
    QVERIFY(form.PeriodEnd.isValid());
    QCOMPARE(QString::fromStdString(form.PeriodStart.toText()), start);
    QCOMPARE(QString::fromStdString(form.PeriodEnd.toText()), end);
}

void TstMainformSettings::destructorSavesEverySettingInTableOrder()
{
    TestEnvironment env;
    {
        TMainForm form;
        form.move(-4, 12);
        form.resize(640, 420);
        form.PageControl1->setCurrentIndex(5);
        form.udYear->setPosition(2006);
        form.udMonth->setPosition(2);
        form.cmbKikan->setCurrentIndex(12);
        form.udSecYear->setPosition(2001);
        form.udSecMonth->setPosition(9);
        form.udPrnYear->setPosition(2002);
        form.udPrnMonth->setPosition(11);
        form.dbgPrinterData->horizontalHeader()->resizeSection(3, 77);
        form.dbgSection->horizontalHeader()->resizeSection(2, 66);
    }
    const QList<int> saved{env.setting("WindowTop"),    env.setting("WindowLeft"),   env.setting("WindowHeight"),
                            env.setting("WindowWidth"),  env.setting("ActivePage"),   env.setting("ToYear"),
                            env.setting("ToMonth"),      env.setting("KikanIndex"),   env.setting("SectionYear"),
                            env.setting("SectionMonth"), env.setting("PrinterYear"),  env.setting("PrinterMonth")};
    QCOMPARE(saved, (QList<int>{12, -4, 420, 640, 5, 2006, 2, 12, 2001, 9, 2002, 11}));
    QCOMPARE(env.setting("GridReciveDataColumns7"), 130);
    QCOMPARE(env.setting("GridPrinterDataColumns3"), 77);
    QCOMPARE(env.setting("GridSectionDataColumns2"), 66);

    // A fresh store keeps the values in the order they were first written.
    const auto values = hvn::platform::RegistryFile(env.registryPath()).values(hvn::kProgramSettingKey);
    QVERIFY(values.has_value());
    QStringList names;
    for (const auto &value : *values)
        names << QString::fromStdString(value.first);
    QStringList expected{"WindowTop",  "WindowLeft",   "WindowHeight", "WindowWidth", "ActivePage",
                         "ToYear",     "ToMonth",      "KikanIndex",   "SectionYear", "SectionMonth",
                         "PrinterYear", "PrinterMonth"};
    for (const char *name : kColumnNames)
        expected << QString::fromLatin1(name);
    QCOMPARE(names, expected);
}

QTEST_MAIN(TstMainformSettings)
#include "tst_mainformsettings.moc"
