#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace hvn::bench {

// A command-line count: a whole number from 1 to 10,000,000. Throws std::invalid_argument
// naming what it counts otherwise.
int positiveArgument(const char *text, const char *what);

// A new database file with the service's schema and durability (WAL, synchronous=FULL).
void createDatabase(const std::filesystem::path &path);

// One row of tblPrintingData as the service stores it.
struct PrintRow {
    int userId = 0;
    int printerId = 0;
    std::string computerName;
    int documentPages = 0;
    int sidesOfPaper = 0;
    int sheetsOfPaper = 0;
    std::string dbDateTime;
};

// Records per second through SQLite alone: creates the database file unless it exists, then
// stores n rows in it one transaction per row, row(i) giving the i-th. Only the inserting is
// timed.
double rawSqliteRate(const std::filesystem::path &database, int n, const std::function<PrintRow(int)> &row);

// The two rates of one round.
struct Rates {
    double measured = 0;
    double raw = 0;
};

// What the lines of a comparison call the measured path and the baseline.
struct Labels {
    const char *perRound; // "round R: <perRound> X records/s, raw SQLite Y records/s"
    const char *measured; // "<measured>: X records/s", the best round
    const char *raw;      // "<raw>: Y records/s", the best round
};

// Runs round(1) .. round(rounds), printing each round's figures, then the median of the
// rounds' ratios, the best rate of each side and, last, "ratio R" with R = best measured rate /
// best raw rate.
void compareRates(int rounds, const Labels &labels, const std::function<Rates(int round)> &round);

} // namespace hvn::bench
