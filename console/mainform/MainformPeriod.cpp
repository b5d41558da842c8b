// The reporting period controls of the toolbar panel pnlDay and the period they stand for.
#include "mainform/Mainform.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>

#include "period/ReportingPeriod.h"

namespace hvn::console {

namespace {

QLabel *makePeriodLabel(QWidget *parent, const char *name, int left, int width, Qt::Alignment alignment)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setPixelSize(16);
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(left, 2, width, 21);
    return label;
}

QString yearText(int year)
{
    return QString::asprintf("%4d年", year);
}

} // namespace

void TMainForm::buildPeriodControls()
{
    cmbKikan = new QComboBox(pnlDay);
    cmbKikan->setObjectName(QStringLiteral("cmbKikan"));
    cmbKikan->addItems({
        QStringLiteral("１ヶ月分"), QStringLiteral("２ヶ月分"), QStringLiteral("３ヶ月分"),
        QStringLiteral("４ヶ月分"), QStringLiteral("５ヶ月分"), QStringLiteral("６ヶ月分"),
        QStringLiteral("７ヶ月分"), QStringLiteral("８ヶ月分"), QStringLiteral("９ヶ月分"),
        QStringLiteral("１０ヶ月分"), QStringLiteral("１１ヶ月分"), QStringLiteral("1年分"),
        QStringLiteral("2年分"), QStringLiteral("すべて"),
    });
    cmbKikan->setMaxVisibleItems(kKikanItemCount);
    cmbKikan->setGeometry(6, 2, 84, 21);
    cmbKikan->setCurrentIndex(0);

    Label1 = new QLabel(QStringLiteral("表示する"), pnlDay);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(94, 2, 56, 21);

    lblFromYear = makePeriodLabel(pnlDay, "lblFromYear", 152, 51, Qt::AlignLeft);
    // Right-aligned, so it grows to the left: "12月 ～" needs a few pixels more than 51.
    lblFromMonth = makePeriodLabel(pnlDay, "lblFromMonth", 198, 59, Qt::AlignRight);
    lblToYear = makePeriodLabel(pnlDay, "lblToYear", 264, 56, Qt::AlignLeft);

    udYear = new UpDown(pnlDay);
    udYear->setObjectName(QStringLiteral("udYear"));
    udYear->setRange(1900, 3000);
    udYear->setGeometry(315, 1, 17, 23);

    lblToMonth = makePeriodLabel(pnlDay, "lblToMonth", 337, 32, Qt::AlignLeft);

    udMonth = new UpDown(pnlDay);
    udMonth->setObjectName(QStringLiteral("udMonth"));
    udMonth->setRange(0, 13);
    udMonth->setGeometry(371, 1, 17, 23);

    connect(cmbKikan, &QComboBox::currentIndexChanged, this, [this] { cmbKikanChange(); });
    connect(udYear, &UpDown::clicked, this, &TMainForm::udYearClick);
    connect(udMonth, &UpDown::clicked, this, &TMainForm::udMonthClick);
}

void TMainForm::cmbKikanChange()
{
    UpdateFromLabels();
}

void TMainForm::udYearClick(UpDown::Button)
{
    lblToYear->setText(yearText(udYear->position()));
    lblToMonth->setText(QString::asprintf("%2d月", udMonth->position()));
    UpdateFromLabels();
}

void TMainForm::udMonthClick(UpDown::Button button)
{
    // The month stops at 0 and 13 only until this handler carries it into the year. At the
    // ends of the year range the month stays at the edge instead, so the period stays within
    // the years the year control can show.
    if (button == UpDown::Button::Down && udMonth->position() <= 0) {
        if (udYear->position() > udYear->minimum()) {
            udYear->setPosition(udYear->position() - 1);
            udMonth->setPosition(12);
        } else {
            udMonth->setPosition(1);
        }
    } else if (button == UpDown::Button::Up && udMonth->position() > 12) {
        if (udYear->position() < udYear->maximum()) {
            udYear->setPosition(udYear->position() + 1);
            udMonth->setPosition(1);
        } else {
            udMonth->setPosition(12);
        }
    }
    udYearClick(button);
}

void TMainForm::UpdateFromLabels()
{
    // Rows of the former period that are still arriving are of no more use.
    endRecordLoad();
    const YearMonth first =
        periodFirstMonth(cmbKikan->currentIndex(), {udYear->position(), udMonth->position()});
    StartYear = first.year;
    StartMonth = first.month;
    if (StartMonth != 0) {
        lblFromYear->setText(yearText(StartYear));
        lblFromMonth->setText(QString::asprintf("%2d月 ～", StartMonth));
    } else {
        lblFromYear->clear();
        lblFromMonth->setText(QStringLiteral("～"));
    }
}

void TMainForm::MakeDateRange()
{
    const DateRange range = periodDateRange({StartYear, StartMonth}, {udYear->position(), udMonth->position()},
                                            DbDateTime::now());
    PeriodStart = range.start;
    PeriodEnd = range.end;
}

} // namespace hvn::console
