#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QMainWindow>

#include "DbDateTime.h"
#include "Dmregistry.h"
#include "UniqueFd.h"
#include "data/DbConnection.h"
#include "data/FiscalYearCalc.h"
#include "data/Query.h"
#include "data/ReadSnapshot.h"
#include "report/FiscalReportSnapshot.h"
#include "widgets/UpDown.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTabBar;
class QTabWidget;
class QTableView;

namespace hvn::console {

class FiscalYearChart;
class BusyBracket;
class HelpWindow;
class RecordLoad;
class SectionRateChart;
class StringGrid;
class TAboutBox;
class TDbGridModel;
class TdlgSection;
class TdlgSectionMember;
class TfrmDelete;
class TfrmPrinterSet;
class TqrForm;

// The console's main window and the hub of its data: the one database connection
// `DBConection`, the settings object `RegCtl`, the lock channel `sock` with its bracket
// `SocketMutexOn` / `SocketMutexOff`, and the reporting period. The constructor builds the
// window and restores the window and view settings (`FormCreate`); the destructor saves them.
// No database access happens before the window is first shown and painted: the selected tab's
// show handler runs right after the first paint. GUI thread only; one instance.
//
// The implementation is spread by concern: Mainform.cpp (construction, layout),
// MainformSettings.cpp, MainformMenu.cpp, MainformTabs.cpp (tab changes), MainformLock.cpp,
// MainformPeriod.cpp, MainformStatistics.cpp (with RecordLoad.cpp), MainformSection.cpp, MainformFiscalYear.cpp,
// MainformSectionCalc.cpp, MainformPrinterCalc.cpp, MainformReport.cpp.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // The maintenance dialogs the menu shows; they live as long as the window, or longer.
    struct Dialogs {
        TdlgSection *dlgSection = nullptr;
        TdlgSectionMember *dlgSectionMember = nullptr;
        TfrmPrinterSet *frmPrinterSet = nullptr;
        TfrmDelete *frmDelete = nullptr;
        TAboutBox *AboutBox = nullptr;
        TqrForm *qrForm = nullptr; // prints and previews the fiscal-year tables
    };

    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Windows created after the main window; the menu commands show them. Each maintenance
    // dialog is attached to this window's connection and lock.
    void setDialogs(const Dialogs &dialogs);

    // ---- Data shared with the other windows of the console ----
    TDbConnection DBConection;
    TdmRegistryCtl RegCtl;
    // The lock channel of the current bracket; invalid outside a bracket.
    platform::UniqueFd sock;
    DbDateTime PeriodStart{};
    DbDateTime PeriodEnd{};
    int StartYear = 0;
    int StartMonth = 0;
    // A change of tab is granted only while this is true.
    bool AllowPageChange = false;

    // ---- Database lock (MainformLock.cpp) ----
    // Takes the database lock from the service. True when granted: `sock` then holds the
    // channel and SocketMutexOff() must follow. False leaves nothing open; socket creation
    // failures have been shown as warnings, a failed connect is stored as `ErrorMsg`, and a
    // refusal is silent. Blocks without limit until the service answers. Brackets never nest.
    bool SocketMutexOn();
    // Gives the lock back: "END", then closes `sock`. Never throws.
    void SocketMutexOff();
    // The longest time one lock was held, from "OK" to "END", since the last reset; for the
    // benchmarks, which show it beside each step.
    std::chrono::steady_clock::duration longestLockHold() const { return m_longestLockHold; }
    void resetLockHold() { m_longestLockHold = {}; }

    // ---- The print-record tab's load (MainformStatistics.cpp, mainform/RecordLoad.h) ----
    // True while rows of the print-record tab are still arriving.
    bool recordLoadRunning() const;
    // Cancels a running load of the print-record tab (its rows so far stay); every lock
    // bracket and the tab's hide handler call it first. Does nothing when none runs.
    void endRecordLoad();

    // ---- Settings (MainformSettings.cpp) ----
    void FormCreate();

    // ---- Reporting period (MainformPeriod.cpp) ----
    void cmbKikanChange();
    void udYearClick(UpDown::Button button);
    void udMonthClick(UpDown::Button button);
    void UpdateFromLabels();
    void MakeDateRange();

