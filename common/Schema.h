#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace SQLite {
class Database;
}

namespace hvn::schema {

// Table names.
inline constexpr std::string_view kPrintingData = "tblPrintingData";
inline constexpr std::string_view kUserInfo = "tblUserInfo";
inline constexpr std::string_view kPrintingMachineInfo = "tblPrintingMachineInfo";
inline constexpr std::string_view kSectionInfo = "tblSectionInfo";

// The statements that create the four tables, the indexes the programs' queries use, and the
// month totals: per calendar month and user, printer and computer, the pages, sides, sheets
// and count of the print records, kept by triggers on tblPrintingData in the transaction of
// every insert, delete and update, whoever writes. Records whose values are not of the usual
// shape are copied whole to tblPrintingDataOdd instead. Names compare without regard to letter
// case (COLLATE NOCASE). Run by hvnSetup only: neither program creates a table.
std::vector<std::string> createStatements();

// Creates the tables, indexes, totals and triggers in one transaction on an empty database.
void createSchema(SQLite::Database &db);

// Creates the four tables alone, for a bulk load that upgradeSchema() completes.
void createTables(SQLite::Database &db);

// True when the totals' tables, indexes and triggers are all present.
bool hasMonthTotals(SQLite::Database &db);

// Brings a database with the four tables up to date in one transaction: creates the missing
// indexes, and, unless the totals are complete, makes them again from the print records and
// adds their triggers. No record changes. progress receives a line before each long step.
// Throws std::runtime_error (or SQLite::Exception) and changes nothing on failure.
void upgradeSchema(SQLite::Database &db, const std::function<void(const std::string &)> &progress);

// Checks that the four tables exist with every column the programs use. Throws
// std::runtime_error naming what is missing.
void checkSchema(SQLite::Database &db);

} // namespace hvn::schema
