#pragma once

#include <string_view>

namespace SQLite {
class Database;
}

namespace hvn::schema {

// Table names.
inline constexpr std::string_view kPrintingData = "tblPrintingData";
inline constexpr std::string_view kUserInfo = "tblUserInfo";
inline constexpr std::string_view kPrintingMachineInfo = "tblPrintingMachineInfo";
inline constexpr std::string_view kSectionInfo = "tblSectionInfo";

// The statements that create the four tables and the indexes the programs' queries use.
// Names compare without regard to letter case (COLLATE NOCASE). Run by hvnSetup only:
// neither program creates a table.
extern const char *const kCreateStatements[];
extern const std::size_t kCreateStatementCount;

// Creates the tables and indexes in one transaction on an empty database.
void createSchema(SQLite::Database &db);

// Checks that the four tables exist with every column the programs use. Throws
// std::runtime_error naming what is missing.
void checkSchema(SQLite::Database &db);

} // namespace hvn::schema
