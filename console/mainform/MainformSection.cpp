// The section tab: the display-level controls of the toolbar, the per-section totals of the
// period, and the roll-up of every user to the section at the chosen level of the tree.
#include "mainform/Mainform.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/ErrorDisplay.h"
#include "charts/GridChartPane.h"
#include "charts/SectionRateChart.h"
#include "data/DbGridModel.h"
#include "data/SectionRollUp.h"
#include "data/StatisticsQueries.h"
#include "lock/BusyBracket.h"
#include "widgets/DataGrid.h"

namespace hvn::console {

void TMainForm::buildSectionLevelControls()
{
    Label4 = new QLabel(QStringLiteral("部署別データの表示レベルを"), pnlDay);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(392, 2, 170, 21);
    // Against the box, so the label, the level and Label5 read as one sentence whatever room
    // the font leaves.
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Edit1 = new QLineEdit(QStringLiteral("1"), pnlDay);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    // Two pixels over the design's 20, so that a two-digit level shows beside the box's margins.
    Edit1->setGeometry(564, 3, 22, 18);
    UpDown1 = new UpDown(pnlDay);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(1, 99);
    UpDown1->setPosition(1);
    UpDown1->setBuddy(Edit1);
    UpDown1->setGeometry(586, 3, 15, 18);
    Label5 = new QLabel(QStringLiteral("にする"), pnlDay);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(603, 2, 40, 21);
    connect(UpDown1, &UpDown::clicked, this, &TMainForm::udMonthClick);
    // Shown only by the section tab. Until a tab sets its layout (a refused lock leaves it as
    // it is) the toolbar shows the statistics tabs' layout, whose Button2 would cover Label4.
    for (QWidget *control : {static_cast<QWidget *>(Label4), static_cast<QWidget *>(Label5),
                             static_cast<QWidget *>(Edit1), static_cast<QWidget *>(UpDown1)})
        control->hide();
}

void TMainForm::buildSectionTab()
{
    qSection.SQL() = qSectionSql();
    m_sectionModel = new TDbGridModel(qSection, dbgSectionColumns(), this);
    tabSection = new QWidget(PageControl1);
    tabSection->setObjectName(QStringLiteral("tabSection"));
    PageControl1->addTab(tabSection, QStringLiteral("部署別データ"));
    auto *layout = new QVBoxLayout(tabSection);
    layout->setContentsMargins(0, 0, 0, 0);
    dbgSection = createDataGrid(tabSection, "dbgSection", m_sectionModel);
    chtSection = new SectionRateChart(tabSection);
    chtSection->setObjectName(QStringLiteral("chtSection"));
    layout->addWidget(new GridChartPane(dbgSection, chtSection, GridChartPane::GridFit::Scrolling, tabSection));
    // The chart shows the rows the grid shows, whenever they change.
    connect(m_sectionModel, &QAbstractItemModel::modelReset, chtSection,
            [this] { chtSection->showRates(sectionRates(*m_sectionModel)); });
}

void TMainForm::tabSectionShow()
{
    // No database work: the tab keeps the rows of its last load until the reload button.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Button2->setEnabled(false);
    AllowPageChange = false;
    pnlDay->show();
    for (QWidget *control : {static_cast<QWidget *>(Label4), static_cast<QWidget *>(Label5),
                             static_cast<QWidget *>(Edit1), static_cast<QWidget *>(UpDown1)})
        control->show();
    Edit1->resize(Edit1->width(), 18);
    UpDown1->resize(UpDown1->width(), 18);
    Button2->move(645, Button2->y());
    Button2->setText(QStringLiteral("読込み"));
    setPrintItemsEnabled(false);
    Button2->setEnabled(true);
    AllowPageChange = true;
    QApplication::restoreOverrideCursor();
}

void TMainForm::loadSectionTab(BusyBracket &bracket)
{
    qSection.close();
    m_sectionModel->refresh();
    bool ok = false;
    const int level = Edit1->text().trimmed().toInt(&ok);
    SetTargetLevel(ok ? level : 1);
    // After the roll-up's write and before the lock goes back: the totals see this roll-up.
    const ReadSnapshot snapshot = bracket.readSnapshot(DBConection);
    MakeDateRange();
    qSection.setParamDateTime(QStringLiteral("iistDate"), PeriodStart);
    qSection.setParamDateTime(QStringLiteral("iiedDate"), PeriodEnd);
    qSection.open(DBConection);
    m_sectionModel->refresh();
}

void TMainForm::SetTargetLevel(int level)
{
    setTargetLevel(DBConection, level);
}

} // namespace hvn::console
