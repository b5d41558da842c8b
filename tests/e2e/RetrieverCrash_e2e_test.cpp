// The real hvnRetriever killed outright while agents deliver records and a reader watches,
// then started again on the same files.
#include <atomic>
#include <csignal>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AgentFrame.h"
#include "E2eSupport.h"
#include "TcpSocket.h"

namespace hvn::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kAgents = 4;
constexpr int kCrashes = 3;
constexpr const char *kKeys = "SELECT ComputerName || '|' || dbDateTime FROM tblPrintingData";

// Record seq of an agent; its computer and time make it unique.
std::string frameOf(int agentIndex, int seq)
{
    agent::PrintJob job;
    job.time = *DbDateTime::make(2006, 1, 1 + seq / 86400000 % 28, seq / 3600000 % 24, seq / 60000 % 60,
                                 seq / 1000 % 60, seq % 1000);
    job.user = "user" + std::to_string(agentIndex);
    job.printer = "LP" + std::to_string(agentIndex % 2);
    job.computer = "PC" + std::to_string(agentIndex);
    job.pages = 1 + seq % 9;
    job.sides = job.pages;
    job.sheets = job.pages;
    return agent::encodeFrame(job);
}

// An agent that delivers records, a few per send and some dozens per connection, and
// reconnects whenever the service is gone, until told to stop. Records in flight when the
// service dies are simply lost, as with a real agent: nothing is sent twice.
void runAgent(int agentIndex, const Installation &installation, const std::atomic<bool> &stop)
{
    int seq = 0;
    while (!stop) {
        platform::UniqueFd fd;
        try {
            fd = connectLoopback(installation.port());
        } catch (const std::exception &) {
            std::this_thread::sleep_for(5ms);
            continue;
        }
        for (int sent = 0; sent < 40 && !stop; sent += 4) {
            std::string bytes;
            for (int i = 0; i < 4; ++i)
                bytes += frameOf(agentIndex, seq++);
            if (!platform::sendAll(fd.get(), bytes))
                break;
            std::this_thread::sleep_for(2ms);
        }
    }
}

std::vector<std::string> missingFrom(const Installation &installation, const std::set<std::string> &seen)
{
    const std::vector<std::string> rows = installation.rows(kKeys);
    const std::set<std::string> present(rows.begin(), rows.end());
    std::vector<std::string> missing;
    for (const std::string &key : seen)
        if (!present.count(key))
            missing.push_back(key);
    return missing;
}

TEST(RetrieverCrash, KilledUnderLoadAndRestartedItLosesNoRowAReaderSawAndServesAgain)
{
    Installation installation;
    std::optional<RetrieverProcess> service;
    service.emplace(installation);
    ASSERT_TRUE(service->waitReady()) << service->errText();

    std::atomic<bool> stopAgents{false};
    std::vector<std::thread> agents;
    for (int a = 0; a < kAgents; ++a)
        agents.emplace_back(runAgent, a, std::cref(installation), std::cref(stopAgents));
    // A reader reading every row key again and again, while the service works and dies.
    std::mutex seenMutex;
    std::set<std::string> seen; // guarded by seenMutex
    std::thread reader([&] {
        while (!stopAgents) {
            try {
                const std::vector<std::string> read = installation.rows(kKeys);
                std::lock_guard lock(seenMutex);
                seen.insert(read.begin(), read.end());
            } catch (const std::exception &) {
                // The file in the middle of its recovery: read again.
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    auto seenSoFar = [&] {
        std::lock_guard lock(seenMutex);
        return seen;
    };

    for (int crash = 0; crash < kCrashes; ++crash) {
        const std::int64_t before = installation.count("tblPrintingData");
        ASSERT_TRUE(installation.waitForCount("tblPrintingData", before + 60)) << "no load before crash " << crash;
        ASSERT_TRUE(service->signal(SIGKILL));
        ASSERT_EQ(service->wait(10s), 128 + SIGKILL);
        EXPECT_EQ(installation.rows("PRAGMA integrity_check"), std::vector<std::string>{"ok"}) << "crash " << crash;
        EXPECT_EQ(missingFrom(installation, seenSoFar()), std::vector<std::string>{}) << "crash " << crash;

        service.reset();
        service.emplace(installation);
        ASSERT_TRUE(service->waitReady()) << service->errText();
    }
    // Serving again: the agents' records keep arriving after the last restart.
    const std::int64_t afterRestart = installation.count("tblPrintingData");
    EXPECT_TRUE(installation.waitForCount("tblPrintingData", afterRestart + 60));

    stopAgents = true;
    for (std::thread &t : agents)
        t.join();
    reader.join();
    EXPECT_EQ(service->stop(), 0) << service->errText();
    EXPECT_EQ(installation.rows("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(missingFrom(installation, seenSoFar()), std::vector<std::string>{});
    EXPECT_EQ(installation.rows("SELECT COUNT(*) - COUNT(DISTINCT ComputerName || dbDateTime) FROM tblPrintingData"),
              std::vector<std::string>{"0"})
        << "a record was stored twice";
}

} // namespace
} // namespace hvn::e2e
