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
// With --queue N it measures the hand-over of the database mutex instead: while a console
// holds the lock, N one-record agent connections queue up; the lock is given back and the
// time until every record is stored gives the drain rate, beside the rate with 200 waiting
// measured in the same run. Then N queue up again and the service is stopped: the stop time,
// and whether a restart on the same files stores all N (none lost at the stop). Each figure is
// the median over the rounds, which interleave the measurements. The last line is "ratio R"
// with R = median drain rate with N waiting / median drain rate with 200 waiting. Loopback
// only; N is at most 5000 and every wait is bounded.
//
// With a third argument R, both sides store into one working copy of the console benchmark's
// office database of R print records (ConsoleDataset.h, built once under the build folder and
// copied once per run): the rate of a database that has grown to R records, its indexes and
// month totals, and the file's growth for those totals is printed first. Without it, a first
// phase sets bare inserts on empty files with and without the totals' triggers side by side.
//
// Usage: hvnBenchIngest [N] [rounds] [R]        (defaults 5000, 5 and an empty database)
//        hvnBenchIngest --queue N [rounds]      (rounds default 5)

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "AgentFrame.h"
#include "BenchSupport.h"
#include "ConsoleDataset.h"
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

// The records stored so far: the table only grows while a benchmark runs, so its last rowid
// counts them, and finding it costs one step down the table however large the table is. (A
// count of the rows would read the whole table under the console lock at every poll, and at
// millions of records the polls themselves would hold the service up.)
std::int64_t rowCount(SQLite::Database &db)
{
    SQLite::Statement count(db, "SELECT COALESCE(MAX(rowid), 0) FROM tblPrintingData");
    count.executeStep();
    return count.getColumn(0).getInt64();
}

// The real hvnRetriever on a database and settings file of its own, on free loopback ports.
// It can be stopped and started again on the same files.
class BenchService {
public:
    // Stores into `database` when given, else into a new empty database of its own.
    explicit BenchService(fs::path program, const fs::path &database = {})
        : m_program(std::move(program)),
          m_dir("hvnBenchIngest"),
          m_database(database.empty() ? m_dir.path() / "service.db" : database),
          m_port(test::freePort()),
          m_consolePort(test::freePort())
    {
        if (database.empty())
            bench::createDatabase(m_database);
        const fs::path registry = m_dir.path() / "registry.reg";
        platform::RegistryFile settings(registry);
        if (!settings.writeString(kProductKey, "DatabasePath", m_database.string()) ||
            !settings.writeDword(kProductKey, "PortNumber", m_port) ||
            !settings.writeDword(kProductKey, "PortNumberConsole", m_consolePort))
            throw std::runtime_error("cannot write the settings file " + registry.string());
        m_environment = {"HALVANE_REGISTRY=" + registry.string()};
    }

    const fs::path &database() const { return m_database; }
    std::uint16_t port() const { return m_port; }
    std::uint16_t consolePort() const { return m_consolePort; }
    pid_t pid() const { return m_process.pid(); }

    void start()
    {
        test::NotifyListener notify(m_dir.path() / "notify.sock");
        platform::SpawnOptions options;
        options.argv = {m_program.string()};
        options.setEnv = m_environment;
        options.setEnv.push_back(notify.environment());
        options.stderrPath = m_dir.path() / "service.err";
        m_process = platform::ChildProcess::spawn(options);
        if (!notify.waitFor("READY=1", 20s))
            throw std::runtime_error("hvnRetriever did not become ready");
    }

    // SIGTERM; the seconds until the process has ended. A service still running after 30 s
    // is killed and reported as such.
    double stop()
    {
        const auto started = Clock::now();
        m_process.signal(SIGTERM);
        const std::optional<int> status = m_process.wait(30s);
        if (!status) {
            m_process.signal(SIGKILL);
            m_process.wait(-1ms);
            throw std::runtime_error("hvnRetriever did not stop within 30 s");
        }
        if (*status != 0)
            throw std::runtime_error("hvnRetriever did not stop cleanly");
        return std::chrono::duration<double>(Clock::now() - started).count();
    }

private:
    fs::path m_program;
    test::TempDir m_dir;
    fs::path m_database;
    std::uint16_t m_port;
    std::uint16_t m_consolePort;
    std::vector<std::string> m_environment;
    platform::ChildProcess m_process;
};

