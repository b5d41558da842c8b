// The read snapshot of the console's connection, and the query's fetch in slices that reads
// on it, against a real database file written by a second connection as the service would.
#include "data/ReadSnapshot.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "data/DbConnection.h"
#include "data/DbGridModel.h"
#include "data/Query.h"
#include "Connection.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

class ReadSnapshotTest : public ::testing::Test {
protected:
    ReadSnapshotTest()
    {
        file.addUser(1, "alice");
        file.addPrinter(1, "PrnA", "PrnA");
        for (int i = 0; i < kRecords; ++i)
            addRecord(i);
    }

    // Writes as the service does: its own connection, WAL, one transaction per record.
    void storeRecord(int minute)
    {
        const auto service = db::openDatabase(file.connectionString());
        service->exec("BEGIN");
        service->exec("INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
                      " SheetsOfPaper, dbDateTime) VALUES (1, 1, 'PC', 1, 1, 1, '2004-12-01 00:"
                      + std::to_string(10 + minute) + ":00.000')");
        service->exec("COMMIT");
    }

    void addRecord(int second)
    {
        const std::string time = "2004-12-01 00:00:" + std::string(second < 10 ? "0" : "") + std::to_string(second)
            + ".000";
        file.addRecord(1, 1, "PC", 1, 1, 1, time);
    }

    int countOnConsole()
    {
        TQuery count;
        count.SQL() = {QStringLiteral("SELECT count(*) AS n FROM tblPrintingData;")};
        count.open(conn);
        return count.value(0, 0).toInt();
    }

    bool inTransaction() { return !sqlite3_get_autocommit(conn.database().getHandle()); }

    static constexpr int kRecords = 40;
    test::TestDatabase file;
    TDbConnection conn{file.connectionString()};
};

TEST_F(ReadSnapshotTest, RecordsCommittedAfterTheSnapshotStayUnseenUntilItEnds)
{
    {
        const ReadSnapshot snapshot(conn);
        storeRecord(1);
        EXPECT_EQ(countOnConsole(), kRecords);
        storeRecord(2);
        EXPECT_EQ(countOnConsole(), kRecords);
    }
    EXPECT_FALSE(inTransaction());
    EXPECT_EQ(countOnConsole(), kRecords + 2);
}

TEST_F(ReadSnapshotTest, EndsItsTransactionOnEveryPathAndMovesOwnership)
{
    EXPECT_THROW(
        {
            const ReadSnapshot snapshot(conn);
            throw std::runtime_error("handler failed");
        },
        std::runtime_error);
    EXPECT_FALSE(inTransaction());

    std::optional<ReadSnapshot> kept;
    {
        ReadSnapshot first(conn);
        kept.emplace(std::move(first));
    }
    // The moved-from object ended nothing.
    EXPECT_TRUE(inTransaction());
    storeRecord(1);
    EXPECT_EQ(countOnConsole(), kRecords);
    // Assigning over a snapshot ends the old transaction before taking the new one.
    *kept = ReadSnapshot(std::move(*kept));
    EXPECT_TRUE(inTransaction());
    kept.reset();
    EXPECT_FALSE(inTransaction());
}

TEST_F(ReadSnapshotTest, SecondSnapshotOnTheConnectionFailsWithoutEndingTheFirst)
{
    const ReadSnapshot first(conn);
    EXPECT_THROW(ReadSnapshot second(conn), std::runtime_error);
    storeRecord(1);
    EXPECT_TRUE(inTransaction());
    EXPECT_EQ(countOnConsole(), kRecords);
}

TEST_F(ReadSnapshotTest, UnopenableDatabaseFailsWithItsReasonAndLeavesNothingOpen)
{
    TDbConnection missing(db::replaceDataSource(db::kConsoleConnectionString, file.path() + ".missing"));
    try {
        const ReadSnapshot snapshot(missing);
        FAIL() << "no error";
    } catch (const std::exception &e) {
        EXPECT_NE(std::string(e.what()).find(".missing"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(missing.connected());
}

// Slices of every size bring the same rows, in order, as one open(); a record the service
// stores between two slices is not among them.
TEST_F(ReadSnapshotTest, StreamedSlicesGiveTheSnapshotsRowsInOrder)
{
    TQuery whole;
    whole.SQL() = {QStringLiteral("SELECT dbDateTime FROM tblPrintingData ORDER BY dbDateTime DESC;")};
    for (const int slice : {1, 7, kRecords, kRecords + 1}) {
        SCOPED_TRACE(slice);
        whole.open(conn); // what the snapshot will hold
        const int expected = whole.rowCount();
        TQuery streamed;
        streamed.SQL() = whole.SQL();
        TDbGridModel model(streamed, {{QStringLiteral("dbDateTime"), QStringLiteral("t"), 10, true, {}}});
        std::vector<std::pair<int, int>> inserted; // first and last row of each insertion
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex &, int first, int last) { inserted.emplace_back(first, last); });
        {
            const ReadSnapshot snapshot(conn);
            streamed.openStream(conn);
            model.refresh();
            EXPECT_TRUE(streamed.active());
            EXPECT_EQ(model.rowCount(), 0);
            int slices = 0;
            bool done = false;
            while (!done) {
                done = streamed.fetch(slice);
                const int before = model.rowCount();
                model.showFetchedRows();
                if (model.rowCount() > before) {
                    // Each slice arrives as one insertion after the rows already shown.
                    EXPECT_EQ(inserted.back().first, before);
                    EXPECT_EQ(inserted.back().second, model.rowCount() - 1);
                }
                if (++slices == 2)
                    storeRecord(slices);
            }
            EXPECT_FALSE(streamed.fetching());
        }
        ASSERT_EQ(model.rowCount(), expected);
        for (int row = 0; row < expected; ++row)
            ASSERT_EQ(streamed.value(row, 0), whole.value(row, 0)) << row;
        EXPECT_EQ(inserted.size(), std::size_t((expected + slice - 1) / slice));
    }
    whole.open(conn);
    EXPECT_GT(whole.rowCount(), kRecords); // the stored records are seen once the snapshots ended
}

TEST_F(ReadSnapshotTest, EndedFetchKeepsItsRowsAndFreesTheConnection)
{
    TQuery streamed;
    streamed.SQL() = {QStringLiteral("SELECT dbDateTime FROM tblPrintingData;")};
    {
        const ReadSnapshot snapshot(conn);
        streamed.openStream(conn);
        EXPECT_FALSE(streamed.fetch(5));
        streamed.endFetch();
        EXPECT_TRUE(streamed.fetch(5)); // nothing more comes
    }
    EXPECT_FALSE(inTransaction());
    EXPECT_EQ(streamed.rowCount(), 5);
    // The connection takes the next snapshot and writes again.
    const ReadSnapshot next(conn);
    EXPECT_EQ(countOnConsole(), kRecords);
}

} // namespace
} // namespace hvn::console
