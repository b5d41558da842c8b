#include "Setup.h"

#include "Dmregistry.h"
#include "RegistryFile.h"
#include "Schema.h"
#include "TempDir.h"

#include <SQLiteCpp/Database.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <stdlib.h>

namespace hvn::setup {
namespace {

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("HALVANE_REGISTRY", store.c_str(), 1); }
    void TearDown() override { ::unsetenv("HALVANE_REGISTRY"); }

    int runWith(std::vector<std::string> args)
    {
        out.str({});
        err.str({});
        return run(args, out, err);
    }

    test::TempDir dir;
    std::string store = (dir / "etc" / "registry.reg").string();
    std::ostringstream out, err;
};

TEST_F(SetupTest, InitCreatesDatabaseFolderAndSettings)
{
    const auto db = dir / "var" / "hvn.db";
    ASSERT_EQ(runWith({"init", "--database", db.string(), "--port", "2033", "--console-port", "2034"}), 0)
        << err.str();
    {
        SQLite::Database check(db.string(), SQLite::OPEN_READWRITE);
        // The four tables and the four of the month totals.
        EXPECT_EQ(check.execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE type='table'").getInt(), 8);
        EXPECT_TRUE(schema::hasMonthTotals(check));
        EXPECT_EQ(check.execAndGet("PRAGMA journal_mode").getString(), "wal");
    }

    const TdmRegistryCtl reg(store);
    EXPECT_EQ(reg.GetRegistryString("DatabasePath"), db.string());
    EXPECT_EQ(reg.GetRegistryInteger("PortNumber"), 2033);
    EXPECT_EQ(reg.GetRegistryInteger("PortNumberConsole"), 2034);
    // Nothing but the database is left in its folder once the connections are closed.
    int files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir / "var"))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(SetupTest, AgentNetworksAreStoredCanonicalAndAMalformedListChangesNothing)
{
    const auto db = dir / "var" / "hvn.db";
    ASSERT_EQ(runWith({"init", "--database", db.string(), "--agent-networks", "192.168.10.0/24 10.1.0.7,::1"}), 0)
        << err.str();
    const TdmRegistryCtl reg(store);
    EXPECT_EQ(reg.GetRegistryString("AgentNetworks"), "192.168.10.0/24, 10.1.0.7/32, ::1/128");

    EXPECT_EQ(runWith({"init", "--database", db.string(), "--agent-networks", "192.168.10.1/24"}), 1);
    EXPECT_NE(err.str().find("--agent-networks: \"192.168.10.1/24\" is not a network"), std::string::npos) << err.str();
    EXPECT_EQ(reg.GetRegistryString("AgentNetworks"), "192.168.10.0/24, 10.1.0.7/32, ::1/128");

    // Leaving the option out keeps the list; an empty list lifts the restriction.
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0) << err.str();
    EXPECT_EQ(reg.GetRegistryString("AgentNetworks"), "192.168.10.0/24, 10.1.0.7/32, ::1/128");
    ASSERT_EQ(runWith({"init", "--database", db.string(), "--agent-networks", ""}), 0) << err.str();
    EXPECT_EQ(reg.GetRegistryString("AgentNetworks"), "");
}

TEST_F(SetupTest, DefaultPortsAndRelativePathStoredAbsolute)
{
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const int rc = runWith({"init", "--database", "rel.db"});
    std::filesystem::current_path(cwd);
    ASSERT_EQ(rc, 0) << err.str();
    const TdmRegistryCtl reg(store);
    EXPECT_EQ(reg.GetRegistryString("DatabasePath"), (dir / "rel.db").string());
    EXPECT_EQ(reg.GetRegistryInteger("PortNumber"), 1033);
    EXPECT_EQ(reg.GetRegistryInteger("PortNumberConsole"), 1034);
}

