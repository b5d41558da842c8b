#include "Connection.h"
#include "Schema.h"
#include "TempDir.h"

#include <SQLiteCpp/Database.h>

#include <gtest/gtest.h>

#include <fstream>

namespace hvn::db {
namespace {

TEST(ReplaceDataSource, ReplacesOnlyTheFirstEntryUpToItsSemicolon)
{
    const std::string before = "Provider=X;Data Source=old.mdb;Mode=Share Deny None;Data Source=2";
    EXPECT_EQ(replaceDataSource(before, "/var/lib/halvane/hvn.db"),
              "Provider=X;Data Source=/var/lib/halvane/hvn.db;Mode=Share Deny None;Data Source=2");
}

TEST(ReplaceDataSource, EntryAtTheEndWithoutSemicolonIsReplacedToTheEnd)
{
    EXPECT_EQ(replaceDataSource("User ID=admin;Data Source=a.mdb", "b.db"), "User ID=admin;Data Source=b.db");
}

TEST(ReplaceDataSource, MissingPathGivesAnEmptyDataSource)
{
    const std::string replaced = replaceDataSource(kServiceConnectionString, "");
    EXPECT_NE(replaced.find("User ID=admin;Data Source=;Mode=Share Deny None;"), std::string::npos);
    EXPECT_EQ(dataSource(replaced), "");
}

TEST(ReplaceDataSource, KeepsEveryOtherPropertyOfBothProgramsStrings)
{
    for (std::string_view cs : {kServiceConnectionString, kConsoleConnectionString}) {
        const std::string replaced = replaceDataSource(cs, "/x/y.db");
        std::string expected(cs);
        expected.replace(expected.find("hvnDatabase.mdb"), std::string_view("hvnDatabase.mdb").size(), "/x/y.db");
        EXPECT_EQ(replaced, expected);
        EXPECT_EQ(dataSource(replaced), "/x/y.db");
    }
    EXPECT_NE(kServiceConnectionString.find("User ID=admin;"), std::string_view::npos);
    EXPECT_NE(kConsoleConnectionString.find("User ID=Admin;"), std::string_view::npos);
}

TEST(ReplaceDataSource, ConnectionStringWithoutTheEntryGainsOne)
{
    EXPECT_EQ(dataSource(replaceDataSource("Provider=X", "z.db")), "z.db");
}

TEST(DataSource, ReadsAQuotedValueWholeEvenWithSemicolons)
{
    EXPECT_EQ(dataSource("Data Source=\"/a;b/c.db\";Mode=1"), "/a;b/c.db");
}

class OpenDatabaseTest : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(OpenDatabaseTest, EmptyDataSourceFailsInsteadOfOpeningATemporaryDatabase)
{
    try {
        openDatabase(replaceDataSource(kServiceConnectionString, ""));
        FAIL() << "an empty path opened";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("DatabasePath"), std::string::npos) << e.what();
    }
}

TEST_F(OpenDatabaseTest, MissingFileFailsAndIsNotCreated)
{
    const auto path = dir / "missing.db";
    EXPECT_THROW(openDatabase(replaceDataSource(kServiceConnectionString, path.string())), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(OpenDatabaseTest, FileThatIsNotADatabaseFailsUntouched)
{
    const auto path = dir / "notes.txt";
    const std::string content(4096, 'x');
    std::ofstream(path) << content;
    EXPECT_THROW(openDatabase(replaceDataSource(kServiceConnectionString, path.string())), std::runtime_error);
    std::ifstream in(path);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, content);
}

// A start pointed at another program's SQLite file must leave it exactly as it was: the table
// check comes before the journal mode is switched to WAL. A folder is named as one.
TEST_F(OpenDatabaseTest, ForeignSqliteFileAndFolderFailWithTheReasonAndStayUntouched)
{
    const auto foreign = dir / "other.db";
    {
        SQLite::Database db(foreign.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("CREATE TABLE tblUserInfo (UserID INTEGER)");
    }
    try {
        openDatabase(replaceDataSource(kServiceConnectionString, foreign.string()));
        ADD_FAILURE() << "a foreign file opened";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("tblPrintingData"), std::string::npos) << e.what();
    }
    SQLite::Database check(foreign.string(), SQLite::OPEN_READONLY);
    EXPECT_EQ(check.execAndGet("PRAGMA journal_mode").getString(), "delete");
    EXPECT_FALSE(std::filesystem::exists(dir / "other.db-wal"));

    try {
        openDatabase(replaceDataSource(kServiceConnectionString, dir.path().string()));
        ADD_FAILURE() << "a folder opened";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos) << e.what();
    }
}

TEST_F(OpenDatabaseTest, OpensWithWriteAheadLogAndFullSync)
{
    const auto path = dir / "hvn.db";
    {
        SQLite::Database created(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        schema::createSchema(created);
    }
    auto db = openDatabase(replaceDataSource(kConsoleConnectionString, path.string()));
    EXPECT_EQ(db->execAndGet("PRAGMA journal_mode").getString(), "wal");
    EXPECT_EQ(db->execAndGet("PRAGMA synchronous").getInt(), 2);
    EXPECT_GT(db->execAndGet("PRAGMA busy_timeout").getInt(), 0);
}

TEST_F(OpenDatabaseTest, NameComparisonsIgnoreLetterCase)
{
    const auto path = dir / "hvn.db";
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    schema::createSchema(db);
    db.exec("INSERT INTO tblUserInfo (UserID, UserName) VALUES (1, 'Tanaka')");
    db.exec("INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName) VALUES (1, 'Laser-3F')");
    EXPECT_EQ(db.execAndGet("SELECT UserID FROM tblUserInfo WHERE UserName = 'TANAKA'").getInt(), 1);
    EXPECT_EQ(db.execAndGet("SELECT PrinterID FROM tblPrintingMachineInfo WHERE PrinterName = 'laser-3f'").getInt(), 1);
}

} // namespace
} // namespace hvn::db
