// The console reading beside the real service: the real hvnRetriever on free loopback ports,
// fed by the real hvnAgent while the real main window loads a long period on the offscreen
// platform. A read holds the database lock only until its snapshot is fixed.
#include <memory>

#include <QApplication>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <SQLiteCpp/Database.h>

#include "ConsoleTestSupport.h"
#include "Dmregistry.h"
#include "E2eSupport.h"
#include "mainform/Mainform.h"

using hvn::console::TMainForm;
namespace e2e = hvn::e2e;

namespace {

constexpr int kRecords = 150000;

// Whether any row the print-record tab holds was printed from the computer.
bool shownFrom(const TMainForm &form, const QString &computer)
{
    for (int row = 0; row < form.qReciveData.rowCount(); ++row) {
        if (form.qReciveData.value(row, QStringLiteral("ComputerName")).toString() == computer)
            return true;
    }
    return false;
}

} // namespace

class TstConsoleSnapshot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void recordStoredDuringLongLoadIsStoredAtOnceAndShownByTheNextLoadOnly();

private:
    std::unique_ptr<e2e::Installation> m_installation;
    std::unique_ptr<e2e::RetrieverProcess> m_service;
};

void TstConsoleSnapshot::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("hvnConsole"));
    m_installation = std::make_unique<e2e::Installation>();
    m_service = std::make_unique<e2e::RetrieverProcess>(*m_installation);
    QVERIFY2(m_service->waitReady(), m_service->errText().c_str());
    // The first user and printer through the service, then a long December 2004 beside them.
    const e2e::RunResult sent = m_installation->agent({"--user", "tanaka", "--printer", "PRN-2F", "--computer",
                                                       "PC-01", "--pages", "2", "--sides", "2", "--sheets", "1",
                                                       "--time", "2004-12-01 00:00:00.000"});
    QVERIFY2(sent.status == 0, sent.err.c_str());
    QVERIFY(m_installation->waitForCount("tblPrintingData", 1));
    {
        SQLite::Database db(m_installation->database().string(), SQLite::OPEN_READWRITE);
        db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                + std::to_string(kRecords - 1)
                + ") INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                  " SheetsOfPaper, dbDateTime)"
                  " SELECT UserID, PrinterID, 'PC-01', 1 + i % 9, 1, 1,"
                  "  strftime('%Y-%m-%d %H:%M:%f', '2004-12-01 00:00:00', '+' || (i * 10) || ' seconds')"
                  " FROM n, tblUserInfo, tblPrintingMachineInfo");
    }
    QVERIFY(m_installation->waitForCount("tblPrintingData", kRecords));

    qputenv("HALVANE_REGISTRY", QByteArray::fromStdString(m_installation->registry().string()));
    const hvn::TdmRegistryCtl settings(m_installation->registry());
    for (const auto &[name, value] : {std::pair{"WindowHeight", 540}, {"WindowWidth", 800}, {"ToYear", 2004},
                                      {"ToMonth", 12}, {"KikanIndex", 0}, {"ActivePage", 0}})
        settings.SetSettingInteger(hvn::TdmRegistryCtl::RootKey::LocalMachine, hvn::kProgramSettingKey, name, value);
}

void TstConsoleSnapshot::cleanupTestCase()
{
    qunsetenv("HALVANE_REGISTRY");
    if (m_service)
        QCOMPARE(m_service->stop(), std::optional<int>(0));
}

// With the lock held for the whole load, the service could store the agent's record only
// after the load: the wait for it would time out, or the load would show it.
void TstConsoleSnapshot::recordStoredDuringLongLoadIsStoredAtOnceAndShownByTheNextLoadOnly()
{
    hvn::console::test::MessageRecorder messages;
    TMainForm form;
    QVERIFY(hvn::console::test::showAndLoad(form));
    QVERIFY(form.recordLoadRunning());
    QVERIFY(form.dbgReciveData->model()->rowCount() > 0);

    // The event loop does not turn here, so the load is still open while the agent sends.
    const e2e::RunResult sent = m_installation->agent({"--user", "suzuki", "--printer", "PRN-2F", "--computer",
                                                       "PC-LATE", "--pages", "5", "--sides", "5", "--sheets", "5",
                                                       "--time", "2004-12-31 12:00:00.000"});
    QVERIFY2(sent.status == 0, sent.err.c_str());
    QVERIFY(m_installation->waitForCount("tblPrintingData", kRecords + 1));
    QVERIFY(form.recordLoadRunning());

    QVERIFY(QTest::qWaitFor([&] { return !form.recordLoadRunning(); }, 120000));
    QCOMPARE(form.dbgReciveData->model()->rowCount(), kRecords);
    QVERIFY(!shownFrom(form, QStringLiteral("PC-LATE")));

    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.recordLoadRunning(); }, 120000));
    QCOMPARE(form.dbgReciveData->model()->rowCount(), kRecords + 1);
    QVERIFY(shownFrom(form, QStringLiteral("PC-LATE")));
    QVERIFY(messages.requests.isEmpty());
}

QTEST_MAIN(TstConsoleSnapshot)
#include "tst_consolesnapshot.moc"
