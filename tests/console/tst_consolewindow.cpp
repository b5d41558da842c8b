// The console program under a real X server (this test runs inside xvfb-run): its window is
// mapped and painted while the first tab waits for a lock that a test client holds, and the
// tab loads once the client gives the lock back. What the screen shows is read back with a
// grab of the X root window.
#include <chrono>
#include <string>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include "ChildProcess.h"
#include "ConsoleTestSupport.h"
#include "Loopback.h"

using hvn::platform::ChildProcess;
using namespace hvn::console::test;

namespace {

const QRect kWindow(100, 80, 800, 540);

QImage screenArea(const QRect &area)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// Pixels of the window's background or of the empty grid: a mapped and painted window is
// mostly those colours, the bare X root is black.
double windowColourShare(const QImage &image)
{
    const QRgb window = QApplication::palette().color(QPalette::Window).rgb();
    const QRgb base = QApplication::palette().color(QPalette::Base).rgb();
    qint64 matching = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            matching += image.pixel(x, y) == window || image.pixel(x, y) == base;
    return double(matching) / double(image.width() * image.height());
}

// Pixels dark enough to be text.
int darkPixels(const QImage &image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 96;
    return dark;
}

} // namespace

class TstConsoleWindow : public QObject {
    Q_OBJECT
private slots:
    void windowIsPaintedWhileFirstTabWaitsForLockAndLoadsAfter();
};

void TstConsoleWindow::windowIsPaintedWhileFirstTabWaitsForLockAndLoadsAfter()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    SQLite::Database db = env.createDatabase();
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (1, 'alice', 0, 'alice')");
    exec(db, "INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID,"
             " CommonPrinterName) VALUES (1, 'PRN-2F-EAST', 0, 1, 'PRN-2F-EAST')");
    for (int day = 1; day <= 9; ++day)
        exec(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                 " SheetsOfPaper, dbDateTime) VALUES (1, 1, 'PC-0012', 100000, 100000, 50000, ?)",
             "2004-12-0" + std::to_string(day) + " 16:10:05.000");
    for (const auto &[name, value] : {std::pair{"WindowTop", kWindow.y()}, {"WindowLeft", kWindow.x()},
                                      {"WindowHeight", kWindow.height()}, {"WindowWidth", kWindow.width()},
                                      {"ToYear", 2004}, {"ToMonth", 12}, {"GridReciveDataColumns0", 100},
                                      {"GridReciveDataColumns1", 150}, {"GridReciveDataColumns2", 120},
                                      {"GridReciveDataColumns3", 80}, {"GridReciveDataColumns5", 80},
                                      {"GridReciveDataColumns6", 80}, {"GridReciveDataColumns7", 130}})
        env.setSetting(name, value);

    hvn::platform::UniqueFd holder = hvn::test::connectLoopback(static_cast<std::uint16_t>(server.port()));
    hvn::test::sendBytes(holder.get(), "DBREAD\n");
    QCOMPARE(hvn::test::receiveSome(holder.get(), std::chrono::seconds(5)), std::string("OK\n"));

    ChildProcess console = ChildProcess::spawn({
        {HVN_CONSOLE_TESTABLE_BINARY},
        {"QT_QPA_PLATFORM=xcb", "HALVANE_AUTOANSWER_MESSAGES=1", "HALVANE_REGISTRY=" + env.registryPath(),
         "HALVANE_CONSOLE_GUARD=" + env.dir().toStdString() + "/hvnConsole.lock"},
        {},
        {},
        env.dir().toStdString() + "/stderr.txt",
    });
    // Rows of the grid below its title row, and the status line.
    const QRect rowsArea(kWindow.x() + 20, kWindow.y() + 140, 500, 200);
    const QRect statusArea(kWindow.x(), kWindow.bottom() - 18, 400, 18);

    QTRY_VERIFY_WITH_TIMEOUT(windowColourShare(screenArea(kWindow)) > 0.8, 15000);
    QTest::qWait(500); // the console stays waiting: nothing reaches the grid
    QVERIFY(console.running());
    QCOMPARE(darkPixels(screenArea(rowsArea)), 0);
    QVERIFY2(darkPixels(screenArea(statusArea)) > 20, "the status line says the console waits");

    hvn::test::sendBytes(holder.get(), "END\n");
    QTRY_VERIFY_WITH_TIMEOUT(darkPixels(screenArea(rowsArea)) > 200, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(darkPixels(screenArea(statusArea)), 0, 5000);
    QVERIFY(console.running());
    QVERIFY(databaseMutexFree());
}

QTEST_MAIN(TstConsoleWindow)
#include "tst_consolewindow.moc"
