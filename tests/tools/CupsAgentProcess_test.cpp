// The built hvnCupsAgent run as cupsd runs a backend (its environment and arguments, a test
// capture backend as the real one), and its delivery to a real hvnRetriever.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AgentSpool.h"
#include "CupsAgent.h"
#include "Delivery.h"
#include "CupsAgentSupport.h"
#include "TcpSocket.h"
#include "WaitUntil.h"

namespace hvn::cupsagent::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A fake cupsd environment: ServerBin with the capture backend, a request folder, a server
// address where no cupsd answers (the agent then falls back to the job's arguments).
class BackendRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(installation.dir() / "bin/backend");
        fs::copy_file(captureBackend(), installation.dir() / "bin/backend/capture");
        ::chmod((installation.dir() / "bin/backend/capture").c_str(), 0755);
        fs::create_directories(requests());
        fs::create_directories(captured());
        openToAll(captured());
    }

    fs::path requests() const { return installation.dir() / "requests"; }
    fs::path captured() const { return installation.dir() / "captured"; }
    std::string deviceUri(const std::string &query = "") const
    {
        return "halvane:capture:" + captured().string() + query;
    }

    std::vector<std::string> environment(const std::string &uri) const
    {
        return {"DEVICE_URI=" + uri, "PRINTER=Office-1", "CUPS_SERVERBIN=" + (installation.dir() / "bin").string(),
                "CUPS_REQUESTROOT=" + requests().string(),
                "CUPS_SERVERROOT=" + (installation.dir() / "noserverroot").string(),
                "CUPS_SERVER=127.0.0.1:" + std::to_string(hvn::test::freePort())};
    }

    platform::ChildProcess startJob(const std::string &job, const std::string &user, const std::string &options,
                                    const std::string &uri, std::optional<fs::path> file = {})
    {
        platform::SpawnOptions spawn;
        spawn.argv = {uri, job, user, "title", "1", options};
        if (file)
            spawn.argv.push_back(file->string());
        spawn.argv[0] = agentProgram().string(); // the program; cupsd would pass the URI here
        spawn.setEnv = installation.environment();
        const auto env = environment(uri);
        spawn.setEnv.insert(spawn.setEnv.end(), env.begin(), env.end());
        spawn.stderrPath = installation.dir() / ("job" + job + ".err");
        spawn.stdoutPath = installation.dir() / ("job" + job + ".out");
        return platform::ChildProcess::spawn(spawn);
    }

    int runJob(const std::string &job, const std::string &user, const std::string &options, const std::string &uri,
               std::optional<fs::path> file = {})
    {
        platform::ChildProcess child = startJob(job, user, options, uri, file);
        return child.wait(30s).value_or(-1);
    }

    std::string jobErrors(const std::string &job) const
    {
        return readText(installation.dir() / ("job" + job + ".err"));
    }

    AgentSpool spool() const { return AgentSpool(installation.spoolFolder()); }

    AgentInstallation installation;
};