// A console connection that holds the database lock from its grant to release() or its end.
class ConsoleLock {
public:
    explicit ConsoleLock(std::uint16_t port) : m_fd(platform::connectTcp("127.0.0.1", port))
    {
        char reply[16];
        if (!platform::sendAll(m_fd.get(), "DBREAD\n") ||
            platform::waitReadable(m_fd.get(), 600s) != platform::WaitResult::Ready ||
            platform::recvSome(m_fd.get(), reply, sizeof reply) != 3)
            throw std::runtime_error("the service refused the console lock");
    }
    ~ConsoleLock() { release(); }
    ConsoleLock(const ConsoleLock &) = delete;
    ConsoleLock &operator=(const ConsoleLock &) = delete;

    void release()
    {
        if (m_fd)
            platform::sendAll(m_fd.get(), "END\n");
        m_fd.reset();
    }

private:
    platform::UniqueFd m_fd;
};

// Waits until n rows are in the table, taking the console lock as the console would: a lock
// request queues behind every agent that waits for the mutex, so it is granted once they
// have stored their records. No polling of the table while the service works.
void waitForRows(const BenchService &service, std::int64_t n, std::chrono::seconds limit)
{
    SQLite::Database reader(service.database().string(), SQLite::OPEN_READONLY);
    reader.setBusyTimeout(10000);
    const auto deadline = Clock::now() + limit;
    for (;;) {
        {
            ConsoleLock lock(service.consolePort());
            if (rowCount(reader) >= n)
                return;
        }
        if (Clock::now() > deadline)
            throw std::runtime_error("the service stored fewer records than were sent");
        std::this_thread::sleep_for(1ms);
    }
}

// Records per second through the running service.
double serviceRate(const fs::path &program, const std::string &bytes, int n, const fs::path &database)
{
    BenchService service(program, database);
    service.start();
    std::int64_t before = 0;
    {
        SQLite::Database reader(service.database().string(), SQLite::OPEN_READONLY);
        before = rowCount(reader);
    }
    const auto started = Clock::now();
    {
        const platform::UniqueFd agent = platform::connectTcp("127.0.0.1", service.port());
        if (!platform::sendAll(agent.get(), bytes))
            throw std::system_error(errno, std::generic_category(), "send");
    }
    waitForRows(service, before + n, 600s);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    service.stop();
    return n / seconds;
}

int threadsOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::atoi(line.c_str() + 8);
    return 0;
}

// n one-record agent connections, opened while the console holds the lock, so that each
// worker reads its record and waits for the mutex. Returns once the service's thread count
// has stopped growing (a service that caps its workers leaves the rest in the kernel's
// queue, which is waiting too), at most after 30 s.
std::vector<platform::UniqueFd> queueAgents(const BenchService &service, const std::vector<std::string> &frames)
{
    std::vector<platform::UniqueFd> agents;
    agents.reserve(frames.size());
    const int before = threadsOf(service.pid());
    for (const std::string &frame : frames) {
        agents.push_back(platform::connectTcp("127.0.0.1", service.port()));
        if (!platform::sendAll(agents.back().get(), frame))
            throw std::system_error(errno, std::generic_category(), "send");
        ::shutdown(agents.back().get(), SHUT_WR);
    }
    const auto deadline = Clock::now() + 30s;
    int seen = threadsOf(service.pid());
    auto steadySince = Clock::now();
    while (Clock::now() < deadline && seen - before < static_cast<int>(frames.size())) {
        std::this_thread::sleep_for(20ms);
        const int now = threadsOf(service.pid());
        if (now != seen) {
            seen = now;
            steadySince = Clock::now();
        } else if (Clock::now() - steadySince > 500ms) {
            break;
        }
    }
    std::this_thread::sleep_for(100ms); // the last workers read their records
    return agents;
}

std::vector<std::string> oneRecordEach(const std::string &bytes, int n)
{
    std::vector<std::string> frames;
    for (int i = 0; i < n; ++i)
        frames.push_back(bytes.substr(static_cast<std::size_t>(i) * agent::kFrameSize, agent::kFrameSize));
    return frames;
}

