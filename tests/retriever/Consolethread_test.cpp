// The console lock channel over real loopback connections, alone and against agent connections.
#include "Consolethread.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Newserverthread.h"
#include "ServerSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using namespace std::chrono_literals;
using test::connectLoopback;
using test::databaseMutexBusy;
using test::peerClosed;
using test::receiveSome;
using test::sendBytes;
using test::waitUntil;

bool mutexFreed()
{
    return waitUntil([] { return !databaseMutexBusy(); }, 5s);
}

class ConsoleSocketTest : public ::testing::Test {
protected:
    static constexpr auto kIdleLimit = 800ms;

    ConsoleSocketTest()
        : console([] { return std::make_unique<TConsoleSocket>(kIdleLimit); }, 0)
    {
        console.Open();
    }

    platform::UniqueFd connect() { return connectLoopback(console.LocalPort()); }

    // Sends a message and returns the reply that follows within the time given.
    static std::string ask(int fd, const std::string &message, std::chrono::milliseconds wait = 5s)
    {
        sendBytes(fd, message);
        return receiveSome(fd, wait);
    }

    TServerSocket console;
};

TEST_F(ConsoleSocketTest, GrantIsReleasedByTheNextMessageAndCanBeTakenAgainOnOneConnection)
{
    auto client = connect();
    for (const char *release : {"END\n", "xyz", "\n"}) {
        ASSERT_EQ(ask(client.get(), "DBREAD\n"), "OK\n");
        EXPECT_TRUE(databaseMutexBusy());
        sendBytes(client.get(), release);
        EXPECT_TRUE(mutexFreed()) << "release by " << testing::PrintToString(release);
    }
    client.reset();
    EXPECT_TRUE(waitUntil([&] { return console.ActiveWorkers() == 0; }));
}

TEST_F(ConsoleSocketTest, RequestIsRecognisedByItsFirstSixBytesInAnyCase)
{
    for (const char *request : {"DBREAD\n", "dbread\n", "DbReAd", "DBREADANDMORE\n"}) {
        auto client = connect();
        EXPECT_EQ(ask(client.get(), request), "OK\n") << request;
        sendBytes(client.get(), "END\n");
        EXPECT_TRUE(mutexFreed());
    }
    for (const char *request : {"DBREA", "END\n", "HELLO\n", " DBREAD\n"}) {
        auto client = connect();
        EXPECT_EQ(ask(client.get(), request), "NG\n") << request;
        EXPECT_TRUE(peerClosed(client.get(), 5s)) << request;
        EXPECT_FALSE(databaseMutexBusy());
    }
}

TEST_F(ConsoleSocketTest, DisconnectingRightAfterTheGrantReleasesAtOnce)
{
    auto client = connect();
    ASSERT_EQ(ask(client.get(), "DBREAD\n"), "OK\n");
    const auto closed = std::chrono::steady_clock::now();
    client.reset();
    EXPECT_TRUE(mutexFreed());
    EXPECT_LT(std::chrono::steady_clock::now() - closed, kIdleLimit);
}

TEST_F(ConsoleSocketTest, RequestAndEndInOneReadHoldTheLockUntilTheIdleLimit)
{
    auto client = connect();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(ask(client.get(), "DBREAD\nEND\n"), "OK\n");
    EXPECT_TRUE(databaseMutexBusy());
    EXPECT_TRUE(peerClosed(client.get(), 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, kIdleLimit);
    EXPECT_TRUE(mutexFreed());
}

TEST_F(ConsoleSocketTest, SilentConnectionIsClosedWithoutTakingTheMutex)
{
    auto client = connect();
    EXPECT_TRUE(waitUntil([&] { return console.ActiveWorkers() == 1; }));
    EXPECT_FALSE(databaseMutexBusy());
    EXPECT_TRUE(peerClosed(client.get(), 5s));
}

// The lock channel and the agents share hvnDatabase: each waits while the other holds it.
class LockAgainstAgentsTest : public ConsoleSocketTest {
protected:
    LockAgainstAgentsTest()
        : agents([this] { return std::make_unique<TNewServerThread>(keeper); }, 0)
    {
        agents.Open();
    }

    test::TestDatabase files;
    test::KeeperLog log;
    std::shared_ptr<RecordKeeper> keeper = test::startedKeeper(files.registry(), log);
    TServerSocket agents;
};

// The agent's worker holds the mutex only while it stores what it has read.
TEST_F(LockAgainstAgentsTest, RequestIsGrantedWhileAnAgentConnectionStaysOpenAfterItsRecords)
{
    auto agent = connectLoopback(agents.LocalPort());
    sendBytes(agent.get(), test::Frame().frame() + "\x02" "2004");
    ASSERT_TRUE(waitUntil([&] { return files.count("tblPrintingData") == 1; }));
    auto client = connect();
    EXPECT_EQ(ask(client.get(), "DBREAD\n"), "OK\n");
    sendBytes(client.get(), "END\n");
    EXPECT_TRUE(mutexFreed());
    EXPECT_TRUE(test::finishAndWaitForClose(agent.get()));
}

TEST_F(LockAgainstAgentsTest, AgentRecordsWaitWhileTheConsoleHoldsTheLock)
{
    auto client = connect();
    ASSERT_EQ(ask(client.get(), "DBREAD\n"), "OK\n");
    auto agent = connectLoopback(agents.LocalPort());
    sendBytes(agent.get(), test::Frame().frame());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(files.count("tblPrintingData"), 0) << "stored while the console holds the lock";
    sendBytes(client.get(), "END\n");
    EXPECT_TRUE(test::finishAndWaitForClose(agent.get()));
    EXPECT_EQ(files.count("tblPrintingData"), 1);
}

} // namespace
} // namespace hvn::retriever
