// The print-record worker over real loopback connections and a real database file.
#include "Newserverthread.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include "DatabaseRows.h"
#include "NamedMutex.h"
#include "ServerSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using namespace std::chrono_literals;
using test::connectLoopback;
using test::finishAndWaitForClose;
using test::Frame;
using test::frames;
using test::sendBytes;
using test::TestDatabase;
using test::waitUntil;

class NewServerThreadTest : public ::testing::Test {
protected:
    explicit NewServerThreadTest(std::chrono::milliseconds idleLimit = TNewServerThread::kDefaultIdleLimit)
        : server([this, idleLimit] { return std::make_unique<TNewServerThread>(keeper, idleLimit); }, 0)
    {
        server.Open();
    }

    // One agent connection: the chunks are written with a pause between them, so that each
    // reaches the worker in a read of its own; returns once the worker has closed the
    // connection, by which time every record has been committed.
    void deliver(const std::vector<std::string> &chunks)
    {
        auto agent = connectLoopback(server.LocalPort());
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(15ms);
            sendBytes(agent.get(), chunks[i]);
        }
        ASSERT_TRUE(finishAndWaitForClose(agent.get()));
    }

    std::vector<std::string> printRows()
    {
        return files.rows("SELECT u.UserName, p.PrinterName, d.ComputerName, d.DocumentPages,"
                          " d.SheetsOfPaper, d.dbDateTime FROM tblPrintingData d"
                          " JOIN tblUserInfo u ON u.UserID = d.UserID"
                          " JOIN tblPrintingMachineInfo p ON p.PrinterID = d.PrinterID ORDER BY d.rowid");
    }

    TestDatabase files;
    test::KeeperLog log;
    std::shared_ptr<RecordKeeper> keeper = test::startedKeeper(files.registry(), log);
    TServerSocket server;
};

TEST_F(NewServerThreadTest, FrameSplitAcrossReadsGivesExactlyOneRow)
{
    const std::string frame = Frame("alice", "LP1", "PC01").frame();
    for (std::size_t split : {1u, 2u, 80u, 158u, 159u}) // after STX, inside, just before ETX
        deliver({frame.substr(0, split), frame.substr(split)});
    EXPECT_EQ(files.count("tblPrintingData"), 5);
    EXPECT_EQ(files.count("tblUserInfo"), 1);
    EXPECT_EQ(files.count("tblPrintingMachineInfo"), 1);
}

TEST_F(NewServerThreadTest, SeveralFramesInOneReadAreStoredInOrderAmidJunk)
{
    deliver({"garbage" + Frame("u1", "P1", "C1").frame() + "\r\n" + Frame("u2", "P2", "C2").frame() +
             "\x02" "half a record" + Frame("u1", "P2", "C3").frame()});
    EXPECT_EQ(printRows(), (std::vector<std::string>{"u1|P1|C1|10|5|2004-04-01 09:30:15.250",
                                                    "u2|P2|C2|10|5|2004-04-01 09:30:15.250",
                                                    "u1|P2|C3|10|5|2004-04-01 09:30:15.250"}));
}

TEST_F(NewServerThreadTest, InvalidDateRegistersUserAndPrinterButStoresNoRow)
{
    deliver({frames({Frame("m13", "Pm").raw(record::kMonth, "13"), Frame("d32", "Pd").raw(record::kDay, "32"),
                     Frame("h24", "Ph").raw(record::kHour, "24"), Frame("ok", "Pok")})});
    EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo ORDER BY UserID"),
              (std::vector<std::string>{"m13", "d32", "h24", "ok"}));
    EXPECT_EQ(files.rows("SELECT PrinterName FROM tblPrintingMachineInfo ORDER BY PrinterID"),
              (std::vector<std::string>{"Pm", "Pd", "Ph", "Pok"}));
    EXPECT_EQ(files.rows("SELECT UserID FROM tblPrintingData"), std::vector<std::string>{"4"});
}

TEST_F(NewServerThreadTest, Cp932NamesAreStoredAsUnicodeAndBlankNamesAsEmpty)
{
    Frame invalid("x", "y", "z");
    invalid.raw(record::kUserName, "ab\xff" "cd").raw(record::kComputerName, "\x82");
    deliver({frames({Frame("山田太郎", "経理部ﾌﾟﾘﾝﾀ", "総務-PC"), Frame("", "  ", "").raw(record::kUserName, "   "),
                     invalid})});
    EXPECT_EQ(printRows(), (std::vector<std::string>{
                               "山田太郎|経理部ﾌﾟﾘﾝﾀ|総務-PC|10|5|2004-04-01 09:30:15.250",
                               "||" "|10|5|2004-04-01 09:30:15.250",
                               "ab\xEF\xBF\xBD" "cd|y|\xEF\xBF\xBD|10|5|2004-04-01 09:30:15.250"}));
}

