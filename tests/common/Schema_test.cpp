#include "Schema.h"
#include "TempDir.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <gtest/gtest.h>

namespace hvn::schema {
namespace {

std::vector<std::string> columnsOf(SQLite::Database &db, const std::string &table)
{
    SQLite::Statement q(db, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
    q.bind(1, table);
    std::vector<std::string> names;
    while (q.executeStep())
        names.push_back(q.getColumn(0).getString());
    return names;
}

class SchemaTest : public ::testing::Test {
protected:
    test::TempDir dir;
    SQLite::Database db{(dir / "hvn.db").string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE};
};

TEST_F(SchemaTest, CreatesTheFourTablesWithTheirExactColumns)
{
    createSchema(db);
    using V = std::vector<std::string>;
    EXPECT_EQ(columnsOf(db, "tblPrintingData"),
              (V{"UserID", "PrinterID", "ComputerName", "DocumentPages", "SidesOfPaper", "SheetsOfPaper", "dbDateTime"}));
    EXPECT_EQ(columnsOf(db, "tblUserInfo"),
              (V{"UserID", "UserName", "SectionID", "UserRealName", "TargetLevelID", "TargetLevelName"}));
    EXPECT_EQ(columnsOf(db, "tblPrintingMachineInfo"),
              (V{"PrinterID", "PrinterName", "ParentPrinterID", "GroupPrinterID", "CommonPrinterName"}));
    EXPECT_EQ(columnsOf(db, "tblSectionInfo"),
              (V{"SectionID", "SectionName", "ParentSectionID", "SectionLevel", "SectionFullName"}));
    EXPECT_NO_THROW(checkSchema(db));
}

TEST_F(SchemaTest, DuplicateNamesAreAllowed)
{
    createSchema(db);
    db.exec("INSERT INTO tblUserInfo (UserID, UserName) VALUES (1, 'sato'), (2, 'sato')");
    db.exec("INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName) VALUES (1, 'p'), (1, 'p')");
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM tblUserInfo").getInt(), 2);
}

TEST_F(SchemaTest, PeriodTotalsAreReadFromTheIndexAlone)
{
    createSchema(db);
    SQLite::Statement plan(db, "EXPLAIN QUERY PLAN SELECT UserID, SUM(DocumentPages), SUM(SidesOfPaper),"
                               " SUM(SheetsOfPaper) FROM tblPrintingData"
                               " WHERE dbDateTime >= ? AND dbDateTime < ? GROUP BY UserID");
    std::string detail;
    while (plan.executeStep())
        detail += plan.getColumn(3).getString() + "\n";
    EXPECT_NE(detail.find("COVERING INDEX idxPrintingDataPeriod"), std::string::npos) << detail;
}

TEST_F(SchemaTest, NameLookupsUseAnIndex)
{
    createSchema(db);
    for (const char *sql : {"SELECT UserID FROM tblUserInfo WHERE UserName = ?",
                            "SELECT PrinterID FROM tblPrintingMachineInfo WHERE PrinterName = ?"}) {
        SQLite::Statement plan(db, std::string("EXPLAIN QUERY PLAN ") + sql);
        std::string detail;
        while (plan.executeStep())
            detail += plan.getColumn(3).getString();
        EXPECT_NE(detail.find("USING INDEX"), std::string::npos) << sql << ": " << detail;
    }
}

TEST_F(SchemaTest, CheckNamesTheMissingTableOrColumn)
{
    db.exec("CREATE TABLE tblPrintingData (UserID INTEGER)");
    try {
        checkSchema(db);
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("tblPrintingData has no column PrinterID"), std::string::npos) << e.what();
    }
    SQLite::Database other((dir / "other.db").string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    EXPECT_THROW(checkSchema(other), std::runtime_error);
}

} // namespace
} // namespace hvn::schema