// Records per second while a queue of n one-record connections drains.
double drainRate(const fs::path &program, const std::string &bytes, int n)
{
    BenchService service(program);
    service.start();
    auto lock = std::make_unique<ConsoleLock>(service.consolePort());
    const std::vector<platform::UniqueFd> agents = queueAgents(service, oneRecordEach(bytes, n));
    const auto started = Clock::now();
    lock.reset();
    waitForRows(service, n, 120s);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    service.stop();
    return n / seconds;
}

struct StopFigures {
    double seconds = 0;
    std::int64_t storedAfterRestart = 0;
};

// Stops the service with n one-record connections waiting behind a console lock, then starts
// it again on the same files and counts what it stores.
StopFigures stopWithQueue(const fs::path &program, const std::string &bytes, int n)
{
    BenchService service(program);
    service.start();
    StopFigures figures;
    {
        ConsoleLock lock(service.consolePort());
        const std::vector<platform::UniqueFd> agents = queueAgents(service, oneRecordEach(bytes, n));
        try {
            figures.seconds = service.stop();
        } catch (const std::runtime_error &) {
            figures.seconds = -1; // still running after 30 s, then killed
        }
    }
    service.start();
    try {
        waitForRows(service, n, 60s);
    } catch (const std::runtime_error &) {
    }
    SQLite::Database reader(service.database().string(), SQLite::OPEN_READONLY);
    figures.storedAfterRestart = rowCount(reader);
    service.stop();
    return figures;
}

