// The data deletion dialog on the real main window's connection and lock: what each choice
// removes, the confirmation, and the choice kept between openings.
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"
#include "widgets/UpDown.h"
#include "windows/Frmdatadelete.h"

using hvn::console::TfrmDelete;
using hvn::console::UpDown;
using namespace hvn::console::test;

namespace {

const char *const kStamps[] = {"2003-06-15 10:00:00.000", "2004-03-31 23:59:59.999", "2004-04-01 00:00:00.000",
                               "2004-12-31 23:59:59.999", "2005-01-01 00:00:00.000"};

void insertRecords(SQLite::Database &db)
{
    for (const char *stamp : kStamps)
        exec(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                 " SheetsOfPaper, dbDateTime) VALUES (1, 1, 'PC', 1, 1, 1, ?)",
             std::string(stamp));
}

// Chooses a month through the dialog's own controls, clicking the up-downs as a user would.
void chooseMonth(TfrmDelete &dialog, int year, int month)
{
    QTest::mouseClick(dialog.RadioButton2, Qt::LeftButton);
    dialog.UpDown1->setPosition(year + 1);
    dialog.UpDown1->click(UpDown::Button::Down);
    dialog.UpDown2->setPosition(month - 1);
    dialog.UpDown2->click(UpDown::Button::Up);
}

} // namespace

class TstFrmDataDelete : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }
    void confirmedChoiceDeletesUpToTheMonthsEnd_data();
    void confirmedChoiceDeletesUpToTheMonthsEnd();
    void monthControlsFollowTheChoiceAndSurviveReopening();
    void cancelOrRefusedLockDeletesNothingAndStaysOpen();
};

void TstFrmDataDelete::confirmedChoiceDeletesUpToTheMonthsEnd_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("everything") << 0 << 0 << QStringLiteral("全てのプリントデータを削除します。") << QStringList();
    QTest::newRow("December carries into January")
        << 2004 << 12 << QStringLiteral("2004年12月以前のプリントデータを削除します。")
        << QStringList{kStamps[4]};
    QTest::newRow("the last millisecond of March goes, April stays")
        << 2004 << 3 << QStringLiteral("2004年3月以前のプリントデータを削除します。")
        << QStringList{kStamps[2], kStamps[3], kStamps[4]};
}

void TstFrmDataDelete::confirmedChoiceDeletesUpToTheMonthsEnd()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QString, question);
    QFETCH(QStringList, kept);
    AttachedDialogFixture<TfrmDelete> f(insertRecords);
    MessageRecorder messages;
    f.dialog.show();
    if (year != 0)
        chooseMonth(f.dialog, year, month);

    QTest::mouseClick(f.dialog.Button1, Qt::LeftButton);
    QCOMPARE(messages.texts(), QStringList{question});
    QCOMPARE(messages.requests.first().caption, QStringLiteral("削除"));
    QCOMPARE(messages.requests.first().buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(f.rows("SELECT dbDateTime FROM tblPrintingData ORDER BY dbDateTime"), kept);
    QVERIFY(!f.dialog.isVisible());
    QVERIFY(databaseMutexFree());
}

void TstFrmDataDelete::monthControlsFollowTheChoiceAndSurviveReopening()
{
    AttachedDialogFixture<TfrmDelete> f;
    MessageRecorder messages;
    const QDate today = QDate::currentDate();
    QVERIFY(f.dialog.RadioButton1->isChecked());
    QCOMPARE(f.dialog.Label1->text(), QString::asprintf("%4d年", today.year()));
    QCOMPARE(f.dialog.Label2->text(), QString::asprintf("%2d月", today.month()));
    for (QWidget *control : {static_cast<QWidget *>(f.dialog.Label1), static_cast<QWidget *>(f.dialog.UpDown1),
                             static_cast<QWidget *>(f.dialog.Label2), static_cast<QWidget *>(f.dialog.UpDown2)})
        QVERIFY(!control->isEnabled());

    f.dialog.show();
    chooseMonth(f.dialog, 2004, 3);
    QVERIFY(f.dialog.UpDown1->isEnabled() && f.dialog.Label2->isEnabled());
    // The month stops at 12 instead of carrying into the year.
    f.dialog.UpDown2->setPosition(12);
    f.dialog.UpDown2->click(UpDown::Button::Up);
    QCOMPARE(f.dialog.Label2->text(), QStringLiteral("12月"));
    QCOMPARE(f.dialog.Label1->text(), QStringLiteral("2004年"));
    QTest::mouseClick(f.dialog.Button1, Qt::LeftButton);
    QVERIFY(!f.dialog.isVisible());

    f.dialog.show();
    QVERIFY(f.dialog.RadioButton2->isChecked());
    QVERIFY(f.dialog.UpDown1->isEnabled());
    QCOMPARE(f.dialog.UpDown1->position(), 2004);
    QCOMPARE(f.dialog.Label2->text(), QStringLiteral("12月"));
    QTest::mouseClick(f.dialog.RadioButton1, Qt::LeftButton);
    QVERIFY(!f.dialog.UpDown1->isEnabled() && !f.dialog.Label1->isEnabled());
    QTest::mouseClick(f.dialog.Button2, Qt::LeftButton);
    QVERIFY(!f.dialog.isVisible());
}

void TstFrmDataDelete::cancelOrRefusedLockDeletesNothingAndStaysOpen()
{
    AttachedDialogFixture<TfrmDelete> f(insertRecords);
    MessageRecorder messages;
    f.dialog.show();

    messages.answers = {QMessageBox::Cancel};
    QTest::mouseClick(f.dialog.Button1, Qt::LeftButton);
    QVERIFY(f.dialog.isVisible());

    f.refuseLock();
    QTest::mouseClick(f.dialog.Button1, Qt::LeftButton);
    QVERIFY(f.dialog.isVisible());
    QCOMPARE(messages.requests.size(), 2);
    QCOMPARE(f.rows("SELECT COUNT(*) FROM tblPrintingData"), QStringList{"5"});
}

QTEST_MAIN(TstFrmDataDelete)
#include "tst_frmdatadelete.moc"
