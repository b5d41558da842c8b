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
#include "data/DbGridModel.h"
#include "data/SectionRollUp.h"
#include "lock/BusyBracket.h"
#include "widgets/DataGrid.h"

namespace hvn::console {

namespace {

// One row per TargetLevelName among the period's records. SQLite resolves no select-list
// alias inside the same select list and divides integers as integers, so the rate repeats
// its sums and casts to REAL; 0 pages give NULL, an empty rate cell.
QStringList qSectionSql()
{
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" tName AS nma,"),
        QStringLiteral(" SUM(dp) AS dpa,"),
        QStringLiteral(" SUM(sp) AS spa,"),
        QStringLiteral(" ROUND(CAST(SUM(dp) - SUM(sp) AS REAL) / SUM(dp) * 100, 1) AS rta"),
        QStringLiteral(" FROM"),
        QStringLiteral(" (SELECT"),
        QStringLiteral("  tblUserInfo.TargetLevelName AS tName,"),
        QStringLiteral("  tblUserInfo.TargetLevelID AS tID,"),
        QStringLiteral("  tblPrn.DocumentPages AS dp,"),
        QStringLiteral("  tblPrn.SheetsOfPaper AS sp"),
        QStringLiteral("  FROM (SELECT * FROM tblPrintingData"),
        QStringLiteral("        WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("              dbDateTime <  :iiedDate) AS tblPrn"),
        QStringLiteral("  LEFT JOIN tblUserInfo"),
        QStringLiteral("  ON tblPrn.UserID=tblUserInfo.UserID"),
        QStringLiteral(" ) AS tblx"),
        QStringLiteral(" GROUP BY tName"),
        QStringLiteral(";"),
    };
}

QVector<TGridColumn> dbgSectionColumns()
{
    constexpr Qt::Alignment kText = Qt::AlignLeft | Qt::AlignVCenter;
    constexpr Qt::Alignment kNumber = Qt::AlignRight | Qt::AlignVCenter;
    constexpr int kGridDefaultWidth = 64;
    return {
        {QStringLiteral("nma"), QStringLiteral("部署名"), 240, true, kText},
        {QStringLiteral("dpa"), QStringLiteral("ページ数"), 80, true, kNumber},
        {QStringLiteral("spa"), QStringLiteral("用紙枚数"), kGridDefaultWidth, true, kNumber},
        {QStringLiteral("rta"), QStringLiteral("削減率(%)"), kGridDefaultWidth, true, kNumber},
    };
}

} // namespace

void TMainForm::buildSectionLevelControls()
{
    Label4 = new QLabel(QStringLiteral("部署別データの表示レベルを"), pnlDay);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(392, 2, 170, 21);
    Edit1 = new QLineEdit(QStringLiteral("1"), pnlDay);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(564, 3, 20, 18);
    UpDown1 = new UpDown(pnlDay);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(1, 99);
    UpDown1->setPosition(1);
    UpDown1->setBuddy(Edit1);
    UpDown1->setGeometry(584, 3, 15, 18);
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
    layout->addWidget(dbgSection);
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

void TMainForm::loadSectionTab()
{
    qSection.close();
    m_sectionModel->refresh();
    bool ok = false;
    const int level = Edit1->text().trimmed().toInt(&ok);
    SetTargetLevel(ok ? level : 1);
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
