#include "Svcretriever.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "AgentFrame.h"
#include "TcpSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using namespace std::chrono_literals;

constexpr int kAgents = 20;
constexpr int kRecordsPerAgent = 500;

std::string agentName(int agent)
{
    char name[32];
    std::snprintf(name, sizeof name, "利用者%02d", agent);
    return name;
}

// Record `seq` of an agent: its time is unique per agent and record, so duplicates show.
agent::PrintJob jobOf(int agentIndex, int seq)
{
    agent::PrintJob job;
    job.time = *DbDateTime::make(2005, 1, 1 + seq / 24 / 60 % 28, seq / 60 % 24, seq % 60, agentIndex, seq % 1000);
    job.user = agentName(agentIndex);
    job.printer = "LP" + std::to_string(agentIndex % 3);
    job.computer = "PC" + std::to_string(agentIndex);
    job.pages = seq % 50 + 1;
    job.sides = job.pages;
    job.sheets = (job.pages + 1) / 2;
    return job;
}

// Sends every record of one agent over one connection, in pieces cut at varying byte
// positions, and waits until the service has finished with the connection.
bool runAgent(std::uint16_t port, int agentIndex)
{
    std::string bytes;
    for (int seq = 0; seq < kRecordsPerAgent; ++seq)
        bytes += agent::encodeFrame(jobOf(agentIndex, seq));
    const platform::UniqueFd fd = test::connectLoopback(port);
    const timeval sendLimit{60, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    std::mt19937 random(static_cast<unsigned>(agentIndex));
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size() - offset, 1 + random() % 3000);
        if (!platform::sendAll(fd.get(), std::string_view(bytes).substr(offset, piece)))
            return false;
        offset += piece;
    }
    return test::finishAndWaitForClose(fd.get(), 120s);
}

// One console bracket as the console takes it: connect, "DBREAD", wait for the grant, "END".
bool lockBracket(std::uint16_t port)
{
    const platform::UniqueFd fd = test::connectLoopback(port);
    if (!platform::sendAll(fd.get(), "DBREAD\n"))
        return false;
    const bool granted = test::receiveSome(fd.get(), 120s) == "OK\n";
    platform::sendAll(fd.get(), "END\n");
    return granted;
}

TEST(RetrieverLoad, ConcurrentAgentsAndALockingConsoleStoreEveryRecordExactlyOnce)
{
    test::TestDatabase db;
    TRetriever service(db.registry());
    service.ServiceStart();
    const std::uint16_t port = service.ServerSocket1.LocalPort();
    const std::uint16_t consolePort = service.ConsoleSocket.LocalPort();

    std::atomic<bool> agentsDone{false};
    int requests = 0;
    int grants = 0;
    std::thread console([&] {
        // Bounded in count as well, should the agents never finish.
        while (!agentsDone && requests < 100000) {
            ++requests;
            grants += lockBracket(consolePort) ? 1 : 0;
        }
    });

    std::atomic<int> agentsFinished{0};
    std::vector<std::thread> agents;
    for (int a = 0; a < kAgents; ++a)
        agents.emplace_back([&, a] {
            try {
                agentsFinished += runAgent(port, a) ? 1 : 0;
            } catch (const std::exception &) {
            }
        });
    for (std::thread &t : agents)
        t.join();
    agentsDone = true;
    console.join();

    EXPECT_EQ(agentsFinished, kAgents);
    EXPECT_GT(requests, 0);
    EXPECT_EQ(grants, requests) << "a lock request was refused or left unanswered";

    EXPECT_EQ(db.count("tblPrintingData"), kAgents * kRecordsPerAgent);
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM (SELECT DISTINCT UserID, dbDateTime FROM tblPrintingData)"),
              std::vector<std::string>{std::to_string(kAgents * kRecordsPerAgent)})
        << "a record was stored twice";
    EXPECT_EQ(db.count("tblUserInfo"), kAgents) << "a user was registered twice";
    EXPECT_EQ(db.count("tblPrintingMachineInfo"), 3) << "a printer was registered twice";
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM tblPrintingData d JOIN tblUserInfo u ON u.UserID = d.UserID"
                      " WHERE u.UserName = '" + agentName(7) + "' AND d.ComputerName = 'PC7'"),
              std::vector<std::string>{std::to_string(kRecordsPerAgent)});

    // Still answering on both ports.
    EXPECT_TRUE(lockBracket(consolePort));
    const platform::UniqueFd late = test::connectLoopback(port);
    test::sendBytes(late.get(), agent::encodeFrame(jobOf(kAgents, 0)));
    EXPECT_TRUE(test::finishAndWaitForClose(late.get()));
    EXPECT_EQ(db.count("tblPrintingData"), kAgents * kRecordsPerAgent + 1);
}

} // namespace
} // namespace hvn::retriever
