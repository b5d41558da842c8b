#include "DatabaseRows.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace hvn::test {

std::vector<std::string> queryRows(const std::filesystem::path &database, const std::string &sql)
{
    SQLite::Database db(database.string(), SQLite::OPEN_READONLY);
    db.setBusyTimeout(10000);
    SQLite::Statement query(db, sql);
    std::vector<std::string> result;
    while (query.executeStep()) {
        std::string row;
        for (int i = 0; i < query.getColumnCount(); ++i) {
            if (i > 0)
                row += '|';
            const SQLite::Column column = query.getColumn(i);
            row += column.isNull() ? std::string("NULL") : column.getString();
        }
        result.push_back(std::move(row));
    }
    return result;
}

std::int64_t countRows(const std::filesystem::path &database, const std::string &table)
{
    return std::stoll(queryRows(database, "SELECT COUNT(*) FROM " + table).at(0));
}

} // namespace hvn::test