TEST_F(BackendRun, WithoutArgumentsItPrintsItsDiscoveryLine)
{
    const e2e::RunResult result = installation.run({agentProgram().string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("network halvane \"Unknown\" ", 0), 0u) << result.out;
}

TEST_F(BackendRun, TheRealBackendPrintsTheJobAndItsExitStatusIsPassedOnUnchanged)
{
    installation.setServicePort(hvn::test::freePort()); // no service: records stay in the spool
    writePdf(requests() / "d00011-001", 3);
    for (const auto &[job, exitCode] : std::vector<std::pair<int, int>>{{11, 0}, {12, 1}, {13, 4}, {14, 6}}) {
        if (job != 11)
            fs::copy_file(requests() / "d00011-001", requests() / ("d000" + std::to_string(job) + "-001"));
        const std::string id = std::to_string(job);
        const fs::path document = requests() / ("d000" + id + "-001");
        EXPECT_EQ(runJob(id, "tanaka", "sides=two-sided-long-edge", deviceUri("?exit=" + std::to_string(exitCode)),
                         document),
                  exitCode);
        EXPECT_TRUE(readText(captured() / (id + ".data")) == readText(document)) << "the job's file did not arrive";
        const std::string args = readText(captured() / (id + ".args"));
        EXPECT_NE(args.find("capture:" + captured().string()), std::string::npos) << args;
        EXPECT_NE(args.find("DEVICE_URI=capture:"), std::string::npos) << args;
        if (::geteuid() == 0) {
            EXPECT_EQ(args.find("uid=0\n"), std::string::npos) << "the real backend kept root: " << args;
        }
    }
    // Only the job that printed is reported; cupsd was not there to ask, which is logged.
    const auto frames = spool().read().frames;
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_NE(jobErrors("11").find("WARNING: halvane: job 11: "), std::string::npos) << jobErrors("11");
}

TEST_F(BackendRun, ASigtermReachesTheRealBackendAndEndsTheAgentTheSameWay)
{
    writePdf(requests() / "d00021-001", 1);
    platform::ChildProcess agent = startJob("21", "tanaka", "", deviceUri("?sleep=20000"));
    ASSERT_TRUE(hvn::test::waitUntil([&] { return fs::exists(captured() / "21.data"); }, 10s));
    agent.signal(SIGTERM);
    EXPECT_EQ(agent.wait(10s), 128 + SIGTERM);
    EXPECT_TRUE(fs::exists(captured() / "21.term"));
    EXPECT_TRUE(spool().read().frames.empty());
}

TEST_F(BackendRun, AWrongDeviceUriOrMissingBackendFailsTheJobWithAnError)
{
    EXPECT_EQ(runJob("31", "tanaka", "", "capture:" + captured().string()), 1);
    EXPECT_NE(jobErrors("31").find("ERROR: halvane:"), std::string::npos);
    EXPECT_EQ(runJob("32", "tanaka", "", "halvane:nosuch://printer"), 1);
    EXPECT_NE(jobErrors("32").find("ERROR: halvane: cannot run"), std::string::npos) << jobErrors("32");
}

TEST_F(BackendRun, AMalformedSettingsFileNeverStopsPrinting)
{
    std::ofstream(installation.registry()) << "garbage\n";
    writePdf(requests() / "d00041-001", 2);
    EXPECT_EQ(runJob("41", "tanaka", "", deviceUri()), 0);
    EXPECT_TRUE(fs::exists(captured() / "41.data"));
    EXPECT_NE(jobErrors("41").find("WARNING: halvane: "), std::string::npos);
}

TEST_F(BackendRun, ACountedJobReachesTheServiceWithTheRightCounts)
{
    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    writePdf(requests() / "d00051-001", 5);
    EXPECT_EQ(runJob("51", "OFFICE\\tanaka", "number-up=2 sides=two-sided-long-edge page-ranges=1-3 copies=2",
                     deviceUri()),
              0);
    // The delivery runs on after the backend has ended.
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", 1, 20s)) << jobErrors("51");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(installation.printRows(), std::vector<std::string>{"tanaka|Office-1|" + std::string(host) + "|6|4|2"});
    EXPECT_TRUE(hvn::test::waitUntil([&] { return spool().read().frames.empty(); }, 10s));
}

TEST_F(BackendRun, AnUncountableJobPrintsIsJournalledAndListed)
{
    writePcl(requests() / "d00061-001", 2);
    EXPECT_EQ(runJob("61", "OFFICE\\tanaka", "", deviceUri()), 0);
    EXPECT_TRUE(fs::exists(captured() / "61.data"));
    EXPECT_NE(jobErrors("61").find("WARNING: halvane: job 61 of OFFICE\\tanaka printed but is not counted"),
              std::string::npos)
        << jobErrors("61");
    EXPECT_TRUE(spool().read().frames.empty());
    const e2e::RunResult listed = installation.run({agentProgram().string(), "--uncounted"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("job 61  user OFFICE\\tanaka  queue Office-1"), std::string::npos) << listed.out;
}

TEST_F(BackendRun, ConcurrentJobsWithTheServiceAwayLoseNothingAndFlushStoresEachOnce)
{
    installation.setServicePort(installation.port());
    std::vector<platform::ChildProcess> jobs;
    for (int job = 71; job < 77; ++job) {
        writePostScript(requests() / ("d000" + std::to_string(job) + "-001"), job - 70);
        jobs.push_back(startJob(std::to_string(job), "user" + std::to_string(job), "", deviceUri()));
    }
    for (platform::ChildProcess &job : jobs)
        EXPECT_EQ(job.wait(30s), 0);
    EXPECT_EQ(spool().read().frames.size(), 6u);

    const e2e::RunResult away = installation.run({agentProgram().string(), "--flush"});
    EXPECT_EQ(away.status, 1);
    EXPECT_NE(away.err.find("6 records remain"), std::string::npos) << away.err;

    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    const e2e::RunResult back = installation.run({agentProgram().string(), "--flush"});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(installation.run({agentProgram().string(), "--flush"}).status, 0);
    const auto rows = installation.printRows();
    ASSERT_EQ(rows.size(), 6u);
    int pages = 0;
    for (const std::string &row : rows)
        pages += std::stoi(row.substr(row.find('|', row.find('|', row.find('|') + 1) + 1) + 1));
    EXPECT_EQ(pages, 1 + 2 + 3 + 4 + 5 + 6);
}

TEST_F(BackendRun, FlushWithBadSettingsOrUsageExitsTwo)
{
    EXPECT_EQ(installation.run({agentProgram().string(), "--flush", "extra"}).status, 2);
    std::ofstream(installation.registry()) << "garbage\n";
    EXPECT_EQ(installation.run({agentProgram().string(), "--flush"}).status, 2);
    EXPECT_EQ(installation.run({agentProgram().string(), "--uncounted"}).status, 2);
}

// A peer that takes the frames and never closes: the service still storing them.
class SilentService {
public:
    SilentService() : m_listener(platform::listenTcp(hvn::test::freePort())), m_port(platform::localPort(m_listener.get())) {}
    std::uint16_t port() const { return m_port; }
    // Accepts one connection and reads until `bytes` have arrived; the connection stays open.
    bool receive(std::size_t bytes)
    {
        if (platform::waitReadable(m_listener.get(), 10s) != platform::WaitResult::Ready)
            return false;
        m_connection.reset(::accept(m_listener.get(), nullptr, nullptr));
        std::string received;
        while (received.size() < bytes) {
            const std::string more = hvn::test::receiveSome(m_connection.get(), 10s);
            if (more.empty())
                return false;
            received += more;
        }
        return true;
    }

private:
    platform::UniqueFd m_listener;
    std::uint16_t m_port;
    platform::UniqueFd m_connection;
};

TEST_F(BackendRun, AKillDuringDeliveryLosesNoRecordAndAShortConfirmWaitKeepsThem)
{
    const auto frame = *recordFrame(*DbDateTime::make(2026, 12, 10, 9, 0), "sato", "Office-1", "pc3",
                                    JobCounts{2, 2, 1});
    spool().append(frame);
    spool().append(frame);

    SilentService silent;
    installation.setServicePort(silent.port());
    platform::SpawnOptions options;
    options.argv = {agentProgram().string(), "--flush"};
    options.setEnv = installation.environment();
    platform::ChildProcess flusher = platform::ChildProcess::spawn(options);
    ASSERT_TRUE(silent.receive(2 * frame.size()));
    flusher.signal(SIGKILL);
    flusher.wait(10s);
    EXPECT_EQ(spool().read().frames.size(), 2u);

    DeliveryOptions quick;
    quick.confirmTimeout = 200ms;
    std::thread peer([&] { silent.receive(2 * frame.size()); });
    const DeliveryResult unconfirmed = deliverSpool(spool(), "127.0.0.1", silent.port(), quick);
    peer.join();
    EXPECT_EQ(unconfirmed.remaining, 2u);
    EXPECT_NE(unconfirmed.problem.find("did not confirm within 200 ms"), std::string::npos) << unconfirmed.problem;

    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    const DeliveryResult delivered = deliverSpool(spool(), "127.0.0.1", installation.port());
    EXPECT_EQ(delivered.delivered, 2u);
    EXPECT_EQ(delivered.remaining, 0u);
    EXPECT_EQ(installation.printRows(), (std::vector<std::string>{"sato|Office-1|pc3|2|2|1", "sato|Office-1|pc3|2|2|1"}));
}

} // namespace
} // namespace hvn::cupsagent::test

namespace hvn::cupsagent::test {
namespace {

TEST_F(BackendRun, ABackendsDeliveryLeavesTheRecordsToADelivererAlreadyAtWork)
{
    spool().append(*recordFrame(*DbDateTime::make(2026, 12, 10, 9, 0), "sato", "Office-1", "pc3", JobCounts{1, 1, 1}));
    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    {
        const platform::UniqueFd atWork = spool().lockForDelivery();
        const e2e::RunResult skipped = installation.run({agentProgram().string(), "--flush", "--no-wait"}, {}, 10s);
        EXPECT_EQ(skipped.status, 0);
        EXPECT_EQ(spool().read().frames.size(), 1u);
    }
    EXPECT_EQ(installation.run({agentProgram().string(), "--flush", "--no-wait"}).status, 0);
    EXPECT_TRUE(spool().read().frames.empty());
    EXPECT_EQ(installation.count("tblPrintingData"), 1);
}

} // namespace
} // namespace hvn::cupsagent::test
