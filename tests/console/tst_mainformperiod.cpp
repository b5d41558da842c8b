// The reporting period of the main window's toolbar: labels, first month, half-open range,
// and the month buttons carrying over the year. The window is not shown (no database work).
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"

using hvn::console::TMainForm;
using hvn::console::UpDown;
using hvn::console::test::TestEnvironment;

namespace {

QString text(const hvn::DbDateTime &value)
{
    return QString::fromStdString(value.toText());
}

void setEndMonth(TMainForm &form, int kikanIndex, int year, int month)
{
    form.cmbKikan->setCurrentIndex(kikanIndex);
    form.udYear->setPosition(year);
    form.udMonth->setPosition(month);
    form.udYearClick(UpDown::Button::Up); // shows the end month and recomputes the first
}

} // namespace

class TstMainformPeriod : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void periodLabelsAndRange_data();
    void periodLabelsAndRange();
    void everythingRunsFrom2001ToOneYearAfterNow();
    void monthButtonsCarryOverYear_data();
    void monthButtonsCarryOverYear();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TstMainformPeriod::periodLabelsAndRange_data()
{
    QTest::addColumn<int>("kikan");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<QString>("fromYear");
    QTest::addColumn<QString>("fromMonth");
    QTest::addColumn<QString>("toYear");
    QTest::addColumn<QString>("toMonth");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");

    QTest::newRow("1 month ending December")
        << 0 << 2004 << 12 << "2004年" << "12月 ～" << "2004年" << "12月" << "2004-12-01 00:00:00.000"
        << "2005-01-01 00:00:00.000";
    QTest::newRow("3 months ending February cross the year")
        << 2 << 2005 << 2 << "2004年" << "12月 ～" << "2005年" << " 2月" << "2004-12-01 00:00:00.000"
        << "2005-03-01 00:00:00.000";
    QTest::newRow("11 months ending January")
        << 10 << 2004 << 1 << "2003年" << " 3月 ～" << "2004年" << " 1月" << "2003-03-01 00:00:00.000"
        << "2004-02-01 00:00:00.000";
    QTest::newRow("1 year ending December")
        << 11 << 2004 << 12 << "2004年" << " 1月 ～" << "2004年" << "12月" << "2004-01-01 00:00:00.000"
        << "2005-01-01 00:00:00.000";
    QTest::newRow("1 year ending November")
        << 11 << 2004 << 11 << "2003年" << "12月 ～" << "2004年" << "11月" << "2003-12-01 00:00:00.000"
        << "2004-12-01 00:00:00.000";
    QTest::newRow("1 year ending June")
        << 11 << 2004 << 6 << "2003年" << " 7月 ～" << "2004年" << " 6月" << "2003-07-01 00:00:00.000"
        << "2004-07-01 00:00:00.000";
    QTest::newRow("2 years ending June")
        << 12 << 2004 << 6 << "2002年" << " 7月 ～" << "2004年" << " 6月" << "2002-07-01 00:00:00.000"
        << "2004-07-01 00:00:00.000";
    QTest::newRow("2 years ending December")
        << 12 << 2004 << 12 << "2003年" << " 1月 ～" << "2004年" << "12月" << "2003-01-01 00:00:00.000"
        << "2005-01-01 00:00:00.000";
    QTest::newRow("6 months ending June stay in the year")
        << 5 << 2004 << 6 << "2004年" << " 1月 ～" << "2004年" << " 6月" << "2004-01-01 00:00:00.000"
        << "2004-07-01 00:00:00.000";
}

void TstMainformPeriod::periodLabelsAndRange()
{
    QFETCH(int, kikan);
    QFETCH(int, year);
    QFETCH(int, month);
    TMainForm form;
    setEndMonth(form, kikan, year, month);

    QTEST(form.lblFromYear->text(), "fromYear");
    QTEST(form.lblFromMonth->text(), "fromMonth");
    QTEST(form.lblToYear->text(), "toYear");
    QTEST(form.lblToMonth->text(), "toMonth");
    form.MakeDateRange();
    QTEST(text(form.PeriodStart), "start");
    QTEST(text(form.PeriodEnd), "end");
}

void TstMainformPeriod::everythingRunsFrom2001ToOneYearAfterNow()
{
    TMainForm form;
    setEndMonth(form, 13, 2004, 6);
    QCOMPARE(form.lblFromYear->text(), QString());
    QCOMPARE(form.lblFromMonth->text(), QStringLiteral("～"));
    QCOMPARE(form.StartMonth, 0);

    const hvn::DbDateTime before = hvn::DbDateTime::now();
    form.MakeDateRange();
    QCOMPARE(text(form.PeriodStart), QStringLiteral("2001-01-01 00:00:00.000"));
    QVERIFY(form.PeriodEnd.isValid());
    QCOMPARE(form.PeriodEnd.year, before.year + 1);
    hvn::DbDateTime nextYear = before;
    nextYear.year += 1;
    const bool leapDay = before.month == 2 && before.day == 29;
    QVERIFY(form.PeriodEnd >= nextYear || leapDay);
}

void TstMainformPeriod::monthButtonsCarryOverYear_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("toYear");
    QTest::addColumn<QString>("toMonth");

    QTest::newRow("down at January") << 2004 << 1 << false << "2003年" << "12月";
    QTest::newRow("up at December") << 2004 << 12 << true << "2005年" << " 1月";
    QTest::newRow("up within the year") << 2004 << 5 << true << "2004年" << " 6月";
    QTest::newRow("down within the year") << 2004 << 5 << false << "2004年" << " 4月";
    QTest::newRow("up at the last year stays in range") << 3000 << 12 << true << "3000年" << "12月";
    QTest::newRow("down at the first year stays in range") << 1900 << 1 << false << "1900年" << " 1月";
}

void TstMainformPeriod::monthButtonsCarryOverYear()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(bool, up);
    TMainForm form;
    setEndMonth(form, 0, year, month);

    QToolButton *button = up ? form.udMonth->upButton() : form.udMonth->downButton();
    QTest::mouseClick(button, Qt::LeftButton);

    QTEST(form.lblToYear->text(), "toYear");
    QTEST(form.lblToMonth->text(), "toMonth");
    QVERIFY(form.udMonth->position() >= 1 && form.udMonth->position() <= 12);
    // The one-month period follows the new end month at once.
    QCOMPARE(form.lblFromMonth->text(), form.lblToMonth->text() + QStringLiteral(" ～"));
    form.MakeDateRange();
    QVERIFY(form.PeriodStart.isValid() && form.PeriodEnd.isValid() && form.PeriodStart < form.PeriodEnd);
}

QTEST_MAIN(TstMainformPeriod)
#include "tst_mainformperiod.moc"
