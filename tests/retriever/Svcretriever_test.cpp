#include "Svcretriever.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "NamedMutex.h"
#include "RegistryFile.h"
#include "TcpSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using namespace std::chrono_literals;
using hvn::test::freePort;
using test::connectLoopback;
using test::TestDatabase;

// Holds a port on 127.0.0.1 the way another program would.
platform::UniqueFd occupy(std::uint16_t port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 1) != 0)
        throw std::system_error(errno, std::generic_category(), "occupy");
    return fd;
}

bool accepts(std::uint16_t port)
{
    try {
        connectLoopback(port);
        return true;
    } catch (const std::system_error &) {
        return false;
    }
}

class RetrieverTest : public ::testing::Test {
protected:
    void setPorts(std::int64_t port, std::int64_t consolePort)
    {
        platform::RegistryFile file(m_db.registry().storePath());
        ASSERT_TRUE(file.writeDword(kProductKey, "PortNumber", static_cast<std::uint32_t>(port)));
        ASSERT_TRUE(file.writeDword(kProductKey, "PortNumberConsole", static_cast<std::uint32_t>(consolePort)));
    }

    TestDatabase m_db;
};

TEST_F(RetrieverTest, StartListensOnTheSettingsPortsInsteadOfTheDesignPorts)
{
    const std::uint16_t port = freePort();
    const std::uint16_t consolePort = freePort();
    setPorts(port, consolePort);
    TRetriever service(m_db.registry());
    EXPECT_EQ(service.ServerSocket1.Port(), TRetriever::kDesignPort);
    EXPECT_EQ(service.ConsoleSocket.Port(), TRetriever::kDesignConsolePort);
    EXPECT_FALSE(service.ServerSocket1.Active());

    service.ServiceStart();
    EXPECT_EQ(service.ServerSocket1.LocalPort(), port);
    EXPECT_EQ(service.ConsoleSocket.LocalPort(), consolePort);
    EXPECT_TRUE(accepts(port));
    EXPECT_TRUE(accepts(consolePort));

    service.ServiceStop();
    EXPECT_FALSE(service.ServerSocket1.Active());
    EXPECT_FALSE(service.ConsoleSocket.Active());
    EXPECT_FALSE(accepts(port));
    EXPECT_FALSE(accepts(consolePort));
}

TEST_F(RetrieverTest, MissingPortSettingsGivePortZeroNotTheDesignPorts)
{
    TRetriever service(m_db.registry());
    service.ServiceStart();
    EXPECT_EQ(service.ServerSocket1.Port(), 0);
    EXPECT_EQ(service.ConsoleSocket.Port(), 0);
    EXPECT_NE(service.ServerSocket1.LocalPort(), 0);
    EXPECT_NE(service.ConsoleSocket.LocalPort(), 0);
    EXPECT_TRUE(accepts(service.ServerSocket1.LocalPort()));
    EXPECT_TRUE(accepts(service.ConsoleSocket.LocalPort()));
}

TEST_F(RetrieverTest, TakenPrintRecordPortFailsStartAndTheConsolePortIsNotOpened)
{
    const std::uint16_t port = freePort();
    const std::uint16_t consolePort = freePort();
    setPorts(port, consolePort);
    const platform::UniqueFd taken = occupy(port);

    TRetriever service(m_db.registry());
    try {
        service.ServiceStart();
        FAIL() << "the start succeeded on a taken port";
    } catch (const std::system_error &e) {
        EXPECT_EQ(e.code().value(), EADDRINUSE);
    }
    EXPECT_FALSE(service.ServerSocket1.Active());
    EXPECT_FALSE(service.ConsoleSocket.Active());
    EXPECT_FALSE(accepts(consolePort));
}

TEST_F(RetrieverTest, FailedStartLeavesNoListenerOpen)
{
    const std::uint16_t port = freePort();
    const std::uint16_t consolePort = freePort();
    {
        setPorts(port, consolePort);
        const platform::UniqueFd taken = occupy(consolePort);
        TRetriever service(m_db.registry());
        EXPECT_THROW(service.ServiceStart(), std::system_error);
        EXPECT_FALSE(service.ServerSocket1.Active());
        EXPECT_FALSE(accepts(port));
    }
    {
        setPorts(port, 70000);
        TRetriever service(m_db.registry());
        EXPECT_THROW(service.ServiceStart(), std::invalid_argument);
        EXPECT_FALSE(service.ServerSocket1.Active());
        EXPECT_FALSE(service.ConsoleSocket.Active());
    }
    // Nothing of the failed starts holds the ports: a start on them now succeeds.
    setPorts(port, consolePort);
    TRetriever service(m_db.registry());
    EXPECT_NO_THROW(service.ServiceStart());
}

