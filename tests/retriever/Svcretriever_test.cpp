#include "Svcretriever.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
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

// A connection to destination:port from a chosen source address; nullopt when refused.
std::optional<platform::UniqueFd> connectFrom(const char *source, const char *destination, std::uint16_t port)
{
    const bool v6 = std::string_view(destination).find(':') != std::string_view::npos;
    platform::UniqueFd fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage from{}, to{};
    socklen_t length = 0;
    if (v6) {
        auto &a = reinterpret_cast<sockaddr_in6 &>(from), &b = reinterpret_cast<sockaddr_in6 &>(to);
        a.sin6_family = b.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, source, &a.sin6_addr);
        ::inet_pton(AF_INET6, destination, &b.sin6_addr);
        b.sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    } else {
        auto &a = reinterpret_cast<sockaddr_in &>(from), &b = reinterpret_cast<sockaddr_in &>(to);
        a.sin_family = b.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &a.sin_addr);
        ::inet_pton(AF_INET, destination, &b.sin_addr);
        b.sin_port = htons(port);
        length = sizeof(sockaddr_in);
    }
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&from), length) != 0)
        throw std::system_error(errno, std::generic_category(), std::string("bind ") + source);
    if (::connect(fd.get(), reinterpret_cast<sockaddr *>(&to), length) != 0)
        return std::nullopt;
    return fd;
}

bool hasIpv6Loopback()
{
    return connectFrom("::1", "::1", 1).has_value() || errno == ECONNREFUSED;
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

TEST_F(RetrieverTest, PortZeroInTheSettingsListensOnFreePorts)
{
    TRetriever service(m_db.registry());
    service.ServiceStart();
    EXPECT_EQ(service.ServerSocket1.Port(), 0);
    EXPECT_NE(service.ServerSocket1.LocalPort(), 0);
    EXPECT_NE(service.ConsoleSocket.LocalPort(), 0);
    EXPECT_TRUE(accepts(service.ServerSocket1.LocalPort()));
    EXPECT_TRUE(accepts(service.ConsoleSocket.LocalPort()));
}

// Each case breaks one setting of a working installation; the start must fail with a message
// that names the setting and the reason, and leave nothing listening.
TEST_F(RetrieverTest, SettingsThatCannotBeUsedFailTheStartWithAClearMessage)
{
    const std::filesystem::path store = m_db.registry().storePath();
    const std::string good = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n"
                             "\"DatabasePath\"=\"" + m_db.databasePath().string() + "\"\r\n";
    const std::string ports = "\"PortNumber\"=dword:00000000\r\n\"PortNumberConsole\"=dword:00000000\r\n";
    const struct {
        std::string settings;
        std::vector<std::string> message;
    } cases[] = {
        {good + "\"PortNumberConsole\"=dword:00000000\r\n", {"PortNumber is not set", store.string()}},
        {good + "\"PortNumber\"=\"1033\"\r\n\"PortNumberConsole\"=dword:00000000\r\n",
         {"PortNumber is not a REG_DWORD"}},
        {good + "\"PortNumber\"=dword:00000000\r\n", {"PortNumberConsole is not set"}},
        {good + "\"PortNumber\"=dword:00011170\r\n\"PortNumberConsole\"=dword:00000000\r\n",
         {"PortNumber 70000", "is not a TCP port number"}},
        {good + ports + "\"AgentNetworks\"=dword:00000001\r\n", {"AgentNetworks is not a REG_SZ"}},
        {good + ports + "\"AgentNetworks\"=\"192.168.10.0/24, 10.1.0.300/16\"\r\n",
         {"AgentNetworks", "\"10.1.0.300/16\" is not a network"}},
        {good + ports + "PortNumber=dword:00000401\r\n", {"is malformed", "line 7", "PortNumber=dword:00000401"}},
    };
    for (const auto &c : cases) {
        {
            std::ofstream out(store, std::ios::binary | std::ios::trunc);
            out << c.settings;
        }
        TRetriever service(m_db.registry());
        try {
            service.ServiceStart();
            ADD_FAILURE() << "started on:\n" << c.settings;
        } catch (const std::runtime_error &e) {
            for (const std::string &part : c.message)
                EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
        }
        EXPECT_FALSE(service.ServerSocket1.Active());
        EXPECT_FALSE(service.ConsoleSocket.Active());
    }
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

// 127.0.0.2 is an address of this machine but not one the console listener binds, so it
// stands for every address other than the loopback ones.
TEST_F(RetrieverTest, ConsolePortAnswersOnTheLoopbackAddressesOnly)
{
    TRetriever service(m_db.registry());
    service.ServiceStart();
    const std::uint16_t consolePort = service.ConsoleSocket.LocalPort();
    EXPECT_TRUE(connectFrom("127.0.0.1", "127.0.0.1", consolePort));
    EXPECT_FALSE(connectFrom("127.0.0.1", "127.0.0.2", consolePort)) << "the console port is open beyond loopback";
    EXPECT_TRUE(connectFrom("127.0.0.1", "127.0.0.2", service.ServerSocket1.LocalPort()));
    if (hasIpv6Loopback()) {
        const auto v6 = connectFrom("::1", "::1", consolePort);
        ASSERT_TRUE(v6);
        test::sendBytes(v6->get(), "DBREAD\n");
        EXPECT_EQ(test::receiveSome(v6->get(), 5s), "OK\n");
    }
}

TEST_F(RetrieverTest, AgentsOutsideAgentNetworksAreClosedUnreadAndTheOthersServed)
{
    platform::RegistryFile(m_db.registry().storePath())
        .writeString(kProductKey, "AgentNetworks", "10.1.0.0/16, 127.0.0.2, ::1/128");
    TRetriever service(m_db.registry());
    service.ServiceStart();
    const std::uint16_t port = service.ServerSocket1.LocalPort();

    const auto outsider = connectFrom("127.0.0.3", "127.0.0.1", port);
    ASSERT_TRUE(outsider);
    // Sending may already fail on the reset connection: that is the refusal too.
    ::send(outsider->get(), test::Frame("outsider").frame().data(), 160, MSG_NOSIGNAL);
    EXPECT_TRUE(test::peerClosed(outsider->get(), 2s));

    std::vector<platform::UniqueFd> allowed;
    allowed.push_back(*connectFrom("127.0.0.2", "127.0.0.1", port)); // IPv4 on a dual-stack socket
    if (hasIpv6Loopback())
        allowed.push_back(*connectFrom("::1", "::1", port));
    for (auto &agent : allowed) {
        test::sendBytes(agent.get(), test::Frame("insider").frame());
        EXPECT_TRUE(test::finishAndWaitForClose(agent.get()));
    }
    EXPECT_EQ(m_db.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"insider"});
    EXPECT_EQ(m_db.count("tblPrintingData"), static_cast<std::int64_t>(allowed.size()));
}

TEST(WorkerLimits, ADescriptorLimitWithoutRoomForAWorkerFailsTheStart)
{
    EXPECT_GE(workerLimits(256).agentWorkers, 1u);
    EXPECT_THROW(workerLimits(40), std::runtime_error);
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
