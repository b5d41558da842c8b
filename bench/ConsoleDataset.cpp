#include "ConsoleDataset.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <SQLiteCpp/VariadicBind.h>

#include "Connection.h"
#include "Schema.h"

namespace hvn::bench {

namespace {

namespace fs = std::filesystem;

// A fixed pseudo-random sequence, so every build of the file holds the same office.
class Random {
public:
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t m_state = 20261209;
};

std::uint64_t schemaDigest()
{
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a
    for (const std::string &statement : schema::createStatements()) {
        for (const char c : statement)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::int64_t daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string dateTimeText(std::int64_t msSinceEpoch)
{
    const std::int64_t days = msSinceEpoch / 86400000;
    const std::int64_t ms = msSinceEpoch % 86400000;
    int year, month, day;
    civilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                  static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

// Binds the values to the statement's parameters in order and runs it once.
template <typename... Values>
void insertRow(SQLite::Statement &insert, const Values &...values)
{
    SQLite::bind(insert, values...);
    insert.exec();
    insert.reset();
}

void addSections(SQLite::Database &db, std::vector<int> &levelOf)
{
    using S = OfficeShape;
    SQLite::Statement insert(db, "INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel,"
                                 " SectionFullName) VALUES (?, ?, ?, ?, ?)");
    auto add = [&](int id, const std::string &name, int parent, int level, const std::string &fullName) {
        insertRow(insert, id, name, parent, level, fullName);
        if (static_cast<int>(levelOf.size()) <= id)
            levelOf.resize(static_cast<std::size_t>(id) + 1, 0);
        levelOf[static_cast<std::size_t>(id)] = level;
    };
    // Identifiers level by level, so a child's is always greater than its parent's, as the
    // section editor gives them.
    int next = 1;
    std::vector<std::pair<int, std::string>> tops, seconds;
    for (int t = 1; t <= S::kTopSections; ++t) {
        const std::string name = "本部" + std::to_string(t);
        tops.emplace_back(next, name);
        add(next++, name, 0, 1, name);
    }
    for (const auto &[topId, topName] : tops) {
        for (int s = 1; s <= S::kSecondPerTop; ++s) {
            const std::string name = topName.substr(topName.size() - 1) + "部" + std::to_string(s);
            seconds.emplace_back(next, topName + " " + name);
            add(next++, name, topId, 2, topName + " " + name);
        }
    }
    for (const auto &[secondId, secondFull] : seconds) {
        for (int g = 1; g <= S::kThirdPerSecond; ++g) {
            const std::string name = "課" + std::to_string(secondId) + "-" + std::to_string(g);
            add(next++, name, secondId, 3, secondFull + " " + name);
        }
    }
}

void addUsers(SQLite::Database &db, Random &random, int sections)
{
    using S = OfficeShape;
    SQLite::Statement insert(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName)"
                                 " VALUES (?, ?, ?, ?)");
    const int firstThird = 1 + S::kTopSections + S::kTopSections * S::kSecondPerTop;
    for (int id = 1; id <= S::kUsers; ++id) {
        char name[16];
        std::snprintf(name, sizeof name, "user%05d", id);
        int section = 0;
        if (id % 10 != 0) {
            // Most users sit in a level-3 section, some directly in a level-2 or top section.
            const int pick = random.below(20);
            if (pick == 0)
                section = 1 + random.below(S::kTopSections);
            else if (pick <= 2)
                section = 1 + S::kTopSections + random.below(S::kTopSections * S::kSecondPerTop);
            else
                section = firstThird + random.below(sections - firstThird + 1);
        }
        insertRow(insert, id, name, section, name);
    }
}

void addPrinters(SQLite::Database &db)
{
    using S = OfficeShape;
    SQLite::Statement insert(db, "INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID,"
                                 " GroupPrinterID, CommonPrinterName) VALUES (?, ?, ?, ?, ?)");
    for (int id = 1; id <= S::kPrinters; ++id) {
        char name[16];
        std::snprintf(name, sizeof name, "PRN%03d", id);
        int parent = 0, group = id;
        std::string common = name;
        if (id <= S::kGroupedPrinters) {
            const int leader = id % 2 == 1 ? id : id - 1;
            parent = id == leader ? 0 : leader;
            group = leader;
            common = "グループ" + std::to_string((leader + 1) / 2);
        }
        insertRow(insert, id, name, parent, group, common);
    }
}

void addRecords(SQLite::Database &db, Random &random, int records)
{
    using S = OfficeShape;
    SQLite::Statement insert(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages,"
                                 " SidesOfPaper, SheetsOfPaper, dbDateTime) VALUES (?, ?, ?, ?, ?, ?, ?)");
    std::vector<std::string> computers;
    for (int c = 1; c <= S::kComputers; ++c) {
        char name[16];
        std::snprintf(name, sizeof name, "PC%04d", c);
        computers.emplace_back(name);
    }
    const std::int64_t first = daysFromCivil(S::kFirstYear, S::kFirstMonth, 1) * 86400000;
    const std::int64_t last = daysFromCivil(S::kFirstYear + S::kYears, S::kFirstMonth, 1) * 86400000;
    const std::int64_t step = (last - first) / records;
    constexpr int kRowsPerTransaction = 1000000;
    std::optional<SQLite::Transaction> tx;
    for (int i = 0; i < records; ++i) {
        if (i % kRowsPerTransaction == 0) {
            if (tx)
                tx->commit();
            tx.emplace(db);
        }
        const int user = 1 + random.below(S::kUsers);
        // Users mostly print on their own floor's printer from their own computer.
        const int printer = random.below(5) == 0 ? 1 + random.below(S::kPrinters) : 1 + user % S::kPrinters;
        const int computer = random.below(10) == 0 ? random.below(S::kComputers) : user % S::kComputers;
        const int pages = random.below(1000) == 0 ? 0 : 1 + random.below(random.below(8) == 0 ? 200 : 12);
        const int sheets = random.below(2) == 0 ? (pages + 1) / 2 : pages;
        const std::int64_t at = first + i * step + random.below(static_cast<int>(std::min<std::int64_t>(step, 1 << 30)));
        insertRow(insert, user, printer, computers[static_cast<std::size_t>(computer)], pages, pages, sheets,
                  dateTimeText(at));
    }
    if (tx)
        tx->commit();
}

} // namespace

fs::path officeDatabase(const fs::path &cacheDir, int records, bool &built)
{
    char name[64];
    std::snprintf(name, sizeof name, "office-v2-%d-%016llx.db", records,
                  static_cast<unsigned long long>(schemaDigest()));
    const fs::path path = cacheDir / name;
    built = false;
    std::error_code ec;
    if (fs::is_regular_file(path, ec))
        return path;
    fs::create_directories(cacheDir);
    const fs::path partial = cacheDir / (std::string(name) + ".partial");
    fs::remove(partial, ec);
    {
        // A file that is renamed into place only when complete needs no journal: the rows go in
        // first, in large transactions, then the indexes and totals are built in one pass each.
        SQLite::Database db(partial.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("PRAGMA journal_mode=OFF");
        db.exec("PRAGMA synchronous=OFF");
        db.exec("PRAGMA cache_size=-1048576");
        db.exec("PRAGMA temp_store=FILE");
        schema::createTables(db);
        Random random;
        {
            SQLite::Transaction tx(db);
            std::vector<int> levels;
            addSections(db, levels);
            addUsers(db, random, static_cast<int>(levels.size()) - 1);
            addPrinters(db);
            tx.commit();
        }
        addRecords(db, random, records);
        std::printf("office: %d records stored\n", records);
        std::fflush(stdout);
        schema::upgradeSchema(db, [](const std::string &step) {
            std::printf("office: %s\n", step.c_str());
            std::fflush(stdout);
        });
        db.exec("PRAGMA journal_mode=DELETE");
        db::applyDurability(db);
    }
    fs::rename(partial, path);
    built = true;
    return path;
}

TotalsSize totalsSize(const fs::path &database)
{
    SQLite::Database db(database.string(), SQLite::OPEN_READONLY);
    TotalsSize size;
    size.fileBytes = db.execAndGet("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size").getInt64();
    size.totalsBytes = db.execAndGet("SELECT COALESCE(SUM(pgsize), 0) FROM dbstat WHERE name IN"
                                     " (SELECT name FROM sqlite_master WHERE tbl_name IN"
                                     "  ('tblUserMonth', 'tblPrinterMonth', 'tblComputerMonth', 'tblPrintingDataOdd'))")
                           .getInt64();
    return size;
}

} // namespace hvn::bench
