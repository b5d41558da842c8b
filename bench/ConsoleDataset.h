#pragma once

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
    // A level-2 section (the first under the first top section) and a group leader.
    static constexpr int kLevelTwoSection = 6;
    static constexpr int kGroupLeader = 1;
};

// The database file for `records` rows in `cacheDir`, made on the first call (one
// transaction, prepared statements) and reused afterwards. Its name carries the row count
// and a digest of the schema statements, so a changed schema makes a new file. Returns the
// path; `built` tells whether it was made now.
std::filesystem::path officeDatabase(const std::filesystem::path &cacheDir, int records, bool &built);

} // namespace hvn::bench
