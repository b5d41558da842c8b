#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "Connection.h"
#include "Schema.h"

namespace hvn::bench {

int positiveArgument(const char *text, const char *what)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 10000000)
        throw std::invalid_argument(std::string(what) + " must be a positive whole number");
    return static_cast<int>(value);
}

void createDatabase(const std::filesystem::path &path)
{
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db::applyDurability(db);
    schema::createSchema(db);
}

double rawSqliteRate(const std::filesystem::path &database, int n, const std::function<PrintRow(int)> &row)
{
    using Clock = std::chrono::steady_clock;
    if (!std::filesystem::exists(database))
        createDatabase(database);
    SQLite::Database db(database.string(), SQLite::OPEN_READWRITE);
    db::applyDurability(db);
    SQLite::Statement begin(db, "BEGIN TRANSACTION");
    SQLite::Statement commit(db, "COMMIT TRANSACTION");
    SQLite::Statement insert(db, "INSERT INTO tblPrintingData"
                                 " (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper, SheetsOfPaper,"
                                 " dbDateTime) VALUES (?, ?, ?, ?, ?, ?, ?)");
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        const PrintRow r = row(i);
        begin.exec();
        begin.reset();
        insert.bind(1, r.userId);
        insert.bind(2, r.printerId);
        insert.bind(3, r.computerName);
        insert.bind(4, r.documentPages);
        insert.bind(5, r.sidesOfPaper);
        insert.bind(6, r.sheetsOfPaper);
        insert.bind(7, r.dbDateTime);
        insert.exec();
        insert.reset();
        commit.exec();
        commit.reset();
    }
    return n / std::chrono::duration<double>(Clock::now() - start).count();
}

void compareRates(int rounds, const Labels &labels, const std::function<Rates(int round)> &round)
{
    double bestMeasured = 0;
    double bestRaw = 0;
    std::vector<double> ratios;
    for (int r = 1; r <= rounds; ++r) {
        const Rates rates = round(r);
        std::printf("round %d: %s %.0f records/s, raw SQLite %.0f records/s\n", r, labels.perRound, rates.measured,
                    rates.raw);
        std::fflush(stdout);
        bestMeasured = std::max(bestMeasured, rates.measured);
        bestRaw = std::max(bestRaw, rates.raw);
        ratios.push_back(rates.measured / rates.raw);
    }
    // Durable commits wait for the disk, which other work on the machine shares: the ratio
    // within each round, where both sides met the same conditions, is steadier than the bests.
    std::sort(ratios.begin(), ratios.end());
    const std::size_t middle = ratios.size() / 2;
    std::printf("median of the rounds' ratios: %.3f\n",
                ratios.size() % 2 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2);
    std::printf("%s: %.0f records/s\n", labels.measured, bestMeasured);
    std::printf("%s: %.0f records/s\n", labels.raw, bestRaw);
    std::printf("ratio %.3f\n", bestMeasured / bestRaw);
}

} // namespace hvn::bench
