#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace SQLite {
class Database;
}

namespace hvn::db {

// The connection strings of the two programs. They differ only in the user name. The
// design-time data source is a placeholder: each program replaces it with DatabasePath
// right before it connects (replaceDataSource).
extern const std::string_view kServiceConnectionString;
extern const std::string_view kConsoleConnectionString;

// Replaces the entry that starts at the first "Data Source=" and runs up to, not including,
// the first ";" at or after it (or the end of the text) with "Data Source=" + databasePath.
// Every other entry stays as it was. Without such an entry the new one is put in front.
std::string replaceDataSource(std::string_view connectionString, std::string_view databasePath);

// The value of the first "Data Source=" entry: up to the next ";" or the end, or, when the
// value starts with a double quote, up to the closing quote. Empty when there is none.
std::string dataSource(std::string_view connectionString);

inline constexpr std::chrono::milliseconds kDefaultBusyTimeout{10000};

// Opens the database file that the connection string's data source names, for reading and
// writing, and never creates it. Checks the four tables, then turns on write-ahead logging and
// synchronous=FULL and sets the busy timeout. Throws std::runtime_error with a one-line reason
// when the data source is empty, names a folder or a missing file, or the file is not a
// Halvane database; such a file is not changed.
std::unique_ptr<SQLite::Database> openDatabase(std::string_view connectionString,
                                               std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);

// Applies the durability settings above to an open database (used by tools and benchmarks
// that create their own files).
void applyDurability(SQLite::Database &db, std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);

} // namespace hvn::db
