#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hvn::test {

// Every row of the query on the database file, each as its columns joined by '|' (NULL as
// "NULL"). Opens the file read-only on a connection of its own that waits up to 10 s for locks.
std::vector<std::string> queryRows(const std::filesystem::path &database, const std::string &sql);
// The number of rows in the table.
std::int64_t countRows(const std::filesystem::path &database, const std::string &table);

} // namespace hvn::test
