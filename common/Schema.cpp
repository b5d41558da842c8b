#include "Schema.h"

#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

namespace hvn::schema {

namespace {

const char *const kIndexStatements[] = {
    // Name lookups of the service, and the joins on identifiers.
    "CREATE INDEX IF NOT EXISTS idxUserInfoUserName ON tblUserInfo (UserName)",
    "CREATE INDEX IF NOT EXISTS idxUserInfoUserID ON tblUserInfo (UserID)",
    "CREATE INDEX IF NOT EXISTS idxUserInfoSectionID ON tblUserInfo (SectionID)",
    "CREATE INDEX IF NOT EXISTS idxPrinterPrinterName ON tblPrintingMachineInfo (PrinterName)",
    "CREATE INDEX IF NOT EXISTS idxPrinterPrinterID ON tblPrintingMachineInfo (PrinterID)",
    "CREATE INDEX IF NOT EXISTS idxPrinterParentPrinterID ON tblPrintingMachineInfo (ParentPrinterID)",
    "CREATE INDEX IF NOT EXISTS idxSectionSectionID ON tblSectionInfo (SectionID)",
    // Period queries: the date first, then every column the totals read, so that a
    // period's totals are answered from the index alone.
    ("CREATE INDEX IF NOT EXISTS idxPrintingDataPeriod ON tblPrintingData"
     " (dbDateTime, UserID, PrinterID, DocumentPages, SidesOfPaper, SheetsOfPaper, ComputerName)"),
    // Fiscal-year sums of one section's users or one printer group: each identifier's records
    // of two years in date order, with the counts the sums read.
    "CREATE INDEX IF NOT EXISTS idxPrintingDataUser ON tblPrintingData (UserID, dbDateTime, DocumentPages, SheetsOfPaper)",
    "CREATE INDEX IF NOT EXISTS idxPrintingDataPrinter ON tblPrintingData (PrinterID, dbDateTime, DocumentPages, SheetsOfPaper)",
};

// A record's values are "month-shaped" when its identifiers and counts are integers, its
// computer name is text, and its date is text whose first seven characters name a calendar
// month ("YYYY-MM", 01 to 12) at or after that month's first instant. Such a date lies in the
// half-open range of that month and of no other, whatever follows, so the month's totals
// answer every range of whole months exactly. Any other record (a script's odd date, a NULL,
// a count that is not an integer) is copied to tblPrintingDataOdd, which the readers range
// over as they would the records.
#define HVN_MONTH_SHAPED(R)                                                                                 \
    "COALESCE(typeof(" R ".UserID) = 'integer' AND typeof(" R ".PrinterID) = 'integer'"                   \
    " AND typeof(" R ".ComputerName) = 'text' AND typeof(" R ".DocumentPages) = 'integer'"                \
    " AND typeof(" R ".SidesOfPaper) = 'integer' AND typeof(" R ".SheetsOfPaper) = 'integer'"             \
    " AND typeof(" R ".dbDateTime) = 'text'"                                                              \
    " AND " R ".dbDateTime GLOB '[0-9][0-9][0-9][0-9]-[01][0-9]*'"                                         \
    " AND substr(" R ".dbDateTime, 6, 2) BETWEEN '01' AND '12'"                                            \
    " AND " R ".dbDateTime >= substr(" R ".dbDateTime, 1, 7) || '-01 00:00:00.000', 0)"

#define HVN_ADD_TO(TABLE, KEY, R)                                                                          \
    "INSERT INTO " TABLE " (Month, " KEY ", Pages, Sides, Sheets, Records)"                               \
    " VALUES (substr(" R ".dbDateTime, 1, 7), " R "." KEY ", " R ".DocumentPages, " R ".SidesOfPaper, "      \
    R ".SheetsOfPaper, 1)"                                                                                 \
    " ON CONFLICT (Month, " KEY ") DO UPDATE SET Pages = Pages + excluded.Pages,"                         \
    " Sides = Sides + excluded.Sides, Sheets = Sheets + excluded.Sheets, Records = Records + 1;"

#define HVN_TAKE_FROM(TABLE, KEY, R)                                                                       \
    "UPDATE " TABLE " SET Pages = Pages - " R ".DocumentPages, Sides = Sides - " R ".SidesOfPaper,"        \
    " Sheets = Sheets - " R ".SheetsOfPaper, Records = Records - 1"                                        \
    " WHERE Month = substr(" R ".dbDateTime, 1, 7) AND " KEY " = " R "." KEY ";"                          \
    "DELETE FROM " TABLE " WHERE Month = substr(" R ".dbDateTime, 1, 7) AND " KEY " = " R "." KEY          \
    " AND Records = 0;"

#define HVN_ADD(R)                                                                                         \
    HVN_ADD_TO("tblUserMonth", "UserID", R)                                                                \
    HVN_ADD_TO("tblPrinterMonth", "PrinterID", R) HVN_ADD_TO("tblComputerMonth", "ComputerName", R)
#define HVN_TAKE(R)                                                                                        \
    HVN_TAKE_FROM("tblUserMonth", "UserID", R)                                                             \
    HVN_TAKE_FROM("tblPrinterMonth", "PrinterID", R) HVN_TAKE_FROM("tblComputerMonth", "ComputerName", R)

#define HVN_ADD_ODD(R)                                                                                     \
    "INSERT INTO tblPrintingDataOdd (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"        \
    " SheetsOfPaper, dbDateTime) VALUES (" R ".UserID, " R ".PrinterID, " R ".ComputerName, "               \
    R ".DocumentPages, " R ".SidesOfPaper, " R ".SheetsOfPaper, " R ".dbDateTime);"
// One copy of the record goes, whichever of several equal copies.
#define HVN_TAKE_ODD(R)                                                                                    \
    "DELETE FROM tblPrintingDataOdd WHERE rowid = (SELECT rowid FROM tblPrintingDataOdd"                  \
    " WHERE dbDateTime IS " R ".dbDateTime AND UserID IS " R ".UserID AND PrinterID IS " R ".PrinterID"    \
    " AND ComputerName IS " R ".ComputerName AND DocumentPages IS " R ".DocumentPages"                     \
    " AND SidesOfPaper IS " R ".SidesOfPaper AND SheetsOfPaper IS " R ".SheetsOfPaper LIMIT 1);"

#define HVN_MONTH_TABLE(TABLE, KEY, TYPE)                                                                  \
    "CREATE TABLE IF NOT EXISTS " TABLE " (Month TEXT NOT NULL, " KEY " " TYPE " NOT NULL,"               \
    " Pages INTEGER NOT NULL, Sides INTEGER NOT NULL, Sheets INTEGER NOT NULL, Records INTEGER NOT NULL,"   \
    " PRIMARY KEY (Month, " KEY ")) WITHOUT ROWID"

#define HVN_TRIGGER(NAME, EVENT, WHEN, BODY)                                                               \
    "CREATE TRIGGER IF NOT EXISTS " NAME " AFTER " EVENT " ON tblPrintingData WHEN " WHEN                  \
    " BEGIN " BODY " END"

const char *const kTotalsStatements[] = {
    // Pages, sides, sheets and the count of the month-shaped records per calendar month and
    // user, printer or computer (each spelling of a computer name apart).
    HVN_MONTH_TABLE("tblUserMonth", "UserID", "INTEGER"),
    HVN_MONTH_TABLE("tblPrinterMonth", "PrinterID", "INTEGER"),
    HVN_MONTH_TABLE("tblComputerMonth", "ComputerName", "TEXT COLLATE BINARY"),
    // One identifier's months with the counts the fiscal-year sums read.
    "CREATE INDEX IF NOT EXISTS idxUserMonthUser ON tblUserMonth (UserID, Month, Pages, Sheets)",
    "CREATE INDEX IF NOT EXISTS idxPrinterMonthPrinter ON tblPrinterMonth (PrinterID, Month, Pages, Sheets)",
    // Untyped columns keep each value exactly as the record holds it.
    "CREATE TABLE IF NOT EXISTS tblPrintingDataOdd (UserID, PrinterID, ComputerName, DocumentPages,"
    " SidesOfPaper, SheetsOfPaper, dbDateTime)",
    "CREATE INDEX IF NOT EXISTS idxPrintingDataOddDate ON tblPrintingDataOdd (dbDateTime)",
    // Triggers keep the totals in the transaction of every write, whoever writes.
    HVN_TRIGGER("trgPrintingDataInsertMonth", "INSERT", HVN_MONTH_SHAPED("NEW"), HVN_ADD("NEW")),
    HVN_TRIGGER("trgPrintingDataInsertOdd", "INSERT", "NOT " HVN_MONTH_SHAPED("NEW"), HVN_ADD_ODD("NEW")),
    HVN_TRIGGER("trgPrintingDataDeleteMonth", "DELETE", HVN_MONTH_SHAPED("OLD"), HVN_TAKE("OLD")),
    HVN_TRIGGER("trgPrintingDataDeleteOdd", "DELETE", "NOT " HVN_MONTH_SHAPED("OLD"), HVN_TAKE_ODD("OLD")),
    HVN_TRIGGER("trgPrintingDataUpdateOldMonth", "UPDATE", HVN_MONTH_SHAPED("OLD"), HVN_TAKE("OLD")),
    HVN_TRIGGER("trgPrintingDataUpdateOldOdd", "UPDATE", "NOT " HVN_MONTH_SHAPED("OLD"), HVN_TAKE_ODD("OLD")),
    HVN_TRIGGER("trgPrintingDataUpdateNewMonth", "UPDATE", HVN_MONTH_SHAPED("NEW"), HVN_ADD("NEW")),
    HVN_TRIGGER("trgPrintingDataUpdateNewOdd", "UPDATE", "NOT " HVN_MONTH_SHAPED("NEW"), HVN_ADD_ODD("NEW")),
};

// Fill the totals from the records present; run on tables just made, before the triggers.
#define HVN_FILL(TABLE, KEY)                                                                               \
    "INSERT INTO " TABLE " (Month, " KEY ", Pages, Sides, Sheets, Records)"                               \
    " SELECT substr(dbDateTime, 1, 7), " KEY ", SUM(DocumentPages), SUM(SidesOfPaper), SUM(SheetsOfPaper),"\
    " COUNT(*) FROM tblPrintingData WHERE " HVN_MONTH_SHAPED("tblPrintingData") " GROUP BY 1, 2"

const char *const kFillStatements[] = {
    HVN_FILL("tblUserMonth", "UserID"),
    HVN_FILL("tblPrinterMonth", "PrinterID"),
    HVN_FILL("tblComputerMonth", "ComputerName"),
    "INSERT INTO tblPrintingDataOdd (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
    " SheetsOfPaper, dbDateTime) SELECT UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
    " SheetsOfPaper, dbDateTime FROM tblPrintingData WHERE NOT " HVN_MONTH_SHAPED("tblPrintingData"),
};

const char *const kTotalsTables[] = {"tblUserMonth", "tblPrinterMonth", "tblComputerMonth", "tblPrintingDataOdd"};

const char *const kTableStatements[] = {
    "CREATE TABLE tblPrintingData ("
    " UserID INTEGER,"
    " PrinterID INTEGER,"
    " ComputerName VARCHAR(32) COLLATE NOCASE,"
    " DocumentPages INTEGER,"
    " SidesOfPaper INTEGER,"
    " SheetsOfPaper INTEGER,"
    " dbDateTime DATETIME)",

    "CREATE TABLE tblUserInfo ("
    " UserID INTEGER,"
    " UserName VARCHAR(32) COLLATE NOCASE,"
    " SectionID INTEGER,"
    " UserRealName VARCHAR(64) COLLATE NOCASE,"
    " TargetLevelID INTEGER,"
    " TargetLevelName VARCHAR(255) COLLATE NOCASE)",

    "CREATE TABLE tblPrintingMachineInfo ("
    " PrinterID INTEGER,"
    " PrinterName VARCHAR(64) COLLATE NOCASE,"
    " ParentPrinterID INTEGER,"
    " GroupPrinterID INTEGER,"
    " CommonPrinterName VARCHAR(64) COLLATE NOCASE)",

    "CREATE TABLE tblSectionInfo ("
    " SectionID INTEGER,"
    " SectionName VARCHAR(255) COLLATE NOCASE,"
    " ParentSectionID INTEGER,"
    " SectionLevel INTEGER,"
    " SectionFullName VARCHAR(255) COLLATE NOCASE)",
};

bool exists(SQLite::Database &db, const char *type, std::string_view name)
{
    SQLite::Statement find(db, "SELECT 1 FROM sqlite_master WHERE type = ? AND name = ? COLLATE NOCASE");
    find.bind(1, type);
    find.bind(2, std::string(name));
    return find.executeStep();
}

// The name after "CREATE ... IF NOT EXISTS".
std::string objectName(std::string_view statement)
{
    constexpr std::string_view kMark = "IF NOT EXISTS ";
    const std::size_t from = statement.find(kMark) + kMark.size();
    return std::string(statement.substr(from, statement.find(' ', from) - from));
}

// The kind of object a "CREATE TABLE|INDEX|TRIGGER" statement makes, as sqlite_master names it.
const char *objectType(std::string_view statement)
{
    if (statement.starts_with("CREATE TRIGGER"))
        return "trigger";
    return statement.starts_with("CREATE INDEX") ? "index" : "table";
}

} // namespace

std::vector<std::string> createStatements()
{
    std::vector<std::string> statements(std::begin(kTableStatements), std::end(kTableStatements));
    statements.insert(statements.end(), std::begin(kIndexStatements), std::end(kIndexStatements));
    statements.insert(statements.end(), std::begin(kTotalsStatements), std::end(kTotalsStatements));
    return statements;
}

void createTables(SQLite::Database &db)
{
    SQLite::Transaction tx(db);
    for (const char *sql : kTableStatements)
        db.exec(sql);
    tx.commit();
}

void createSchema(SQLite::Database &db)
{
    SQLite::Transaction tx(db);
    for (const std::string &sql : createStatements())
        db.exec(sql);
    tx.commit();
}

bool hasMonthTotals(SQLite::Database &db)
{
    for (const char *sql : kTotalsStatements) {
        if (!exists(db, objectType(sql), objectName(sql)))
            return false;
    }
    return true;
}

void upgradeSchema(SQLite::Database &db, const std::function<void(const std::string &)> &progress)
{
    checkSchema(db);
    SQLite::Transaction tx(db);
    for (const char *sql : kIndexStatements) {
        const std::string name = objectName(sql);
        if (exists(db, "index", name))
            continue;
        progress("creating index " + name);
        db.exec(sql);
    }
    if (!hasMonthTotals(db)) {
        // Totals of unknown age are never trusted: whatever part exists is made again.
        for (const char *sql : kTotalsStatements) {
            if (std::string_view(objectType(sql)) == "trigger")
                db.exec("DROP TRIGGER IF EXISTS " + objectName(sql));
        }
        for (const char *table : kTotalsTables)
            db.exec(std::string("DROP TABLE IF EXISTS ") + table);
        for (const char *sql : kTotalsStatements) {
            if (std::string_view(objectType(sql)) != "trigger")
                db.exec(sql);
        }
        for (std::size_t i = 0; i < std::size(kFillStatements); ++i) {
            progress("summing the print records into " + std::string(kTotalsTables[i]));
            db.exec(kFillStatements[i]);
        }
        progress("creating the triggers that keep the month totals");
        for (const char *sql : kTotalsStatements) {
            if (std::string_view(objectType(sql)) == "trigger")
                db.exec(sql);
        }
    }
    tx.commit();
}

void checkSchema(SQLite::Database &db)
{
    struct Table {
        std::string_view name;
        std::vector<std::string_view> columns;
    };
    const Table tables[] = {
        {kPrintingData,
         {"UserID", "PrinterID", "ComputerName", "DocumentPages", "SidesOfPaper", "SheetsOfPaper",
          "dbDateTime"}},
        {kUserInfo,
         {"UserID", "UserName", "SectionID", "UserRealName", "TargetLevelID", "TargetLevelName"}},
        {kPrintingMachineInfo,
         {"PrinterID", "PrinterName", "ParentPrinterID", "GroupPrinterID", "CommonPrinterName"}},
        {kSectionInfo,
         {"SectionID", "SectionName", "ParentSectionID", "SectionLevel", "SectionFullName"}},
    };
    for (const Table &table : tables) {
        SQLite::Statement info(db, "SELECT name FROM pragma_table_info(?)");
        info.bind(1, std::string(table.name));
        std::set<std::string> present;
        while (info.executeStep()) {
            std::string column = info.getColumn(0).getString();
            for (char &c : column)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            present.insert(column);
        }
        if (present.empty())
            throw std::runtime_error("table " + std::string(table.name) + " is missing");
        for (std::string_view column : table.columns) {
            std::string lower(column);
            for (char &c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!present.count(lower))
                throw std::runtime_error("table " + std::string(table.name) + " has no column " +
                                         std::string(column));
        }
    }
}

} // namespace hvn::schema