TEST_F(SetupTest, InitOnAnExistingDatabaseKeepsItsRows)
{
    const auto db = dir / "hvn.db";
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0) << err.str();
    {
        SQLite::Database w(db.string(), SQLite::OPEN_READWRITE);
        w.exec("INSERT INTO tblUserInfo (UserID, UserName) VALUES (7, 'kept')");
    }
    ASSERT_EQ(runWith({"init", "--database", db.string(), "--port", "3000", "--console-port", "3001"}), 0)
        << err.str();
    EXPECT_NE(out.str().find("kept existing database"), std::string::npos);
    SQLite::Database check(db.string());
    EXPECT_EQ(check.execAndGet("SELECT UserName FROM tblUserInfo WHERE UserID = 7").getString(), "kept");
    EXPECT_EQ(TdmRegistryCtl(store).GetRegistryInteger("PortNumber"), 3000);
}

// A file as an earlier version made it: the four tables with records, without the indexes of
// the fiscal-year sums and without the month totals.
class SetupUpgradeTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        SQLite::Database w(db.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        schema::createTables(w);
        w.exec("BEGIN");
        for (int i = 0; i < 500; ++i) {
            w.exec("INSERT INTO tblPrintingData VALUES (" + std::to_string(1 + i % 7) + ", " + std::to_string(1 + i % 3) +
                   ", 'PC" + std::to_string(i % 4) + "', " + std::to_string(i % 9) + ", 1, " + std::to_string(i % 5) +
                   ", '2004-" + (i % 12 < 9 ? "0" : "") + std::to_string(1 + i % 12) + "-03 10:00:00.000')");
        }
        w.exec("INSERT INTO tblPrintingData VALUES (1, 1, 'PC0', 3, 3, 3, '2004-05')");
        w.exec("COMMIT");
    }

    std::string records()
    {
        SQLite::Database r(db.string());
        return r.execAndGet("SELECT group_concat(quote(UserID) || quote(PrinterID) || quote(ComputerName) ||"
                            " quote(DocumentPages) || quote(SheetsOfPaper) || quote(dbDateTime), ';')"
                            " FROM (SELECT * FROM tblPrintingData ORDER BY rowid)")
            .getString();
    }

    // How far the user totals and the odd-shaped copies are from what the records give: 0 when
    // they agree.
    int totalsOff()
    {
        SQLite::Database r(db.string());
        const std::string fromRecords = "SELECT substr(dbDateTime, 1, 7), UserID, SUM(DocumentPages),"
                                        " SUM(SheetsOfPaper), COUNT(*) FROM tblPrintingData"
                                        " WHERE length(dbDateTime) = 23 GROUP BY 1, 2";
        const std::string fromTotals = "SELECT Month, UserID, Pages, Sheets, Records FROM tblUserMonth";
        return r.execAndGet("SELECT (SELECT COUNT(*) FROM (" + fromRecords + " EXCEPT " + fromTotals + "))"
                            " + (SELECT COUNT(*) FROM (" + fromTotals + " EXCEPT " + fromRecords + "))"
                            " + abs((SELECT COUNT(*) FROM tblPrintingDataOdd) - 1)")
            .getInt();
    }

    const std::filesystem::path db = dir / "old.db";
};

TEST_F(SetupUpgradeTest, InitAddsIndexesAndTotalsOnceAndChangesNoRecord)
{
    const std::string before = records();
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0) << err.str();
    EXPECT_NE(out.str().find("creating index idxPrintingDataUser\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("summing the print records into tblUserMonth\n"), std::string::npos) << out.str();
    EXPECT_EQ(records(), before);
    EXPECT_EQ(totalsOff(), 0);
    {
        SQLite::Database w(db.string(), SQLite::OPEN_READWRITE);
        EXPECT_TRUE(schema::hasMonthTotals(w));
        w.exec("INSERT INTO tblPrintingData VALUES (2, 2, 'PC1', 8, 8, 4, '2004-07-09 00:00:00.000')");
    }
    EXPECT_EQ(totalsOff(), 0) << "the triggers do not keep the totals";

    // Up to date: nothing is made again.
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0) << err.str();
    EXPECT_EQ(out.str().find("summing"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("creating"), std::string::npos) << out.str();

    // Totals missing a trigger may have missed writes: they are made again from the records.
    {
        SQLite::Database w(db.string(), SQLite::OPEN_READWRITE);
        w.exec("DROP TRIGGER trgPrintingDataInsertMonth");
        w.exec("INSERT INTO tblPrintingData VALUES (3, 3, 'PC2', 9, 9, 9, '2004-08-09 00:00:00.000')");
    }
    EXPECT_NE(totalsOff(), 0);
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0) << err.str();
    EXPECT_NE(out.str().find("summing the print records into tblUserMonth\n"), std::string::npos) << out.str();
    EXPECT_EQ(totalsOff(), 0);
}

