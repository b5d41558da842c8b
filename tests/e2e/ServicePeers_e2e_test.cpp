// The real hvnRetriever facing more peers than it has descriptors, peers outside its
// AgentNetworks, and settings it cannot use.

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "E2eSupport.h"
#include "TcpSocket.h"

namespace hvn::e2e {
namespace {

using namespace std::chrono_literals;

// A valid frame whose user name tells the agent apart.
std::string frameOf(const std::string &user)
{
    std::string body = "200504010930150250" "0010" "0010" "0005";
    auto field = [&body](std::string text, std::size_t width) {
        text.resize(width, ' ');
        body += text;
    };
    field("LP1", 64);
    field(user, 32);
    field("PC01", 32);
    return '\x02' + body + '\x03';
}

// Lowers this process's descriptor limit for one scope, so that a child started in it
// inherits the lower limit.
class ScopedDescriptorLimit {
public:
    explicit ScopedDescriptorLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_original);
        rlimit lowered = m_original;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~ScopedDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_original); }

private:
    rlimit m_original{};
};

// Starts the service as a child that inherits a descriptor limit of `limit`; this process
// keeps its own.
void startWithDescriptorLimit(std::optional<RetrieverProcess> &service, Installation &installation, rlim_t limit)
{
    const ScopedDescriptorLimit lowered(limit);
    service.emplace(installation);
}

platform::UniqueFd connectFrom(const char *source, std::uint16_t port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&from), sizeof from) != 0 ||
        ::connect(fd.get(), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        throw std::system_error(errno, std::generic_category(), std::string("connect from ") + source);
    return fd;
}

