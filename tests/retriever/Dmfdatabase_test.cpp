#include "Dmfdatabase.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include "Connection.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using test::Frame;
using test::TestDatabase;

class DmfdatabaseTest : public ::testing::Test {
protected:
    TestDatabase files;
    TdmDatabase module{files.registry()};
};

TEST(Dmfdatabase, CreationFailsWhenTheDatabaseCannotBeOpened)
{
    TestDatabase files;
    EXPECT_THROW(TdmDatabase{files.brokenRegistry()}, std::runtime_error);
    hvn::test::TempDir folder;
    EXPECT_THROW(TdmDatabase{TdmRegistryCtl(folder.path() / "none.reg")}, std::runtime_error);
    // A database file without the tables.
    const auto bare = folder.path() / "bare.db";
    SQLite::Database(bare.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec("CREATE TABLE t (x)");
    TdmRegistryCtl registry(folder.path() / "bare.reg");
    ASSERT_TRUE(registry.SetRegistryString("DatabasePath", bare.string()));
    EXPECT_THROW(TdmDatabase{registry}, std::runtime_error);
}

TEST_F(DmfdatabaseTest, FirstUserAndPrinterGetIdOneWithTheirInitialColumns)
{
    EXPECT_EQ(module.GetUserID("alice"), 1);
    EXPECT_EQ(module.GetPrinterID("LP1"), 1);
    EXPECT_EQ(files.rows("SELECT UserID, UserName, SectionID, UserRealName, TargetLevelID FROM tblUserInfo"),
              std::vector<std::string>{"1|alice|0|alice|NULL"});
    EXPECT_EQ(files.rows("SELECT * FROM tblPrintingMachineInfo"), std::vector<std::string>{"1|LP1|0|1|LP1"});
}

TEST_F(DmfdatabaseTest, NewIdsAreTheLargestPlusOneWhateverTheRowOrder)
{
    files.exec("INSERT INTO tblPrintingMachineInfo VALUES (3,'a',0,3,'a'),(7,'b',0,7,'b'),(5,'c',0,5,'c')");
    files.exec("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (41,'u',0,'u')");
    EXPECT_EQ(module.GetPrinterID("P"), 8);
    EXPECT_EQ(module.GetUserID("v"), 42);
    EXPECT_EQ(files.rows("SELECT * FROM tblPrintingMachineInfo WHERE PrinterName = 'P'"),
              std::vector<std::string>{"8|P|0|8|P"});
}

TEST_F(DmfdatabaseTest, KnownNamesResolveToTheFirstRowInTableOrderWithoutNewRows)
{
    // Two rows share a name; the console has since moved the first into a section and a group.
    files.exec("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
               " (5,'bob',9,'Robert'),(2,'bob',0,'bob')");
    files.exec("INSERT INTO tblPrintingMachineInfo VALUES (6,'LP',4,4,'Group'),(1,'LP',0,1,'LP')");
    EXPECT_EQ(module.GetUserID("bob"), 5);
    EXPECT_EQ(module.GetUserID("BOB"), 5); // names compare without regard to letter case
    EXPECT_EQ(module.GetPrinterID("lp"), 6);
    EXPECT_EQ(files.count("tblUserInfo"), 2);
    EXPECT_EQ(files.count("tblPrintingMachineInfo"), 2);
}

TEST_F(DmfdatabaseTest, NamesWithQuotesJapaneseOrNothingAreRegisteredOnceAndFoundAgain)
{
    const std::vector<std::string> names = {
        "o'brien", "a''b", "x'); DELETE FROM tblUserInfo; --", "山田太郎", "ｶﾅ", "", "%", "_",
    };
    std::vector<int> ids;
    for (const std::string &name : names)
        ids.push_back(module.GetUserID(name));
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(ids[i], static_cast<int>(i + 1)) << names[i];
        EXPECT_EQ(module.GetUserID(names[i]), ids[i]) << names[i];
        EXPECT_EQ(files.rows("SELECT UserName FROM tblUserInfo WHERE UserID = " + std::to_string(ids[i])),
                  std::vector<std::string>{names[i]});
    }
    EXPECT_EQ(files.count("tblUserInfo"), static_cast<std::int64_t>(names.size()));
}

TEST_F(DmfdatabaseTest, PrintRowStoresTheJobsOwnDateAndParsedFieldsWithBadCountsAsZero)
{
    Frame good("alice", "LP1", "山田のPC");
    good.raw(record::kDocumentPages, "  12").raw(record::kSidesOfPaper, "0008").raw(record::kSheetsOfPaper, "   4");
    module.AddPrintingData(good.body(), 3, 4);
    Frame bad;
    bad.raw(record::kDocumentPages, "7   ").raw(record::kSidesOfPaper, "ab").raw(record::kSheetsOfPaper, "    ");
    module.AddPrintingData(bad.body(), 1, 2);
    module.AddPrintingData(Frame().raw(record::kMonth, "00").body(), 1, 1);
    EXPECT_EQ(files.rows("SELECT * FROM tblPrintingData"),
              (std::vector<std::string>{"3|4|山田のPC|12|8|4|2004-04-01 09:30:15.250",
                                        "1|2|PC01|0|0|0|2004-04-01 09:30:15.250"}));
}

TEST_F(DmfdatabaseTest, FailedInsertIsSwallowedAndTheTransactionStillCommits)
{
    files.exec("CREATE TRIGGER rejectRow BEFORE INSERT ON tblPrintingData"
               " BEGIN SELECT RAISE(ABORT, 'rejected'); END");
    module.BeginTransaction();
    const int user = module.GetUserID("alice");
    EXPECT_NO_THROW(module.AddPrintingData(Frame().body(), user, 1));
    module.CommitTransaction();
    EXPECT_EQ(files.count("tblUserInfo"), 1);
    EXPECT_EQ(files.count("tblPrintingData"), 0);
}

TEST_F(DmfdatabaseTest, RollbackUndoesTheOpenTransactionAndIsHarmlessWithoutOne)
{
    module.RollbackTransaction();
    module.BeginTransaction();
    module.GetUserID("gone");
    module.RollbackTransaction();
    EXPECT_EQ(files.count("tblUserInfo"), 0);
    module.BeginTransaction(); // a new transaction can start after the rollback
    module.GetUserID("kept");
    module.CommitTransaction();
    EXPECT_EQ(files.rows("SELECT UserID, UserName FROM tblUserInfo"), std::vector<std::string>{"1|kept"});
}

} // namespace
} // namespace hvn::retriever