// A package upgrade brings the database that the settings name up to date and leaves the
// settings byte for byte; a database the administrator removed stays removed.
TEST_F(SetupUpgradeTest, UpgradeBringsTheSettingsDatabaseUpToDateAndWritesNoSetting)
{
    {
        const TdmRegistryCtl reg(store);
        std::filesystem::create_directories(std::filesystem::path(store).parent_path());
        ASSERT_TRUE(reg.SetRegistryString("DatabasePath", db.string()));
        ASSERT_TRUE(reg.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey, "PortNumber", 4033));
    }
    auto settingsText = [this] {
        std::ifstream in(store, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string settings = settingsText();
    const std::string before = records();
    ASSERT_EQ(runWith({"upgrade"}), 0) << err.str();
    EXPECT_NE(out.str().find("summing the print records into tblUserMonth\n"), std::string::npos) << out.str();
    EXPECT_EQ(records(), before);
    EXPECT_EQ(totalsOff(), 0);
    EXPECT_EQ(settingsText(), settings);

    std::filesystem::remove(db);
    ASSERT_EQ(runWith({"upgrade"}), 0) << err.str();
    EXPECT_FALSE(std::filesystem::exists(db));
    EXPECT_EQ(settingsText(), settings);

    std::filesystem::remove(store);
    EXPECT_EQ(runWith({"upgrade"}), 1);
    EXPECT_NE(err.str().find("no DatabasePath"), std::string::npos) << err.str();
}

TEST_F(SetupUpgradeTest, AFailedUpgradeChangesNothing)
{
    {
        // A view where a totals table belongs cannot be replaced: the upgrade fails late.
        SQLite::Database w(db.string(), SQLite::OPEN_READWRITE);
        w.exec("CREATE VIEW tblComputerMonth AS SELECT 1");
    }
    EXPECT_NE(runWith({"init", "--database", db.string()}), 0);
    EXPECT_NE(err.str().find("nothing was changed"), std::string::npos) << err.str();
    SQLite::Database r(db.string());
    EXPECT_EQ(r.execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('index', 'trigger')"
                           " OR name LIKE '%Month' AND type = 'table'")
                  .getInt(),
              0);
    EXPECT_FALSE(std::filesystem::exists(store)) << "settings written after a failed init";
}

TEST_F(SetupTest, RefusesAFileThatIsNotOursAndLeavesItAlone)
{
    const auto notes = dir / "notes.db";
    std::ofstream(notes) << "meeting notes, not a database\n";
    EXPECT_NE(runWith({"init", "--database", notes.string()}), 0);
    EXPECT_NE(err.str().find("is not a Halvane database"), std::string::npos) << err.str();
    std::ifstream in(notes);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "meeting notes, not a database");
    EXPECT_FALSE(std::filesystem::exists(store)) << "settings written after a failed init";

    const auto foreign = dir / "foreign.db";
    {
        SQLite::Database other(foreign.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        other.exec("CREATE TABLE tblUserInfo (UserID INTEGER)");
    }
    EXPECT_NE(runWith({"init", "--database", foreign.string()}), 0);
    EXPECT_NE(err.str().find("tblPrintingData is missing"), std::string::npos) << err.str();
}

