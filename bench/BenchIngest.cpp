// Ingest throughput of the running service against SQLite alone.
//
// Starts the real hvnRetriever (from the folder of this executable) with a settings file and
// database of its own on free ports, sends N print records as one agent would, over one TCP
// connection, and times them until the last one is in the database, as a console taking the
// lock would see it. In the same run it stores N
// single-row transactions straight through SQLite into another file with the same schema and
// durability (WAL, synchronous=FULL). Rounds alternate between the two on the same file system;
// the best rate of each is compared. The last line is "ratio R" with R = service rate / raw rate.
//
// Usage: hvnBenchIngest [N] [rounds]   (defaults 5000 and 5)

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "AgentFrame.h"
#include "BenchSupport.h"
#include "ChildProcess.h"
#include "Dmregistry.h"
#include "Loopback.h"
#include "NotifyListener.h"
#include "RegistryFile.h"
#include "TcpSocket.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using namespace hvn;

// A realistic mix: 40 users, 8 printers, 30 computers, documents of 1 to 60 pages, some duplex.
std::string agentBytes(int n)
{
    static const char *const kFamily[] = {"山田", "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "中村"};
    static const char *const kGiven[] = {"太郎", "花子", "一郎", "美咲", "健"};
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(n) * agent::kFrameSize);
    for (int i = 0; i < n; ++i) {
        agent::PrintJob job;
        job.time = *DbDateTime::make(2005, 1 + i % 12, 1 + i % 28, 8 + i % 10, i % 60, (i / 60) % 60, i % 1000);
        job.user = std::string(kFamily[i % 8]) + kGiven[(i / 8) % 5];
        job.printer = "複合機-" + std::to_string(i % 8 + 1) + "F";
        job.computer = "PC" + std::to_string(i % 30 + 1);
        job.pages = 1 + (i * 7) % 60;
        job.sides = job.pages;
        job.sheets = i % 3 == 0 ? (job.pages + 1) / 2 : job.pages;
        bytes += agent::encodeFrame(job);
    }
    return bytes;
}

std::int64_t rowCount(SQLite::Database &db)
{
    SQLite::Statement count(db, "SELECT COUNT(*) FROM tblPrintingData");
    count.executeStep();
    return count.getColumn(0).getInt64();
}

// Records per second through the running service.
double serviceRate(const fs::path &program, const std::string &bytes, int n)
{
    test::TempDir dir("hvnBenchIngest");
    const fs::path database = dir.path() / "service.db";
    const fs::path registry = dir.path() / "registry.reg";
    bench::createDatabase(database);
    const std::uint16_t port = test::freePort();
    const std::uint16_t consolePort = test::freePort();
    platform::RegistryFile settings(registry);
    if (!settings.writeString(kProductKey, "DatabasePath", database.string()) ||
        !settings.writeDword(kProductKey, "PortNumber", port) ||
        !settings.writeDword(kProductKey, "PortNumberConsole", consolePort))
        throw std::runtime_error("cannot write the settings file " + registry.string());

    test::NotifyListener notify(dir.path() / "notify.sock");
    platform::SpawnOptions options;
    options.argv = {program.string()};
    options.setEnv = {"HALVANE_REGISTRY=" + registry.string(), notify.environment()};
    options.stderrPath = dir.path() / "service.err";
    platform::ChildProcess service = platform::ChildProcess::spawn(options);
    if (!notify.waitFor("READY=1", 20s))
        throw std::runtime_error("hvnRetriever did not become ready");

    SQLite::Database reader(database.string(), SQLite::OPEN_READONLY);
    reader.setBusyTimeout(10000);

    const auto started = Clock::now();
    {
        const platform::UniqueFd agent = platform::connectTcp("127.0.0.1", port);
        if (!platform::sendAll(agent.get(), bytes))
            throw std::system_error(errno, std::generic_category(), "send");
    }
    // Done when the console lock is granted with every record in the table: the lock waits for
    // the agent's worker, which holds the database mutex until its connection is stored. No
    // polling of the table while the service works.
    const auto deadline = started + 600s;
    for (;;) {
        const platform::UniqueFd console = platform::connectTcp("127.0.0.1", consolePort);
        char reply[16];
        if (!platform::sendAll(console.get(), "DBREAD\n") ||
            platform::waitReadable(console.get(), 600s) != platform::WaitResult::Ready ||
            platform::recvSome(console.get(), reply, sizeof reply) != 3)
            throw std::runtime_error("the service refused the console lock");
        const bool complete = rowCount(reader) >= n;
        platform::sendAll(console.get(), "END\n");
        if (complete)
            break;
        if (Clock::now() > deadline)
            throw std::runtime_error("the service stored fewer records than were sent");
        std::this_thread::sleep_for(1ms);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    service.signal(SIGTERM);
    if (service.wait(30s) != 0)
        throw std::runtime_error("hvnRetriever did not stop cleanly");
    return n / seconds;
}

// Records per second through SQLite alone: one transaction per row, same schema and durability.
double rawRate(int n)
{
    test::TempDir dir("hvnBenchIngest");
    return bench::rawSqliteRate(dir.path() / "raw.db", n, [](int i) {
        const int pages = 1 + (i * 7) % 60;
        return bench::PrintRow{
            1 + i % 40, 1 + i % 8, "PC" + std::to_string(i % 30 + 1), pages, pages, pages,
            DbDateTime::make(2005, 1 + i % 12, 1 + i % 28, 8 + i % 10, i % 60, (i / 60) % 60, i % 1000)->toText()};
    });
}

int positiveArgument(const char *text, const char *what)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 10000000)
        throw std::invalid_argument(std::string(what) + " must be a positive whole number");
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const int n = argc > 1 ? positiveArgument(argv[1], "N") : 5000;
        const int rounds = argc > 2 ? positiveArgument(argv[2], "rounds") : 5;
        const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "hvnRetriever";
        if (!fs::exists(program))
            throw std::runtime_error(program.string() + " is missing; build hvnRetriever first");

        const std::string bytes = agentBytes(n);
        const bench::Labels labels{"service", "service (hvnRetriever over TCP)",
                                   "raw SQLite (one transaction per row)"};
        bench::compareRates(rounds, labels, [&](int) {
            bench::Rates rates;
            rates.measured = serviceRate(program, bytes, n);
            rates.raw = rawRate(n);
            return rates;
        });
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hvnBenchIngest: %s\n", e.what());
        return 1;
    }
}
