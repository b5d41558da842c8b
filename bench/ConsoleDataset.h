#pragma once

#include <cstdint>
#include <filesystem>

namespace hvn::bench {

// The office the console benchmark works on: a database made through the real schema with
// `records` print rows spread in time order over the six years before December 2026, 10,000 users in a three-level
// tree of 125 sections (5 > 20 > 100; every tenth user in no section), 200 printers of which
// the first 40 form twenty two-printer groups, and 2,000 computers.
struct OfficeShape {
    static constexpr int kUsers = 10000;
    static constexpr int kPrinters = 200;
    static constexpr int kGroupedPrinters = 40;
    static constexpr int kComputers = 2000;
    static constexpr int kTopSections = 5;
    static constexpr int kSecondPerTop = 4;
    static constexpr int kThirdPerSecond = 5;
    // December 2020 up to, not including, December 2026.
    static constexpr int kFirstYear = 2020;
    static constexpr int kFirstMonth = 12;
    static constexpr int kYears = 6;
    // A top section, a level-2 section (the first under the first top section) and a group
    // leader.
    static constexpr int kTopSection = 1;
    static constexpr int kLevelTwoSection = 6;
    static constexpr int kGroupLeader = 1;
};

// The database file for `records` rows in `cacheDir`, made on the first call (the rows through
// prepared statements in large transactions without a journal, then the indexes and the month
// totals in one pass each, as hvnSetup brings a database up to date) and reused afterwards. Its name carries the row count
// and a digest of the schema statements, so a changed schema makes a new file. Returns the
// path; `built` tells whether it was made now.
std::filesystem::path officeDatabase(const std::filesystem::path &cacheDir, int records, bool &built);

// The size of a database file and of the month totals in it (their tables and indexes).
struct TotalsSize {
    std::int64_t fileBytes = 0;
    std::int64_t totalsBytes = 0;
};
TotalsSize totalsSize(const std::filesystem::path &database);

} // namespace hvn::bench