TEST_F(SetupTest, FolderThatCannotBeMadeIsAClearError)
{
    // A file where a folder should be stops even root.
    std::ofstream(dir / "plain") << "x";
    EXPECT_NE(runWith({"init", "--database", (dir / "plain" / "sub" / "hvn.db").string()}), 0);
    EXPECT_NE(err.str().find("cannot create the database folder"), std::string::npos) << err.str();
}

TEST_F(SetupTest, FolderInPlaceOfTheFileIsAClearError)
{
    std::filesystem::create_directory(dir / "adir");
    EXPECT_NE(runWith({"init", "--database", (dir / "adir").string()}), 0);
    EXPECT_NE(err.str().find("is not a file"), std::string::npos) << err.str();
}

TEST_F(SetupTest, RejectsBadOptions)
{
    const auto db = (dir / "x.db").string();
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{},
                                               {"init"},
                                               {"init", "--database"},
                                               {"init", "--database", db, "--port", "0"},
                                               {"init", "--database", db, "--port", "70000"},
                                               {"init", "--database", db, "--port", "12ab"},
                                               {"init", "--database", db, "--port", "1500", "--console-port", "1500"},
                                               {"init", "--database", db, "--verbose"},
                                               {"frobnicate"}}) {
        EXPECT_NE(runWith(args), 0);
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(db));
}

TEST_F(SetupTest, AgentWritesTheCupsAgentKeyAndKeepsTheSharedValues)
{
    ASSERT_EQ(runWith({"init", "--database", (dir / "hvn.db").string(), "--port", "2033"}), 0) << err.str();
    ASSERT_EQ(runWith({"agent", "--host", "acct.example", "--port", "2033", "--spool", "rel/spool"}), 0) << err.str();
    const platform::RegistryFile file(store);
    EXPECT_EQ(file.read(kCupsAgentKey, "ServiceHost")->text, "acct.example");
    EXPECT_EQ(file.read(kCupsAgentKey, "ServicePort")->dword, 2033u);
    EXPECT_EQ(file.read(kCupsAgentKey, "SpoolFolder")->text, (std::filesystem::current_path() / "rel/spool").string());
    EXPECT_EQ(file.read(kProductKey, "PortNumber")->dword, 2033u);
    ASSERT_EQ(runWith({"show"}), 0);
    EXPECT_NE(out.str().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane\\CupsAgent]\nServiceHost = acct.example"),
              std::string::npos)
        << out.str();

    // Without --spool the folder stays as it was.
    ASSERT_EQ(runWith({"agent", "--host", "10.0.0.5", "--port", "1033"}), 0) << err.str();
    EXPECT_EQ(file.read(kCupsAgentKey, "ServiceHost")->text, "10.0.0.5");
    EXPECT_EQ(file.read(kCupsAgentKey, "SpoolFolder")->text, (std::filesystem::current_path() / "rel/spool").string());
}

TEST_F(SetupTest, AgentRefusesIncompleteOrBadOptionsAndWritesNothing)
{
    const std::vector<std::vector<std::string>> bad = {
        {"agent", "--host", "h"},
        {"agent", "--port", "1033"},
        {"agent", "--host", "", "--port", "1033"},
        {"agent", "--host", "a b", "--port", "1033"},
        {"agent", "--host", "h", "--port", "0"},
        {"agent", "--host", "h", "--port", "1033", "--spool", ""},
        {"agent", "--host", "h", "--port", "1033", "--database", "x"},
    };
    for (const auto &args : bad) {
        EXPECT_EQ(runWith(args), 1) << args.size();
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(store));
}

TEST_F(SetupTest, ShowPrintsTheThreeValues)
{
    EXPECT_EQ(runWith({"show"}), 1) << "show before init must fail";
    const auto db = dir / "hvn.db";
    ASSERT_EQ(runWith({"init", "--database", db.string()}), 0);
    ASSERT_EQ(runWith({"show"}), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("DatabasePath = " + db.string()), std::string::npos) << text;
    EXPECT_NE(text.find("PortNumber = 1033"), std::string::npos) << text;
    EXPECT_NE(text.find("PortNumberConsole = 1034"), std::string::npos) << text;
}

} // namespace
} // namespace hvn::setup
