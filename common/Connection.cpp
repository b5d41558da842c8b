#include "Connection.h"

#include <SQLiteCpp/Database.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "Schema.h"

namespace hvn::db {

namespace {

constexpr std::string_view kDataSourceKey = "Data Source=";

#define HVN_CONNECTION_STRING(user)                                                                \
    "Provider=Microsoft.Jet.OLEDB.4.0;"                                                            \
    "User ID=" user ";"                                                                            \
    "Data Source=hvnDatabase.mdb;"                                                                 \
    "Mode=Share Deny None;"                                                                        \
    "Extended Properties=\"\";"                                                                    \
    "Persist Security Info=False;"                                                                 \
    "Jet OLEDB:System database=\"\";"                                                              \
    "Jet OLEDB:Registry Path=\"\";"                                                                \
    "Jet OLEDB:Database Password=\"\";"                                                            \
    "Jet OLEDB:Engine Type=5;"                                                                     \
    "Jet OLEDB:Database Locking Mode=1;"                                                           \
    "Jet OLEDB:Global Partial Bulk Ops=2;"                                                         \
    "Jet OLEDB:Global Bulk Transactions=1;"                                                        \
    "Jet OLEDB:New Database Password=\"\";"                                                        \
    "Jet OLEDB:Create System Database=False;"                                                      \
    "Jet OLEDB:Encrypt Database=False;"                                                            \
    "Jet OLEDB:Don't Copy Locale on Compact=False;"                                                \
    "Jet OLEDB:Compact Without Replica Repair=False;"                                              \
    "Jet OLEDB:SFP=False"

} // namespace

const std::string_view kServiceConnectionString = HVN_CONNECTION_STRING("admin");
const std::string_view kConsoleConnectionString = HVN_CONNECTION_STRING("Admin");

#undef HVN_CONNECTION_STRING

std::string replaceDataSource(std::string_view connectionString, std::string_view databasePath)
{
    std::string result(connectionString);
    std::string entry = std::string(kDataSourceKey) + std::string(databasePath);
    const std::size_t start = result.find(kDataSourceKey);
    if (start == std::string::npos)
        return entry + ";" + result;
    std::size_t end = result.find(';', start);
    if (end == std::string::npos)
        end = result.size();
    result.replace(start, end - start, entry);
    return result;
}

std::string dataSource(std::string_view connectionString)
{
    const std::size_t start = connectionString.find(kDataSourceKey);
    if (start == std::string_view::npos)
        return {};
    std::string_view rest = connectionString.substr(start + kDataSourceKey.size());
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(rest.substr(0, rest.find(';')));
}

void applyDurability(SQLite::Database &db, std::chrono::milliseconds busyTimeout)
{
    db.setBusyTimeout(static_cast<int>(busyTimeout.count()));
    db.exec("PRAGMA journal_mode=WAL");
    db.exec("PRAGMA synchronous=FULL");
}

std::unique_ptr<SQLite::Database> openDatabase(std::string_view connectionString,
                                               std::chrono::milliseconds busyTimeout)
{
    const std::string path = dataSource(connectionString);
    if (path.empty())
        throw std::runtime_error("cannot open the database: no database path is set (DatabasePath)");
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        throw std::runtime_error("cannot open the database: " + path + " is a folder, not a database file");
    if (!std::filesystem::exists(status))
        throw std::runtime_error("cannot open the database: " + path + ": " +
                                 (ec && ec != std::errc::no_such_file_or_directory ? ec.message()
                                                                                   : std::string("no such file")));
    if (!std::filesystem::is_regular_file(status))
        throw std::runtime_error("cannot open the database: " + path + " is not a regular file");
    try {
        auto db = std::make_unique<SQLite::Database>(path, SQLite::OPEN_READWRITE);
        // The tables are checked before anything is written: a file that is not ours is left
        // exactly as it was, journal mode included.
        db->setBusyTimeout(static_cast<int>(busyTimeout.count()));
        schema::checkSchema(*db);
        applyDurability(*db, busyTimeout);
        return db;
    } catch (const std::exception &e) {
        throw std::runtime_error("cannot open the database: " + path + ": " + e.what());
    }
}

} // namespace hvn::db