// Catches swapped or shared handlers: only the console port grants the lock, and a lock granted
// there holds back what arrives on the print-record port until it is given back.
TEST_F(RetrieverTest, ConsoleLockOnTheConsolePortHoldsBackRecordsFromThePrintRecordPort)
{
    TRetriever service(m_db.registry());
    service.ServiceStart();

    const platform::UniqueFd console = connectLoopback(service.ConsoleSocket.LocalPort());
    test::sendBytes(console.get(), "DBREAD\n");
    ASSERT_EQ(test::receiveSome(console.get(), 5s), "OK\n");

    const platform::UniqueFd agent = connectLoopback(service.ServerSocket1.LocalPort());
    test::sendBytes(agent.get(), test::Frame("鈴木", "LP1").frame());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(m_db.count("tblPrintingData"), 0) << "stored while the console held the lock";

    test::sendBytes(console.get(), "END\n");
    EXPECT_TRUE(test::finishAndWaitForClose(agent.get()));
    EXPECT_EQ(m_db.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"鈴木"});
    EXPECT_EQ(m_db.count("tblPrintingData"), 1);

    // The print-record port never answers, not even a lock request.
    const platform::UniqueFd wrongPort = connectLoopback(service.ServerSocket1.LocalPort());
    test::sendBytes(wrongPort.get(), "DBREAD\n");
    ::shutdown(wrongPort.get(), SHUT_WR);
    EXPECT_EQ(test::receiveSome(wrongPort.get(), 5s), "");
}

TEST_F(RetrieverTest, StopDropsOpenConnectionsWithoutWaitingForTheirIdleLimit)
{
    TRetriever service(m_db.registry());
    service.ServiceStart();
    const platform::UniqueFd agent = connectLoopback(service.ServerSocket1.LocalPort());
    test::sendBytes(agent.get(), test::Frame().frame().substr(0, 80)); // a record cut short
    const platform::UniqueFd console = connectLoopback(service.ConsoleSocket.LocalPort());
    ASSERT_TRUE(test::waitUntil([&] { return service.ServerSocket1.ActiveWorkers() == 1; }));

    const auto started = std::chrono::steady_clock::now();
    service.ServiceStop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(test::peerClosed(agent.get(), 1s));
    EXPECT_TRUE(test::peerClosed(console.get(), 1s));
    EXPECT_EQ(m_db.count("tblPrintingData"), 0);
}

// A granted console lock keeps an agent worker waiting for the mutex; a stop ends that wait at
// once, keeps the record, and the next start stores it.
TEST_F(RetrieverTest, StopEndsTheWaitBehindAGrantedConsoleLockAndTheNextStartStoresTheRecord)
{
    test::KeeperLog log;
    {
        TRetriever service(m_db.registry(), 60s, 60s, log.options());
        service.ServiceStart();
        const platform::UniqueFd console = connectLoopback(service.ConsoleSocket.LocalPort());
        test::sendBytes(console.get(), "DBREAD\n");
        ASSERT_EQ(test::receiveSome(console.get(), 5s), "OK\n");
        const platform::UniqueFd agent = connectLoopback(service.ServerSocket1.LocalPort());
        test::sendBytes(agent.get(), test::Frame("waiting").frame());
        ASSERT_TRUE(test::waitUntil([] { return platform::NamedMutex(kDatabaseMutexName).waiters() == 1; }));

        const auto started = std::chrono::steady_clock::now();
        service.ServiceStop();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "stop waited for the console's lock";
        EXPECT_TRUE(test::peerClosed(console.get(), 1s));
        EXPECT_FALSE(test::databaseMutexBusy());
        EXPECT_TRUE(log.waitFor("the service is stopping"));
    }
    EXPECT_EQ(m_db.count("tblPrintingData"), 0);

    TRetriever again(m_db.registry(), 60s, 60s, log.options());
    again.ServiceStart();
    EXPECT_TRUE(log.waitFor("kept by an earlier run"));
    EXPECT_TRUE(test::waitUntil([&] { return m_db.count("tblPrintingData") == 1; }));
    EXPECT_EQ(m_db.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"waiting"});
    EXPECT_TRUE(log.waitFor("1 print record kept in"));
}

} // namespace
} // namespace hvn::retriever
