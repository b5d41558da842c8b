#include "data/ReadSnapshot.h"

#include <stdexcept>
#include <string>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include "data/DbConnection.h"

namespace hvn::console {

namespace {

// sqlite3_exec, with the engine's text on failure.
bool run(sqlite3 *db, const char *sql, std::string *error = nullptr)
{
    char *message = nullptr;
    const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok && error)
        *error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return ok;
}

} // namespace

ReadSnapshot::ReadSnapshot(TDbConnection &conn)
    : m_db(conn.database().getHandle())
{
    std::string error;
    if (!run(m_db, "BEGIN DEFERRED", &error))
        throw std::runtime_error(error);
    // A deferred transaction takes its snapshot at its first read, not at BEGIN.
    if (!run(m_db, "SELECT count(*) FROM sqlite_master", &error)) {
        run(m_db, "ROLLBACK");
        throw std::runtime_error(error);
    }
}

ReadSnapshot::~ReadSnapshot()
{
    end();
}

void ReadSnapshot::end() noexcept
{
    if (m_db && !sqlite3_get_autocommit(m_db) && !run(m_db, "COMMIT"))
        run(m_db, "ROLLBACK");
    m_db = nullptr;
}

ReadSnapshot::ReadSnapshot(ReadSnapshot &&other) noexcept
    : m_db(other.m_db)
{
    other.m_db = nullptr;
}

ReadSnapshot &ReadSnapshot::operator=(ReadSnapshot &&other) noexcept
{
    if (this != &other) {
        end();
        m_db = other.m_db;
        other.m_db = nullptr;
    }
    return *this;
}

} // namespace hvn::console