TEST_F(NewServerThreadTest, EndlessUnterminatedRecordIsCappedAndTheNextFrameStillStored)
{
    auto agent = connectLoopback(server.LocalPort());
    sendBytes(agent.get(), "\x02");
    const std::string filler(64 * 1024, 'z');
    for (int i = 0; i < 16; ++i) // 1 MiB without an ETX
        sendBytes(agent.get(), filler);
    sendBytes(agent.get(), Frame("after", "P").frame());
    ASSERT_TRUE(finishAndWaitForClose(agent.get(), 30s));
    EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"after"});
    EXPECT_EQ(files.count("tblPrintingData"), 1);
}

// A database failure on one record (here a trigger rejects one user name) must cost only that
// record: the others of the same read are stored, and nothing of the failed one remains.
TEST_F(NewServerThreadTest, DatabaseFailureOnOneRecordKeepsTheOthersOfTheSameRead)
{
    files.exec("CREATE TRIGGER rejectPoison BEFORE INSERT ON tblUserInfo WHEN NEW.UserName = 'poison'"
               " BEGIN SELECT RAISE(ABORT, 'rejected'); END");
    deliver({frames({Frame("a", "P1"), Frame("poison", "Ppoison"), Frame("b", "P2")})});
    deliver({Frame("c", "P3").frame()});
    EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo ORDER BY UserID"),
              (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(files.rows("SELECT PrinterName FROM tblPrintingMachineInfo ORDER BY PrinterID"),
              (std::vector<std::string>{"P1", "P2", "P3"}));
    EXPECT_EQ(files.count("tblPrintingData"), 3);
}

TEST_F(NewServerThreadTest, TricklingOrIdleConnectionsHoldBackNeitherOtherAgentsNorTheConsole)
{
    const std::string frame = Frame("trickler", "P").frame();
    auto trickler = connectLoopback(server.LocalPort());
    sendBytes(trickler.get(), frame.substr(0, 40));
    auto idle = connectLoopback(server.LocalPort());
    ASSERT_TRUE(waitUntil([&] { return server.ActiveWorkers() == 2; }));

    deliver({Frame("other", "P").frame()});
    EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"other"});
    sendBytes(trickler.get(), frame.substr(40, 40));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(test::databaseMutexBusy()) << "an unfinished record holds the database";

    sendBytes(trickler.get(), frame.substr(80));
    ASSERT_TRUE(waitUntil([&] { return files.count("tblPrintingData") == 2; }));
    EXPECT_FALSE(test::databaseMutexBusy()) << "the mutex was kept after the record was stored";
    ASSERT_TRUE(finishAndWaitForClose(trickler.get()));
    ASSERT_TRUE(finishAndWaitForClose(idle.get()));
    EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo ORDER BY UserID"),
              (std::vector<std::string>{"other", "trickler"}));
}

TEST_F(NewServerThreadTest, CloseDropsOpenAgentConnectionsAndFreesTheMutex)
{
    auto agent = connectLoopback(server.LocalPort());
    ASSERT_TRUE(waitUntil([&] { return server.ActiveWorkers() == 1; }));
    server.Close();
    EXPECT_TRUE(test::peerClosed(agent.get(), 2s));
    EXPECT_FALSE(test::databaseMutexBusy());
}

