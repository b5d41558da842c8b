// The window and view settings under SOFTWARE\Halvane\ProgramSetting: restored once by
// FormCreate, saved once by the destructor.
#include "mainform/Mainform.h"
#include "mainform/WindowPlacement.h"

#include <algorithm>
#include <array>

#include <QComboBox>
#include <QDate>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>

#include "period/ReportingPeriod.h"

namespace hvn::console {

QRect defaultWindowGeometry(const QSize &screen)
{
    const int width = std::min(800, screen.width());
    const int height = std::min(540, screen.height());
    return {screen.width() / 2 - width / 2, screen.height() / 2 - height / 2, width, height};
}

namespace {

constexpr int kPageCount = 7;

struct ColumnSetting {
    const char *name;
    QTableView *TMainForm::*grid;
    int column;
};

// The stored column widths, in the order they are read and written. Hidden columns
// (GridReciveDataColumns4 and column 2 of the total grids) are not kept.
constexpr std::array<ColumnSetting, 23> kColumnSettings{{
    {"GridReciveDataColumns0", &TMainForm::dbgReciveData, 0},
    {"GridReciveDataColumns1", &TMainForm::dbgReciveData, 1},
    {"GridReciveDataColumns2", &TMainForm::dbgReciveData, 2},
    {"GridReciveDataColumns3", &TMainForm::dbgReciveData, 3},
    {"GridReciveDataColumns5", &TMainForm::dbgReciveData, 5},
    {"GridReciveDataColumns6", &TMainForm::dbgReciveData, 6},
    {"GridReciveDataColumns7", &TMainForm::dbgReciveData, 7},
    {"GridUserDataColumns0", &TMainForm::dbgUserData, 0},
    {"GridUserDataColumns1", &TMainForm::dbgUserData, 1},
    {"GridUserDataColumns3", &TMainForm::dbgUserData, 3},
    {"GridUserDataColumns4", &TMainForm::dbgUserData, 4},
    {"GridPrinterDataColumns0", &TMainForm::dbgPrinterData, 0},
    {"GridPrinterDataColumns1", &TMainForm::dbgPrinterData, 1},
    {"GridPrinterDataColumns3", &TMainForm::dbgPrinterData, 3},
    {"GridPrinterDataColumns4", &TMainForm::dbgPrinterData, 4},
    {"GridComputerDataColumns0", &TMainForm::dbgComputerData, 0},
    {"GridComputerDataColumns1", &TMainForm::dbgComputerData, 1},
    {"GridComputerDataColumns3", &TMainForm::dbgComputerData, 3},
    {"GridComputerDataColumns4", &TMainForm::dbgComputerData, 4},
    {"GridSectionDataColumns0", &TMainForm::dbgSection, 0},
    {"GridSectionDataColumns1", &TMainForm::dbgSection, 1},
    {"GridSectionDataColumns2", &TMainForm::dbgSection, 2},
    {"GridSectionDataColumns3", &TMainForm::dbgSection, 3},
}};

QSize screenSize()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(800, 540);
}

} // namespace

void TMainForm::FormCreate()
{
    const auto setting = [this](const char *name) {
        return RegCtl.GetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProgramSettingKey, name);
    };
    const int top = setting("WindowTop");
    const int left = setting("WindowLeft");
    const int height = setting("WindowHeight");
    const int width = setting("WindowWidth");
    const int activePage = setting("ActivePage");
    const int toYear = setting("ToYear");
    const int toMonth = setting("ToMonth");
    const int kikanIndex = setting("KikanIndex");
    const int sectionYear = setting("SectionYear");
    const int sectionMonth = setting("SectionMonth");
    const int printerYear = setting("PrinterYear");
    const int printerMonth = setting("PrinterMonth");

    if (height != 0 && width != 0) {
        move(left, top);
        resize(width, height);
        udYear->setPosition(toYear);
        udMonth->setPosition(toMonth);
        cmbKikan->setCurrentIndex(kikanIndex >= 0 && kikanIndex < cmbKikan->count() ? kikanIndex : -1);
        udSecYear->setPosition(sectionYear);
        udSecMonth->setPosition(sectionMonth);
        udPrnYear->setPosition(printerYear);
        udPrnMonth->setPosition(printerMonth);
        for (const ColumnSetting &column : kColumnSettings)
            (this->*column.grid)->horizontalHeader()->resizeSection(column.column, setting(column.name));
    } else {
        // Top and left are the window's outer edges, as move() and the saved x() and y() are.
        const QRect place = defaultWindowGeometry(screenSize());
        move(place.topLeft());
        resize(place.size());
        const QDate today = QDate::currentDate();
        udYear->setPosition(today.year());
        udMonth->setPosition(today.month());
        cmbKikan->setCurrentIndex(0);
        udSecYear->setPosition(2004);
        udPrnYear->setPosition(2004);
        udSecMonth->setPosition(4);
        udPrnMonth->setPosition(4);
    }

    // A stored end month of 0 or 13 would make a period that is no valid date range; carry
    // it into the year as the month buttons do.
    const YearMonth end = normalizedMonth(udYear->position(), udMonth->position());
    if (end.year >= udYear->minimum() && end.year <= udYear->maximum()) {
        udYear->setPosition(end.year);
        udMonth->setPosition(end.month);
    } else {
        udMonth->setPosition(std::clamp(udMonth->position(), 1, 12));
    }

    lblToYear->setText(QString::asprintf("%4d年", udYear->position()));
    lblToMonth->setText(QString::asprintf("%2d月", udMonth->position()));
    UpdateFromLabels();

    stSecYear->setText(QString::number(udSecYear->position()));
    stSecMonth->setText(QString::number(udSecMonth->position()));
    stPrnYear->setText(QString::number(udPrnYear->position()));
    stPrnMonth->setText(QString::number(udPrnMonth->position()));

    PageControl1->setCurrentIndex(activePage >= 0 && activePage < kPageCount ? activePage : 0);
}

void TMainForm::saveSettings()
{
    const auto store = [this](const char *name, int value) {
        RegCtl.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProgramSettingKey, name, value);
    };
    store("WindowTop", y());
    store("WindowLeft", x());
    store("WindowHeight", height());
    store("WindowWidth", width());
    store("ActivePage", PageControl1->currentIndex());
    store("ToYear", udYear->position());
    store("ToMonth", udMonth->position());
    store("KikanIndex", cmbKikan->currentIndex());
    store("SectionYear", udSecYear->position());
    store("SectionMonth", udSecMonth->position());
    store("PrinterYear", udPrnYear->position());
    store("PrinterMonth", udPrnMonth->position());
    for (const ColumnSetting &column : kColumnSettings)
        store(column.name, (this->*column.grid)->horizontalHeader()->sectionSize(column.column));
}

} // namespace hvn::console