void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::string secondsText(double seconds)
{
    if (seconds < 0)
        return "more than 30 s (killed)";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Each round measures the drain with 200 waiting, the drain with n waiting (in turns, which
// goes first) and the stop with n waiting; the figures are the medians over the rounds, so
// that a round disturbed by other work on the machine does not decide them.
void runQueueBenchmark(const fs::path &program, int n, int rounds)
{
    constexpr int kBaseline = 200;
    raiseDescriptorLimit();
    const std::string bytes = agentBytes(std::max(n, kBaseline));
    std::vector<double> baselines, queues, stops;
    double slowestStop = 0;
    std::int64_t leastStored = n;
    for (int r = 1; r <= rounds; ++r) {
        double baseline = 0;
        double queue = 0;
        if (r % 2) {
            baseline = drainRate(program, bytes, kBaseline);
            queue = drainRate(program, bytes, n);
        } else {
            queue = drainRate(program, bytes, n);
            baseline = drainRate(program, bytes, kBaseline);
        }
        const StopFigures stop = stopWithQueue(program, bytes, n);
        std::printf("round %d: drain with %d waiting %.0f records/s, with %d waiting %.0f records/s (%.2f x);"
                    " stop with %d waiting %s, %lld of %d stored after the restart\n",
                    r, kBaseline, baseline, n, queue, queue / baseline, n, secondsText(stop.seconds).c_str(),
                    static_cast<long long>(stop.storedAfterRestart), n);
        std::fflush(stdout);
        baselines.push_back(baseline);
        queues.push_back(queue);
        // A stop that did not end within 30 s counts as slower than any that did.
        stops.push_back(stop.seconds < 0 ? 1e9 : stop.seconds);
        slowestStop = stop.seconds < 0 || slowestStop < 0 ? -1 : std::max(slowestStop, stop.seconds);
        leastStored = std::min(leastStored, stop.storedAfterRestart);
    }
    const double baseline = median(baselines);
    const double queue = median(queues);
    const double stop = median(stops);
    std::printf("drain with %d waiting: %.0f records/s (median of %d rounds)\n", kBaseline, baseline, rounds);
    std::printf("drain with %d waiting: %.0f records/s (median of %d rounds; %.2f x the rate with %d waiting)\n", n,
                queue, rounds, queue / baseline, kBaseline);
    std::printf("stop with %d waiting: %s (median of %d rounds), slowest %s; fewest stored after a restart: %lld of"
                " %d\n",
                n, secondsText(stop >= 1e9 ? -1 : stop).c_str(), rounds, secondsText(slowestStop).c_str(),
                static_cast<long long>(leastStored), n);
    std::printf("ratio %.3f\n", queue / baseline);
}

// Records per second through SQLite alone: one transaction per row, same schema and durability,
// into `database` when given, else into a new empty database.
double rawRate(int n, const fs::path &database)
{
    test::TempDir dir("hvnBenchIngest");
    return bench::rawSqliteRate(database.empty() ? dir.path() / "raw.db" : database, n, [](int i) {
        const int pages = 1 + (i * 7) % 60;
        return bench::PrintRow{
            1 + i % 40, 1 + i % 8, "PC" + std::to_string(i % 30 + 1), pages, pages, pages,
            DbDateTime::make(2005, 1 + i % 12, 1 + i % 28, 8 + i % 10, i % 60, (i / 60) % 60, i % 1000)->toText()};
    });
}

// The same on a file whose month totals and their triggers have been dropped.
double rawRateWithoutTotals(int n)
{
    test::TempDir dir("hvnBenchIngest");
    const fs::path database = dir.path() / "bare.db";
    bench::createDatabase(database);
    {
        SQLite::Database db(database.string(), SQLite::OPEN_READWRITE);
        std::vector<std::string> triggers;
        SQLite::Statement list(db, "SELECT name FROM sqlite_master WHERE type = 'trigger'");
        while (list.executeStep())
            triggers.push_back(list.getColumn(0).getString());
        for (const std::string &trigger : triggers)
            db.exec("DROP TRIGGER " + trigger);
    }
    return rawRate(n, database);
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "hvnRetriever";
        if (!fs::exists(program))
            throw std::runtime_error(program.string() + " is missing; build hvnRetriever first");
        if (argc > 1 && std::string(argv[1]) == "--queue") {
            if (argc < 3)
                throw std::invalid_argument("--queue needs the number of waiting connections");
            const int n = bench::positiveArgument(argv[2], "N");
            if (n > 5000)
                throw std::invalid_argument("N must be at most 5000 with --queue");
            runQueueBenchmark(program, n, argc > 3 ? bench::positiveArgument(argv[3], "rounds") : 5);
            return 0;
        }
        const int n = argc > 1 ? bench::positiveArgument(argv[1], "N") : 5000;
        const int rounds = argc > 2 ? bench::positiveArgument(argv[2], "rounds") : 5;
        const std::optional<test::TempDir> work =
            argc > 3 ? std::optional<test::TempDir>(std::in_place, "hvnBenchIngest") : std::nullopt;
        fs::path database;
        if (work) {
            const int records = bench::positiveArgument(argv[3], "R");
            bool built = false;
            const auto buildStart = Clock::now();
            const fs::path office = bench::officeDatabase(HVN_BENCH_CACHE_DIR, records, built);
            std::printf("office: %s (%s in %.1f s)\n", office.c_str(), built ? "built" : "cached",
                        std::chrono::duration<double>(Clock::now() - buildStart).count());
            const bench::TotalsSize size = bench::totalsSize(office);
            std::printf("office: %.1f MB in all, %.1f MB of it the month totals (%.1f%%)\n", size.fileBytes / 1e6,
                        size.totalsBytes / 1e6, 100.0 * static_cast<double>(size.totalsBytes) /
                                                     static_cast<double>(size.fileBytes));
            std::fflush(stdout);
            database = work->path() / "office.db";
            fs::copy_file(office, database);
        }

        if (!work) {
            // What the triggers that keep the month totals cost a bare insert, on empty files.
            double with = 0, without = 0;
            for (int r = 1; r <= rounds; ++r) {
                with = std::max(with, rawRate(n, {}));
                without = std::max(without, rawRateWithoutTotals(n));
            }
            std::printf("raw SQLite with the month totals' triggers: %.0f records/s, without: %.0f records/s"
                        " (%.3f)\n",
                        with, without, with / without);
            std::fflush(stdout);
        }

        const std::string bytes = agentBytes(n);
        const bench::Labels labels{"service", "service (hvnRetriever over TCP)",
                                   "raw SQLite (one transaction per row)"};
        bench::compareRates(rounds, labels, [&](int) {
            bench::Rates rates;
            rates.measured = serviceRate(program, bytes, n, database);
            rates.raw = rawRate(n, database);
            return rates;
        });
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hvnBenchIngest: %s\n", e.what());
        return 1;
    }
}
