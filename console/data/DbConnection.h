#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Connection.h"

namespace SQLite {
class Database;
}

namespace hvn::console {

// The console's one database connection (`DBConection` of TMainForm). Not open at start; the
// first use connects and it stays connected until the object is destroyed. UI thread only.
class TDbConnection {
public:
    explicit TDbConnection(std::string connectionString = std::string(hvn::db::kConsoleConnectionString));
    ~TDbConnection();
    TDbConnection(const TDbConnection &) = delete;
    TDbConnection &operator=(const TDbConnection &) = delete;

    const std::string &connectionString() const;
    // Takes effect at the next connect; an open connection stays as it is.
    void setConnectionString(std::string s);

    // Runs every time the connection is about to connect (TMainForm::DBConectionBeforeConnect),
    // before the connection string is read. An exception from it fails the connect.
    void setBeforeConnect(std::function<void()> handler);

    bool connected() const;

    // Connects on first use (BeforeConnect, then hvn::db::openDatabase(connectionString()));
    // throws std::exception with the engine's text on failure, and then stays unconnected, so
    // the next use tries again. The reference stays valid while this object lives.
    SQLite::Database &database();

private:
    std::string m_connectionString;
    std::function<void()> m_beforeConnect;
    std::unique_ptr<SQLite::Database> m_database;
};

} // namespace hvn::console
