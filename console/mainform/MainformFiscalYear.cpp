// The two fiscal-year tabs' controls: the panel with the choice, the year and start month
// that the settings keep, the calculate button, and the grid with its chart below. The tabs' handlers are in
// MainformSectionCalc.cpp and MainformPrinterCalc.cpp.
#include "mainform/Mainform.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "charts/FiscalYearChart.h"
#include "charts/GridChartPane.h"
#include "mainform/FiscalYearTab.h"
#include "widgets/StringGrid.h"

namespace hvn::console {

namespace {

constexpr int kPanelHeight = 41;

QLabel *makeStaticText(QWidget *parent, const char *name, const QString &caption, int left, int width,
                       bool sunken)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    if (sunken)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setGeometry(left, 10, width, 21);
    return label;
}

UpDown *makeUpDown(QWidget *parent, const char *name, int minimum, int maximum, int position, int left)
{
    auto *upDown = new UpDown(parent);
    upDown->setObjectName(QString::fromLatin1(name));
    upDown->setRange(minimum, maximum);
    upDown->setPosition(position);
    upDown->setGeometry(left, 9, 17, 23);
    return upDown;
}

QPushButton *makeCalcButton(QWidget *parent, const char *name)
{
    auto *button = new QPushButton(QStringLiteral("集計"), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(572, 9, 75, 23);
    return button;
}

// A fiscal-year sheet: the panel across the top with the year and start-month controls,
// the grid and its chart filling the rest of the page.
QFrame *addFiscalYearSheet(QTabWidget *pages, QWidget *&sheet, const char *sheetName, const QString &caption,
                           const char *panelName, StringGrid *&grid, const char *gridName,
                           FiscalYearChart *&chart, const char *chartName)
{
    sheet = new QWidget(pages);
    sheet->setObjectName(QString::fromLatin1(sheetName));
    pages->addTab(sheet, caption);
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *panel = new QFrame(sheet);
    panel->setObjectName(QString::fromLatin1(panelName));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedHeight(kPanelHeight);
    layout->addWidget(panel);
    grid = createFiscalGrid(sheet, gridName);
    chart = new FiscalYearChart(sheet);
    chart->setObjectName(QString::fromLatin1(chartName));
    layout->addWidget(new GridChartPane(grid, chart, GridChartPane::GridFit::Whole, sheet), 1);
    return panel;
}

} // namespace

void TMainForm::buildFiscalYearTabs()
{
    Panel2 = addFiscalYearSheet(PageControl1, tabSectionCalc, "tabSectionCalc", QStringLiteral("部署別集計"),
                                "Panel2", sgSectionCalc, "sgSectionCalc", chtSectionCalc, "chtSectionCalc");
    makeStaticText(Panel2, "StaticText1", QStringLiteral(" 部  署"), 8, 48, true);
    ComboBox1 = createCalcCombo(Panel2, "ComboBox1");
    stSecYear = makeStaticText(Panel2, "stSecYear", QStringLiteral("2004"), 368, 40, true);
    udSecYear = makeUpDown(Panel2, "udSecYear", 1900, 3000, 2004, 408);
    makeStaticText(Panel2, "StaticText3", QStringLiteral("年度"), 428, 32, false);
    makeStaticText(Panel2, "StaticText4", QStringLiteral("開始月"), 468, 44, false);
    stSecMonth = makeStaticText(Panel2, "stSecMonth", QStringLiteral("4"), 516, 24, true);
    udSecMonth = makeUpDown(Panel2, "udSecMonth", 1, 12, 4, 540);
    btnCalc = makeCalcButton(Panel2, "btnCalc");

    Panel3 = addFiscalYearSheet(PageControl1, tabPrintCalc, "tabPrintCalc", QStringLiteral("プリンタ別集計"),
                                "Panel3", sgPrinterCalc, "sgPrinterCalc", chtPrinterCalc, "chtPrinterCalc");
    makeStaticText(Panel3, "StaticText2", QStringLiteral("プリンタ"), 8, 48, true);
    ComboBox2 = createCalcCombo(Panel3, "ComboBox2");
    stPrnYear = makeStaticText(Panel3, "stPrnYear", QStringLiteral("2004"), 368, 40, true);
    udPrnYear = makeUpDown(Panel3, "udPrnYear", 1900, 3000, 2004, 408);
    makeStaticText(Panel3, "StaticText6", QStringLiteral("年度"), 428, 32, false);
    makeStaticText(Panel3, "StaticText7", QStringLiteral("開始月"), 468, 44, false);
    stPrnMonth = makeStaticText(Panel3, "stPrnMonth", QStringLiteral("4"), 516, 24, true);
    udPrnMonth = makeUpDown(Panel3, "udPrnMonth", 1, 12, 4, 540);
    btnPrinterCalc = makeCalcButton(Panel3, "btnPrinterCalc");

    // Laid out again, from the start month then set, each time a tab is shown.
    layOutFiscalGrid(sgSectionCalc, udSecMonth->position());
    layOutFiscalGrid(sgPrinterCalc, udPrnMonth->position());
    chtSectionCalc->relabelMonths(udSecMonth->position());
    chtPrinterCalc->relabelMonths(udPrnMonth->position());

    connect(udSecYear, &UpDown::clicked, this, [this] { udSecYearClick(); });
    connect(udSecMonth, &UpDown::clicked, this, [this] { udSecMonthClick(); });
    connect(udPrnYear, &UpDown::clicked, this, [this] { udPrnYearClick(); });
    connect(udPrnMonth, &UpDown::clicked, this, [this] { udPrnMonthClick(); });
    connect(btnCalc, &QPushButton::clicked, this, &TMainForm::btnCalcClick);
    connect(btnPrinterCalc, &QPushButton::clicked, this, &TMainForm::btnPrinterCalcClick);
}

void TMainForm::udSecYearClick() { stSecYear->setText(QString::number(udSecYear->position())); }
void TMainForm::udSecMonthClick() { stSecMonth->setText(QString::number(udSecMonth->position())); }
void TMainForm::udPrnYearClick() { stPrnYear->setText(QString::number(udPrnYear->position())); }
void TMainForm::udPrnMonthClick() { stPrnMonth->setText(QString::number(udPrnMonth->position())); }

} // namespace hvn::console