// Close() while the test itself holds the mutex: it could never return if a waiting worker
// waited on.
TEST_F(NewServerThreadTest, CloseEndsTheWaitsForTheMutexAtOnceAndKeepsTheirRecords)
{
    // Ten frames each: a worker's first read takes six, the rest wait unread in its connection.
    constexpr int kAgents = 5;
    constexpr int kRecords = kAgents * 10;
    platform::NamedMutex mutex(kDatabaseMutexName);
    platform::NamedMutexLock held(mutex);
    std::vector<platform::UniqueFd> agents;
    for (int i = 0; i < kAgents; ++i) {
        agents.push_back(connectLoopback(server.LocalPort()));
        sendBytes(agents.back().get(), frames(std::vector<Frame>(10, Frame("waiting" + std::to_string(i), "P"))));
    }
    ASSERT_TRUE(waitUntil([&] { return mutex.waiters() == kAgents; }));
    server.Close();
    EXPECT_EQ(keeper->keptRecords(), static_cast<std::size_t>(kRecords));
    EXPECT_TRUE(log.waitFor("the service is stopping"));
    EXPECT_EQ(files.count("tblUserInfo"), 0);

    held.unlock();
    EXPECT_TRUE(waitUntil([&] { return files.count("tblPrintingData") == kRecords; }));
    EXPECT_TRUE(log.waitFor(std::to_string(kRecords) + " print records kept in"));
}

// Another program holds the write lock past the busy timeout: the records wait in the spool,
// later ones queue behind them, and all are stored in arrival order once the lock is gone,
// without any new traffic.
TEST_F(NewServerThreadTest, RecordsMeetingAForeignWriteLockAreKeptThenStoredInArrivalOrder)
{
    SQLite::Database foreign(files.databasePath().string(), SQLite::OPEN_READWRITE);
    foreign.exec("BEGIN IMMEDIATE");
    deliver({frames({Frame("a", "P"), Frame("b", "P")})});
    deliver({Frame("c", "P").frame()});
    EXPECT_EQ(keeper->keptRecords(), 3u);
    EXPECT_TRUE(log.waitFor("print records are kept in " + keeper->spoolPath().string()));
    foreign.exec("COMMIT");

    ASSERT_TRUE(waitUntil([&] { return files.count("tblPrintingData") == 3; }));
    EXPECT_EQ(printRows(), (std::vector<std::string>{"a|P|PC01|10|5|2004-04-01 09:30:15.250",
                                                    "b|P|PC01|10|5|2004-04-01 09:30:15.250",
                                                    "c|P|PC01|10|5|2004-04-01 09:30:15.250"}));
    EXPECT_TRUE(log.waitFor("3 print records kept in"));
    EXPECT_EQ(keeper->keptRecords(), 0u);
    deliver({Frame("d", "P").frame()}); // stored straight away again
    EXPECT_EQ(files.count("tblPrintingData"), 4);
}

class NewServerThreadIdleTest : public NewServerThreadTest {
protected:
    NewServerThreadIdleTest() : NewServerThreadTest(300ms) {}
};

TEST_F(NewServerThreadIdleTest, SilentConnectionIsClosedAfterTheIdleLimitAndReleasesTheMutex)
{
    auto agent = connectLoopback(server.LocalPort());
    ASSERT_TRUE(waitUntil([&] { return server.ActiveWorkers() == 1; }));
    const auto started = std::chrono::steady_clock::now();
    sendBytes(agent.get(), Frame().frame()); // data restarts the idle limit
    EXPECT_FALSE(test::peerClosed(agent.get(), 200ms));
    EXPECT_TRUE(test::peerClosed(agent.get(), 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
    EXPECT_TRUE(waitUntil([] { return !test::databaseMutexBusy(); }));
    EXPECT_EQ(files.count("tblPrintingData"), 1);
}

TEST(NewServerThread, RecordsForAnUnopenableDatabaseAreKeptUntilItCanBeOpened)
{
    TestDatabase files;
    const TdmRegistryCtl broken = files.brokenRegistry();
    test::KeeperLog log;
    auto keeper = test::startedKeeper(broken, log);
    TServerSocket server([&] { return std::make_unique<TNewServerThread>(keeper); }, 0);
    server.Open();
    auto agent = connectLoopback(server.LocalPort());
    sendBytes(agent.get(), frames({Frame("u1"), Frame("u2")}));
    ASSERT_TRUE(finishAndWaitForClose(agent.get()));
    EXPECT_EQ(keeper->keptRecords(), 2u);
    EXPECT_TRUE(log.waitFor("no such file"));

    std::filesystem::copy_file(files.databasePath(), broken.GetRegistryString("DatabasePath"));
    ASSERT_TRUE(waitUntil([&] { return keeper->keptRecords() == 0; }));
    EXPECT_EQ(hvn::test::queryRows(broken.GetRegistryString("DatabasePath"), "SELECT UserName FROM tblUserInfo"),
              (std::vector<std::string>{"u1", "u2"}));
}

} // namespace
} // namespace hvn::retriever