    // ---- Statistics tabs (MainformStatistics.cpp) ----
    void tabReciveShow();
    void tabUserShow();
    void tabPrinterShow();
    void tabComputerShow();
    void tabReciveHide();
    void tabUserHide();
    void tabPrinterHide();
    void tabComputerHide();
    void Button2Click();

    // ---- Section tab and roll-up (MainformSection.cpp) ----
    void tabSectionShow();
    // Rewrites TargetLevelID / TargetLevelName of every user for the given level
    // (hvn::console::setTargetLevel on DBConection). The caller holds the database lock.
    // One transaction: on a database error it throws and no user's values change.
    void SetTargetLevel(int level);

    // ---- Fiscal-year tabs (MainformFiscalYear.cpp, MainformSectionCalc.cpp,
    //      MainformPrinterCalc.cpp) ----
    // Each item of ComboBox1 and ComboBox2 carries, as its item data, the SectionID or
    // PrinterID it computes, so an item computes what it names whichever tab filled last.
    void tabSectionCalcShow();
    void btnCalcClick();
    void tabPrintCalcShow();
    void btnPrinterCalcClick();
    void udSecYearClick();
    void udSecMonthClick();
    void udPrnYearClick();
    void udPrnMonthClick();

    // ---- Report printing (MainformReport.cpp) ----
    // The fiscal-year table of the shown tab as the report prints it: the grid's texts, the
    // combo box text and the year caption as they are now. Empty while neither fiscal-year
    // tab is shown, and the print commands then do nothing.
    std::optional<FiscalReportSnapshot> fiscalReportSnapshot() const;

    // ---- Menu commands and window events (MainformMenu.cpp, MainformTabs.cpp) ----
    void ShowHint(const QString &hint);
    void DBConectionBeforeConnect();
    void PageControl1Changing(bool &AllowChange);
    void FileExit();
    void FilePrint();
    void FilePreviewItemClick();
    void FilePrintSetup();
    void MainteSection();
    void MenteSectionMember();
    void MaintePrinterNameClick();
    void MainteDeleteClick();
    void HelpContents();
    void HelpHowToUse();
    void HelpAbout();

    // ---- Controls ----
    QFrame *Bevel1 = nullptr;
    QWidget *ToolBar1 = nullptr;
    QFrame *pnlDay = nullptr;
    QComboBox *cmbKikan = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblFromYear = nullptr;
    QLabel *lblFromMonth = nullptr;
    QLabel *lblToYear = nullptr;
    UpDown *udYear = nullptr;
    QLabel *lblToMonth = nullptr;
    UpDown *udMonth = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr;
    UpDown *UpDown1 = nullptr;
    QLabel *Label5 = nullptr;
    QPushButton *Button2 = nullptr;
    QFrame *Bevel2 = nullptr;

    QTabWidget *PageControl1 = nullptr;
    QWidget *tabRecive = nullptr;
    QWidget *tabUser = nullptr;
    QWidget *tabPrinter = nullptr;
    QWidget *tabComputer = nullptr;
    QWidget *tabSection = nullptr;
    QWidget *tabSectionCalc = nullptr;
    QWidget *tabPrintCalc = nullptr;

    QTableView *dbgReciveData = nullptr;
    QTableView *dbgUserData = nullptr;
    QTableView *dbgPrinterData = nullptr;
    QTableView *dbgComputerData = nullptr;
    QTableView *dbgSection = nullptr;
    // The section tab's chart of the grid's rows (charts/SectionRateChart.h).
    SectionRateChart *chtSection = nullptr;

    QFrame *Panel2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLabel *stSecYear = nullptr;
    UpDown *udSecYear = nullptr;
    QLabel *stSecMonth = nullptr;
    UpDown *udSecMonth = nullptr;
    QPushButton *btnCalc = nullptr;
    StringGrid *sgSectionCalc = nullptr;
    // Beside each fiscal-year grid, its chart, fed by the same calculation (charts/FiscalYearChart.h).
    FiscalYearChart *chtSectionCalc = nullptr;
    QFrame *Panel3 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QLabel *stPrnYear = nullptr;
    UpDown *udPrnYear = nullptr;
    QLabel *stPrnMonth = nullptr;
    UpDown *udPrnMonth = nullptr;
    QPushButton *btnPrinterCalc = nullptr;
    StringGrid *sgPrinterCalc = nullptr;
    FiscalYearChart *chtPrinterCalc = nullptr;

