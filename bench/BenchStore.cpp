// Throughput of the print-record path against SQLite alone.
//
// Stores N framed records through a real TNewServerThread over a loopback connection into a
// database file, and N single-row transactions straight through SQLite into another file with
// the same schema and durability (WAL, synchronous=FULL). Both run in a temporary folder on the
// same file system, in alternating order for a few rounds; the best rate of each is compared. The last
// line is "ratio R" with R = worker rate / raw rate.
//
// Usage: hvnBenchStore [N] [rounds]   (defaults 2000 and 5)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "DatabaseRows.h"
#include "Dmregistry.h"
#include "Newserverthread.h"
#include "RecordKeeper.h"
#include "RecordBody.h"
#include "ServerSocket.h"
#include "TcpSocket.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace hvn;

void put(std::string &body, retriever::record::Field field, const std::string &value)
{
    std::string padded = value;
    padded.resize(field.width, ' ');
    body.replace(field.position - 1, field.width, padded);
}

// One job; the worker gets it as a frame, the raw side as the row the worker would store.
struct Job {
    int user;    // 0..19
    int printer; // 0..4
    std::string date; // body positions 1 to 18
    std::string dbDateTime;
};

// Jobs of 20 users on 5 printers, as a small office sends them.
std::vector<Job> makeJobs(int n)
{
    std::vector<Job> jobs;
    jobs.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int month = 1 + i % 12, day = 1 + i % 28, hour = i % 24, minute = i % 60,
                  second = (i / 60) % 60, msec = i % 1000;
        char date[32];
        char text[32];
        std::snprintf(date, sizeof date, "2024%02d%02d%02d%02d%02d%04d", month, day, hour, minute, second, msec);
        std::snprintf(text, sizeof text, "2024-%02d-%02d %02d:%02d:%02d.%03d", month, day, hour, minute, second,
                      msec);
        jobs.push_back({i % 20, i % 5, date, text});
    }
    return jobs;
}

std::string makeFrames(const std::vector<Job> &jobs)
{
    using namespace retriever::record;
    std::string stream;
    stream.reserve(jobs.size() * (kBodySize + 2));
    for (const Job &job : jobs) {
        std::string body(kBodySize, ' ');
        body.replace(0, job.date.size(), job.date);
        put(body, kDocumentPages, "  12");
        put(body, kSidesOfPaper, "  12");
        put(body, kSheetsOfPaper, "   6");
        put(body, kPrinterName, "Printer" + std::to_string(job.printer));
        put(body, kUserName, "user" + std::to_string(job.user));
        put(body, kComputerName, "PC" + std::to_string(job.user));
        stream += '\x02';
        stream += body;
        stream += '\x03';
    }
    return stream;
}

double workerRate(const fs::path &folder, int n, const std::string &frames)
{
    const fs::path database = folder / "worker.db";
    const fs::path settings = folder / "worker.reg";
    bench::createDatabase(database);
    TdmRegistryCtl registry(settings);
    if (!registry.SetRegistryString("DatabasePath", database.string()))
        throw std::runtime_error("cannot write " + settings.string());

    const auto keeper = std::make_shared<retriever::RecordKeeper>(registry);
    keeper->start();
    retriever::TServerSocket server([&] { return std::make_unique<retriever::TNewServerThread>(keeper); }, 0);
    server.Open();

    const auto start = Clock::now();
    platform::UniqueFd agent = platform::connectTcp("127.0.0.1", server.LocalPort());
    if (!platform::sendAll(agent.get(), frames))
        throw std::runtime_error("sending the frames failed");
    ::shutdown(agent.get(), SHUT_WR);
    // The worker closes the connection after the last record has been committed.
    char byte;
    while (platform::recvSome(agent.get(), &byte, 1) > 0) {
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    server.Close();

    const std::int64_t stored = test::countRows(database, "tblPrintingData");
    if (stored != n)
        throw std::runtime_error("the worker stored " + std::to_string(stored) + " rows of " + std::to_string(n));
    return n / seconds;
}

double rawRate(const fs::path &folder, const std::vector<Job> &jobs)
{
    return bench::rawSqliteRate(folder / "raw.db", static_cast<int>(jobs.size()), [&](int i) {
        const Job &job = jobs[static_cast<std::size_t>(i)];
        return bench::PrintRow{1 + job.user, 1 + job.printer, "PC" + std::to_string(job.user), 12, 12, 6,
                               job.dbDateTime};
    });
}

} // namespace

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (n <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: hvnBenchStore [records > 0] [rounds > 0]\n");
        return 2;
    }
    try {
        const std::vector<Job> jobs = makeJobs(n);
        const std::string frames = makeFrames(jobs);
        const bench::Labels labels{"worker", "worker path (TNewServerThread over loopback)",
                                   "raw SQLite single-row transactions"};
        bench::compareRates(rounds, labels, [&](int round) {
            test::TempDir folder("hvnBenchStore");
            // Each phase starts with nothing left to write back, and the order alternates, so
            // that neither side pays for the other's disk traffic.
            bench::Rates rates;
            for (int phase = 0; phase < 2; ++phase) {
                ::sync();
                if ((phase + round) % 2 == 0)
                    rates.raw = rawRate(folder.path(), jobs);
                else
                    rates.measured = workerRate(folder.path(), n, frames);
            }
            return rates;
        });
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hvnBenchStore: %s\n", e.what());
        return 1;
    }
}
