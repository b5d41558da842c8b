#include "data/DbConnection.h"

#include <utility>

#include <SQLiteCpp/Database.h>

namespace hvn::console {

TDbConnection::TDbConnection(std::string connectionString)
    : m_connectionString(std::move(connectionString))
{
}

TDbConnection::~TDbConnection() = default;

const std::string &TDbConnection::connectionString() const
{
    return m_connectionString;
}

void TDbConnection::setConnectionString(std::string s)
{
    m_connectionString = std::move(s);
}

void TDbConnection::setBeforeConnect(std::function<void()> handler)
{
    m_beforeConnect = std::move(handler);
}

bool TDbConnection::connected() const
{
    return m_database != nullptr;
}

SQLite::Database &TDbConnection::database()
{
    if (!m_database) {
        if (m_beforeConnect)
            m_beforeConnect();
        m_database = hvn::db::openDatabase(m_connectionString);
    }
    return *m_database;
}

} // namespace hvn::console
