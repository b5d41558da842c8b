#include "data/DbConnection.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>

#include "Connection.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

// Points the connection at `databasePath` the way the main window does before every connect.
void pointAt(TDbConnection &conn, const std::string &databasePath)
{
    conn.setConnectionString(hvn::db::replaceDataSource(conn.connectionString(), databasePath));
}

TEST(TDbConnection, ConnectsOnlyOnFirstUseAndRunsBeforeConnectOncePerConnect)
{
    test::TestDatabase file;
    TDbConnection conn;
    EXPECT_EQ(conn.connectionString(), hvn::db::kConsoleConnectionString);

    int beforeConnectRuns = 0;
    conn.setBeforeConnect([&] {
        ++beforeConnectRuns;
        pointAt(conn, file.path());
    });
    EXPECT_FALSE(conn.connected());
    EXPECT_EQ(beforeConnectRuns, 0);

    SQLite::Database &first = conn.database();
    EXPECT_TRUE(conn.connected());
    EXPECT_EQ(beforeConnectRuns, 1);
    EXPECT_EQ(first.getFilename(), file.path());

    // Staying connected: a later use neither reconnects nor re-reads the path.
    conn.setBeforeConnect([&] { ++beforeConnectRuns; });
    EXPECT_EQ(&conn.database(), &first);
    EXPECT_EQ(beforeConnectRuns, 1);
}

TEST(TDbConnection, FailedConnectGivesReasonStaysUnconnectedAndRetriesWithBeforeConnect)
{
    test::TestDatabase file;
    struct Case {
        const char *name;
        std::string databasePath;
        const char *reasonPart;
    };
    const Case cases[] = {
        {"empty DatabasePath", "", "no database path"},
        {"missing file", file.path() + ".missing", "no such file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TDbConnection conn;
        std::string path = c.databasePath;
        int beforeConnectRuns = 0;
        conn.setBeforeConnect([&] {
            ++beforeConnectRuns;
            pointAt(conn, path);
        });
        try {
            conn.database();
            ADD_FAILURE() << "connected to a database that is not there";
        } catch (const std::exception &e) {
            EXPECT_NE(std::string(e.what()).find(c.reasonPart), std::string::npos) << e.what();
        }
        EXPECT_FALSE(conn.connected());

        // The next use runs BeforeConnect again and so picks up a corrected path.
        path = file.path();
        EXPECT_NO_THROW(conn.database());
        EXPECT_TRUE(conn.connected());
        EXPECT_EQ(beforeConnectRuns, 2);
    }
}

} // namespace
} // namespace hvn::console