    QStatusBar *StatusLine = nullptr;

    QMenu *FileMenu = nullptr;
    QAction *FilePrintItem = nullptr;
    QAction *FilePreviewItem = nullptr;
    QAction *FilePrintSetupItem = nullptr;
    QAction *FileExitItem = nullptr;
    QMenu *MainteMenu = nullptr;
    QAction *MainteSectionItem = nullptr;
    QAction *MainteSectionMemberItem = nullptr;
    QAction *MaintePrinterName = nullptr;
    QAction *MainteDelete = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *HelpContentsItem = nullptr;
    QAction *HelpHowToUseItem = nullptr;
    QAction *HelpAboutItem = nullptr;

    // ---- Queries ----
    TQuery qReciveData;
    TQuery qUserData;
    TQuery qPrinterData;
    TQuery qComputer;
    TQuery qSection;
    // General-purpose queries, reused by one handler at a time.
    TQuery ADOQuery1;
    TQuery ADOQuery2;
    TQuery ADOQuery3;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBar();
    void buildPeriodControls();
    void buildSectionLevelControls();
    void buildPageControl();
    void buildStatisticsTabs();
    void buildSectionTab();
    void buildFiscalYearTabs();
    void buildMenus();

    void saveSettings();
    void applyStoredLayout(int top, int left, int height, int width);
    void applyFirstStartLayout();

    // Tab visibility: runs the hide handler of the tab that was visible and the show handler
    // of the new one, once the window has been shown.
    void PageControl1Change(int index);
    void runFirstShowHandler();
    void runShowHandler(int index);
    void runHideHandler(int index);
    bool tabChangeRequest(QEvent *event) const;

    // Loads the shown statistics tab: lock bracket, toolbar layout, query with the period.
    void showStatisticsTab(TQuery &query, TDbGridModel *model);
    void hideStatisticsTab(TQuery &query, TDbGridModel *model);
    // Reopens a statistics query for the current period on a read snapshot; the bracket holds
    // the lock and gives it back once the snapshot is fixed. The print-record query is only
    // opened: its snapshot comes back, for startRecordLoad() once the bracket has ended.
    std::optional<ReadSnapshot> openPeriodQuery(BusyBracket &bracket, TQuery &query, TDbGridModel *model);
    void startRecordLoad(std::optional<ReadSnapshot> snapshot);
    // The roll-up at the level of Edit1, then the section totals on a snapshot taken after it.
    void loadSectionTab(BusyBracket &bracket);
    // One fiscal-year calculation in the button's busy bracket; the table goes into the grid
    // and the chart (titled with `name`) only when the lock was granted and the calculation
    // succeeded.
    void calculateFiscalYear(QPushButton *button, StringGrid *grid, FiscalYearChart *chart, const QString &name,
                             const std::function<FiscalYearTable(BusyBracket &)> &calculate);
    void setPrintItemsEnabled(bool enabled);
    void showHelpPage(const QString &page);

    TDbGridModel *m_reciveModel = nullptr;
    TDbGridModel *m_userModel = nullptr;
    TDbGridModel *m_printerModel = nullptr;
    TDbGridModel *m_computerModel = nullptr;
    TDbGridModel *m_sectionModel = nullptr;
    std::unique_ptr<RecordLoad> m_recordLoad;
    std::optional<std::chrono::steady_clock::time_point> m_lockGrantedAt;
    std::chrono::steady_clock::duration m_longestLockHold{};

    Dialogs m_dialogs;
    HelpWindow *m_helpWindow = nullptr;
    QTabBar *m_tabBar = nullptr;
    bool m_tabsLive = false;  // tab handlers run only once the window has been shown and painted
    bool m_firstShowPending = false; // shown, waiting for the first paint
    bool m_firstShowQueued = false;  // painted, the first tab's handler is queued
    int m_visibleTab = -1;    // the tab whose show handler ran last
};

} // namespace hvn::console
