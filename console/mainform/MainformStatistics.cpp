// The four statistics tabs: every print record of the period and the totals per user,
// printer and computer, each loaded when its tab is shown and forgotten when it is hidden.
// Each reads on a snapshot fixed under the lock and gives the lock back before it reads.
#include "mainform/Mainform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/ErrorDisplay.h"
#include "data/DbGridModel.h"
#include "data/StatisticsQueries.h"
#include "lock/BusyBracket.h"
#include "mainform/RecordLoad.h"
#include "widgets/DataGrid.h"

namespace hvn::console {

namespace {

QWidget *addSheet(QTabWidget *pages, const char *name, const QString &caption)
{
    auto *sheet = new QWidget(pages);
    sheet->setObjectName(QString::fromLatin1(name));
    pages->addTab(sheet, caption);
    return sheet;
}

QTableView *fillSheet(QWidget *sheet, const char *gridName, TDbGridModel *model)
{
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    QTableView *grid = createDataGrid(sheet, gridName, model);
    layout->addWidget(grid);
    return grid;
}

} // namespace

void TMainForm::buildStatisticsTabs()
{
    qReciveData.SQL() = qReciveDataSql();
    qUserData.SQL() = qUserDataSql();
    qPrinterData.SQL() = qPrinterDataSql();
    qComputer.SQL() = qComputerSql();

    m_reciveModel = new TDbGridModel(qReciveData, dbgReciveDataColumns(), this);
    m_userModel = new TDbGridModel(qUserData, dbgUserDataColumns(), this);
    m_printerModel = new TDbGridModel(qPrinterData, dbgPrinterDataColumns(), this);
    m_computerModel = new TDbGridModel(qComputer, dbgComputerDataColumns(), this);

    tabRecive = addSheet(PageControl1, "tabRecive", QStringLiteral("印刷データ"));
    dbgReciveData = fillSheet(tabRecive, "dbgReciveData", m_reciveModel);
    tabUser = addSheet(PageControl1, "tabUser", QStringLiteral("ユーザー別データ"));
    dbgUserData = fillSheet(tabUser, "dbgUserData", m_userModel);
    tabPrinter = addSheet(PageControl1, "tabPrinter", QStringLiteral("プリンタ別データ"));
    dbgPrinterData = fillSheet(tabPrinter, "dbgPrinterData", m_printerModel);
    tabComputer = addSheet(PageControl1, "tabComputer", QStringLiteral("コンピュータ別データ"));
    dbgComputerData = fillSheet(tabComputer, "dbgComputerData", m_computerModel);
}

void TMainForm::tabReciveShow() { showStatisticsTab(qReciveData, m_reciveModel); }
void TMainForm::tabUserShow() { showStatisticsTab(qUserData, m_userModel); }
void TMainForm::tabPrinterShow() { showStatisticsTab(qPrinterData, m_printerModel); }
void TMainForm::tabComputerShow() { showStatisticsTab(qComputer, m_computerModel); }

void TMainForm::tabReciveHide() { hideStatisticsTab(qReciveData, m_reciveModel); }
void TMainForm::tabUserHide() { hideStatisticsTab(qUserData, m_userModel); }
void TMainForm::tabPrinterHide() { hideStatisticsTab(qPrinterData, m_printerModel); }
void TMainForm::tabComputerHide() { hideStatisticsTab(qComputer, m_computerModel); }

void TMainForm::showStatisticsTab(TQuery &query, TDbGridModel *model)
{
    std::optional<ReadSnapshot> streamed;
    runReported(
        [&] {
            BusyBracket bracket(*this, Button2);
            if (!bracket.granted())
                return;
            pnlDay->show();
            Label4->hide();
            Label5->hide();
            Edit1->hide();
            UpDown1->hide();
            Button2->move(392, Button2->y());
            Button2->setText(QStringLiteral("再読込み"));
            streamed = openPeriodQuery(bracket, query, model);
            setPrintItemsEnabled(false);
        },
        this);
    startRecordLoad(std::move(streamed));
}

void TMainForm::hideStatisticsTab(TQuery &query, TDbGridModel *model)
{
    if (&query == &qReciveData)
        endRecordLoad();
    query.close();
    model->refresh();
}

std::optional<ReadSnapshot> TMainForm::openPeriodQuery(BusyBracket &bracket, TQuery &query, TDbGridModel *model)
{
    MakeDateRange();
    query.close();
    model->refresh();
    query.setParamDateTime(QStringLiteral("iistDate"), PeriodStart);
    query.setParamDateTime(QStringLiteral("iiedDate"), PeriodEnd);
    ReadSnapshot snapshot = bracket.readSnapshot(DBConection);
    if (&query == &qReciveData) {
        // Millions of rows: they come in slices once the bracket has ended (RecordLoad).
        query.openStream(DBConection);
        model->refresh();
        return snapshot;
    }
    query.open(DBConection);
    model->refresh();
    return std::nullopt;
}

void TMainForm::startRecordLoad(std::optional<ReadSnapshot> snapshot)
{
    if (!snapshot)
        return;
    // The bracket has given the button back; the load keeps it until its end.
    m_recordLoad = std::make_unique<RecordLoad>(qReciveData, *m_reciveModel, std::move(*snapshot), Button2,
                                                StatusLine, this);
}

bool TMainForm::recordLoadRunning() const
{
    return m_recordLoad && m_recordLoad->running();
}

void TMainForm::endRecordLoad()
{
    m_recordLoad.reset();
}

void TMainForm::Button2Click()
{
    std::optional<ReadSnapshot> streamed;
    runReported(
        [&] {
            BusyBracket bracket(*this, Button2);
            if (!bracket.granted())
                return;
            QWidget *page = PageControl1->currentWidget();
            if (page == tabRecive)
                streamed = openPeriodQuery(bracket, qReciveData, m_reciveModel);
            else if (page == tabUser)
                openPeriodQuery(bracket, qUserData, m_userModel);
            else if (page == tabPrinter)
                openPeriodQuery(bracket, qPrinterData, m_printerModel);
            else if (page == tabComputer)
                openPeriodQuery(bracket, qComputer, m_computerModel);
            else if (page == tabSection)
                loadSectionTab(bracket);
        },
        this);
    startRecordLoad(std::move(streamed));
}

void TMainForm::setPrintItemsEnabled(bool enabled)
{
    FilePrintItem->setEnabled(enabled);
    FilePreviewItem->setEnabled(enabled);
    FilePrintSetupItem->setEnabled(enabled);
}

} // namespace hvn::console
