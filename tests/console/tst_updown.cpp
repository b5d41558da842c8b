// The up-down control: stepping, the ends of the range, wrap and the buddy.
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "widgets/UpDown.h"

using hvn::console::UpDown;

class TstUpDown : public QObject {
    Q_OBJECT
private slots:
    void clickMovesWithinRange_data();
    void clickMovesWithinRange();
    void buddyFollowsAndFeedsPosition();
};

void TstUpDown::clickMovesWithinRange_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("expected");
    // Range 0..13 as the month control has.
    QTest::newRow("up") << 5 << false << true << 6;
    QTest::newRow("down") << 5 << false << false << 4;
    QTest::newRow("up to the maximum") << 12 << false << true << 13;
    QTest::newRow("stays at the maximum") << 13 << false << true << 13;
    QTest::newRow("stays at the minimum") << 0 << false << false << 0;
    QTest::newRow("wraps past the maximum") << 13 << true << true << 0;
    QTest::newRow("wraps past the minimum") << 0 << true << false << 13;
}

void TstUpDown::clickMovesWithinRange()
{
    QFETCH(int, start);
    QFETCH(bool, wrap);
    QFETCH(bool, up);
    UpDown upDown;
    upDown.setRange(0, 13);
    upDown.setWrap(wrap);
    upDown.setPosition(start);
    QTest::mouseClick(up ? upDown.upButton() : upDown.downButton(), Qt::LeftButton);
    QTEST(upDown.position(), "expected");
}

void TstUpDown::buddyFollowsAndFeedsPosition()
{
    QLineEdit edit;
    UpDown upDown;
    upDown.setRange(1, 99);
    upDown.setPosition(1);
    upDown.setBuddy(&edit);
    QCOMPARE(edit.text(), QStringLiteral("1"));
    edit.setText(QStringLiteral("7"));
    upDown.click(UpDown::Button::Up);
    QCOMPARE(upDown.position(), 8);
    QCOMPARE(edit.text(), QStringLiteral("8"));
    // Text that is no number leaves the position where it was.
    edit.setText(QStringLiteral("abc"));
    upDown.click(UpDown::Button::Down);
    QCOMPARE(upDown.position(), 7);
}

QTEST_MAIN(TstUpDown)
#include "tst_updown.moc"
