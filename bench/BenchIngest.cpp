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
// Usage: hvnBenchIngest [N] [rounds]   (defaults 5000 and 3)

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "AgentFrame.h"
#include "ChildProcess.h"
#include "Connection.h"
#include "Dmregistry.h"
#include "RegistryFile.h"
#include "Schema.h"
#include "TcpSocket.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using namespace hvn;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "hvnBenchIngest-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

std::uint16_t freePort()
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    return platform::localPort(fd.get());
}

void createDatabase(const fs::path &path)
{
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db::applyDurability(db);
    schema::createSchema(db);
}

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

// Waits for "READY=1" on the notification socket.
bool waitReady(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || platform::waitReadable(fd, left) != platform::WaitResult::Ready)
            return false;
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0 && std::string("\n" + std::string(buffer, static_cast<std::size_t>(n)) + "\n").find("\nREADY=1\n") !=
                         std::string::npos)
            return true;
    }
}

// Records per second through the running service.
double serviceRate(const fs::path &program, const std::string &bytes, int n)
{
    TempDir dir;
    const fs::path database = dir.path() / "service.db";
    const fs::path registry = dir.path() / "registry.reg";
    createDatabase(database);
    const std::uint16_t port = freePort();
    const std::uint16_t consolePort = freePort();
    platform::RegistryFile settings(registry);
    if (!settings.writeString(kProductKey, "DatabasePath", database.string()) ||
        !settings.writeDword(kProductKey, "PortNumber", port) ||
        !settings.writeDword(kProductKey, "PortNumberConsole", consolePort))
        throw std::runtime_error("cannot write the settings file " + registry.string());

    const fs::path notifyPath = dir.path() / "notify.sock";
    platform::UniqueFd notify(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    notifyPath.string().copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (::bind(notify.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind " + notifyPath.string());

    platform::SpawnOptions options;
    options.argv = {program.string()};
    options.setEnv = {"HALVANE_REGISTRY=" + registry.string(), "NOTIFY_SOCKET=" + notifyPath.string()};
    options.stderrPath = dir.path() / "service.err";
    platform::ChildProcess service = platform::ChildProcess::spawn(options);
    if (!waitReady(notify.get(), 20s))
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
    TempDir dir;
    const fs::path database = dir.path() / "raw.db";
    createDatabase(database);
    SQLite::Database db(database.string(), SQLite::OPEN_READWRITE);
    db::applyDurability(db);
    SQLite::Statement begin(db, "BEGIN TRANSACTION");
    SQLite::Statement commit(db, "COMMIT TRANSACTION");
    SQLite::Statement insert(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages,"
                                 " SidesOfPaper, SheetsOfPaper, dbDateTime) VALUES (?, ?, ?, ?, ?, ?, ?)");
    const auto started = Clock::now();
    for (int i = 0; i < n; ++i) {
        begin.exec();
        begin.reset();
        insert.bind(1, 1 + i % 40);
        insert.bind(2, 1 + i % 8);
        insert.bind(3, "PC" + std::to_string(i % 30 + 1));
        insert.bind(4, 1 + (i * 7) % 60);
        insert.bind(5, 1 + (i * 7) % 60);
        insert.bind(6, 1 + (i * 7) % 60);
        insert.bind(7, DbDateTime::make(2005, 1 + i % 12, 1 + i % 28, 8 + i % 10, i % 60, (i / 60) % 60, i % 1000)
                           ->toText());
        insert.exec();
        insert.reset();
        commit.exec();
        commit.reset();
    }
    return n / std::chrono::duration<double>(Clock::now() - started).count();
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
        const int rounds = argc > 2 ? positiveArgument(argv[2], "rounds") : 3;
        const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "hvnRetriever";
        if (!fs::exists(program))
            throw std::runtime_error(program.string() + " is missing; build hvnRetriever first");

        const std::string bytes = agentBytes(n);
        double bestService = 0;
        double bestRaw = 0;
        for (int round = 0; round < rounds; ++round) {
            const double service = serviceRate(program, bytes, n);
            const double raw = rawRate(n);
            std::printf("round %d: service %.0f records/s, raw SQLite %.0f records/s\n", round + 1, service, raw);
            bestService = std::max(bestService, service);
            bestRaw = std::max(bestRaw, raw);
        }
        std::printf("service (hvnRetriever over TCP): %.0f records/s\n", bestService);
        std::printf("raw SQLite (one transaction per row): %.0f records/s\n", bestRaw);
        std::printf("ratio %.3f\n", bestService / bestRaw);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hvnBenchIngest: %s\n", e.what());
        return 1;
    }
}