std::size_t occurrences(const std::string &text, const std::string &part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// With far more agents than descriptors, connections beyond what the service can serve wait
// in the kernel's queue; none is accepted and then dropped because its worker could not open
// the settings or the database.
TEST(ServicePeers, AtALowDescriptorLimitEveryRecordOfManyConcurrentAgentsIsStored)
{
    Installation installation;
    std::optional<RetrieverProcess> service;
    startWithDescriptorLimit(service, installation, 100);
    ASSERT_TRUE(service->waitReady()) << service->errText();

    constexpr int kAgents = 150;
    std::vector<platform::UniqueFd> agents;
    for (int i = 0; i < kAgents; ++i) {
        agents.push_back(connectLoopback(installation.port()));
        sendBytes(agents.back().get(), frameOf("agent" + std::to_string(i)));
        ::shutdown(agents.back().get(), SHUT_WR);
    }
    EXPECT_TRUE(installation.waitForCount("tblPrintingData", kAgents, 60s))
        << installation.count("tblPrintingData") << " of " << kAgents << " stored\n"
        << service->errText();
    EXPECT_EQ(installation.count("tblUserInfo"), kAgents);
    EXPECT_EQ(service->stop(), 0) << service->errText();
}

// Beyond the two workers that a low descriptor limit leaves, agent connections wait in the
// kernel's queue behind a console lock, a silent one and one cut short among them. A stop
// takes the queue in without waiting on those two: every complete record is kept and stored
// by the next start, the queued ones in the order they arrived.
TEST(ServicePeers, AtAStopTheRecordsOfConnectionsWaitingInTheKernelsQueueAreKeptThenStored)
{
    Installation installation;
    std::optional<RetrieverProcess> service;
    startWithDescriptorLimit(service, installation, 100);
    ASSERT_TRUE(service->waitReady()) << service->errText();
    const platform::UniqueFd console = connectLoopback(installation.consolePort());
    sendBytes(console.get(), "DBREAD\n");
    ASSERT_EQ(receiveSome(console.get(), 5s), "OK\n");

    constexpr int kAgents = 60;
    std::vector<std::string> queued; // in arrival order, after the two served ones
    std::vector<platform::UniqueFd> agents;
    for (int i = 0; i < kAgents; ++i) {
        const std::string user = "agent" + std::to_string(i);
        if (i >= 2)
            queued.push_back(user);
        agents.push_back(connectLoopback(installation.port()));
        sendBytes(agents.back().get(), frameOf(user));
        ::shutdown(agents.back().get(), SHUT_WR);
        if (i == 20) {
            agents.push_back(connectLoopback(installation.port())); // silent, never closes
            agents.push_back(connectLoopback(installation.port()));
            sendBytes(agents.back().get(), frameOf("cut short").substr(0, 100));
        }
    }
    std::this_thread::sleep_for(200ms); // the served ones wait for the mutex

    ASSERT_EQ(service->stop(5s), 0) << service->errText();
    const std::string stopLog = service->errText();
    EXPECT_EQ(installation.count("tblPrintingData"), 0);

    service.reset();
    service.emplace(installation);
    ASSERT_TRUE(service->waitReady()) << service->errText();
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", kAgents, 10s))
        << installation.count("tblPrintingData") << " of " << kAgents << " stored\n"
        << stopLog << service->errText();
    std::vector<std::string> users = installation.rows(
        "SELECT u.UserName FROM tblPrintingData d JOIN tblUserInfo u ON u.UserID = d.UserID ORDER BY d.rowid");
    ASSERT_EQ(users.size(), static_cast<std::size_t>(kAgents));
    std::sort(users.begin(), users.begin() + 2);
    EXPECT_EQ(users[0], "agent0");
    EXPECT_EQ(users[1], "agent1");
    EXPECT_EQ(std::vector<std::string>(users.begin() + 2, users.end()), queued);
    EXPECT_EQ(service->stop(), 0) << service->errText();
}

TEST(ServicePeers, AgentsOutsideAgentNetworksAreRefusedAndTheEventLogSaysSoOnce)
{
    Installation installation;
    const RunResult setup = installation.run({setupProgram().string(), "init", "--database",
                                              installation.database().string(), "--port",
                                              std::to_string(installation.port()), "--console-port",
                                              std::to_string(installation.consolePort()), "--agent-networks",
                                              "127.0.0.2/32"});
    ASSERT_EQ(setup.status, 0) << setup.err;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    for (int i = 0; i < 3; ++i) {
        const platform::UniqueFd outsider = connectFrom("127.0.0.1", installation.port());
        if (i == 0) { // refused before it sent anything: already then a reset
            ASSERT_EQ(platform::waitReadable(outsider.get(), 5s), platform::WaitResult::Ready);
            char byte;
            EXPECT_EQ(::recv(outsider.get(), &byte, 1, 0), -1) << "the refusal was an orderly close";
            EXPECT_EQ(errno, ECONNRESET);
            continue;
        }
        // An agent takes an orderly close after its end of stream as the receipt of its
        // records: a refusal must reach it as a reset, in its send, half-close or read.
        bool receipt = false;
        if (::send(outsider.get(), frameOf("outsider").data(), 160, MSG_NOSIGNAL) == 160 &&
            ::shutdown(outsider.get(), SHUT_WR) == 0 &&
            platform::waitReadable(outsider.get(), 5s) == platform::WaitResult::Ready) {
            char byte;
            receipt = ::recv(outsider.get(), &byte, 1, 0) == 0;
        }
        EXPECT_FALSE(receipt) << "connection " << i << ": the refusal read as an orderly close";
    }
    {
        const platform::UniqueFd insider = connectFrom("127.0.0.2", installation.port());
        sendBytes(insider.get(), frameOf("insider"));
    }
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", 1));
    EXPECT_EQ(installation.rows("SELECT UserName FROM tblUserInfo"), std::vector<std::string>{"insider"});
    EXPECT_EQ(service.stop(), 0) << service.errText();
    EXPECT_EQ(occurrences(service.errText(), "refused an agent connection from 127.0.0.1"), 1u) << service.errText();
}

TEST(ServicePeers, MalformedSettingsFileEndsTheStartNamingTheLine)
{
    Installation installation;
    {
        std::ofstream out(installation.registry(), std::ios::app | std::ios::binary);
        out << "PortNumber=1033\r\n";
    }
    RetrieverProcess service(installation);
    EXPECT_EQ(service.wait(20s), 1);
    const std::string err = service.errText();
    EXPECT_NE(err.find("is malformed: line"), std::string::npos) << err;
    EXPECT_NE(err.find("\"PortNumber=1033\""), std::string::npos) << err;
    EXPECT_EQ(err.find("no database path"), std::string::npos) << err;
}

} // namespace
} // namespace hvn::e2e
