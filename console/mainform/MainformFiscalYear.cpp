// The two fiscal-year tabs: the year and start-month controls that the settings keep, and
// the toolbar and print-menu state while such a tab is shown.
#include "mainform/Mainform.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

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

// A fiscal-year sheet: the panel across the top with the year and start-month controls,
// the rest of the page left for the table.
QFrame *addFiscalYearSheet(QTabWidget *pages, QWidget *&sheet, const char *sheetName, const QString &caption,
                           const char *panelName)
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
    layout->addStretch(1);
    return panel;
}

} // namespace

void TMainForm::buildFiscalYearTabs()
{
    Panel2 = addFiscalYearSheet(PageControl1, tabSectionCalc, "tabSectionCalc", QStringLiteral("部署別集計"),
                                "Panel2");
    makeStaticText(Panel2, "StaticText1", QStringLiteral(" 部  署"), 8, 48, true);
    stSecYear = makeStaticText(Panel2, "stSecYear", QStringLiteral("2004"), 368, 40, true);
    udSecYear = makeUpDown(Panel2, "udSecYear", 1900, 3000, 2004, 408);
    makeStaticText(Panel2, "StaticText3", QStringLiteral("年度"), 428, 32, false);
    makeStaticText(Panel2, "StaticText4", QStringLiteral("開始月"), 468, 44, false);
    stSecMonth = makeStaticText(Panel2, "stSecMonth", QStringLiteral("4"), 516, 24, true);
    udSecMonth = makeUpDown(Panel2, "udSecMonth", 1, 12, 4, 540);

    Panel3 = addFiscalYearSheet(PageControl1, tabPrintCalc, "tabPrintCalc", QStringLiteral("プリンタ別集計"),
                                "Panel3");
    makeStaticText(Panel3, "StaticText2", QStringLiteral("プリンタ"), 8, 48, true);
    stPrnYear = makeStaticText(Panel3, "stPrnYear", QStringLiteral("2004"), 368, 40, true);
    udPrnYear = makeUpDown(Panel3, "udPrnYear", 1900, 3000, 2004, 408);
    makeStaticText(Panel3, "StaticText6", QStringLiteral("年度"), 428, 32, false);
    makeStaticText(Panel3, "StaticText7", QStringLiteral("開始月"), 468, 44, false);
    stPrnMonth = makeStaticText(Panel3, "stPrnMonth", QStringLiteral("4"), 516, 24, true);
    udPrnMonth = makeUpDown(Panel3, "udPrnMonth", 1, 12, 4, 540);

    connect(udSecYear, &UpDown::clicked, this, [this] { udSecYearClick(); });
    connect(udSecMonth, &UpDown::clicked, this, [this] { udSecMonthClick(); });
    connect(udPrnYear, &UpDown::clicked, this, [this] { udPrnYearClick(); });
    connect(udPrnMonth, &UpDown::clicked, this, [this] { udPrnMonthClick(); });
}

void TMainForm::udSecYearClick() { stSecYear->setText(QString::number(udSecYear->position())); }
void TMainForm::udSecMonthClick() { stSecMonth->setText(QString::number(udSecMonth->position())); }
void TMainForm::udPrnYearClick() { stPrnYear->setText(QString::number(udPrnYear->position())); }
void TMainForm::udPrnMonthClick() { stPrnMonth->setText(QString::number(udPrnMonth->position())); }

// The reporting period does not apply to a fiscal-year table, and printing serves exactly
// these two tabs.
void TMainForm::tabSectionCalcShow()
{
    pnlDay->hide();
    setPrintItemsEnabled(true);
    AllowPageChange = true;
}

void TMainForm::tabPrintCalcShow()
{
    pnlDay->hide();
    setPrintItemsEnabled(true);
    AllowPageChange = true;
}

} // namespace hvn::console
