#include "data/StatisticsQueries.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "data/DbConnection.h"
#include "data/FieldText.h"
#include "data/Query.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

// April 2004 as the period; records on both sides of both boundaries, records whose user or
// printer is not registered, two users named "alice", a printer group of two, zero-page
// records, and a rate per kind: 50, 0, 33.3, -20.
class StatisticsQueriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        file.addUser(1, "alice");
        file.addUser(2, "bob");
        file.addUser(3, "alice");
        file.addUser(4, "carol");
        file.addPrinter(1, "P1", "GroupA");
        file.addPrinter(2, "P2", "GroupA");
        file.addPrinter(3, "P3", "P3");
        file.addRecord(1, 1, "PC1", 10, 10, 5, "2004-04-01 00:00:00.000"); // exactly at the start
        file.addRecord(2, 3, "PC2", 3, 3, 3, "2004-04-15 09:30:15.250");
        file.addRecord(3, 2, "PC1", 3, 2, 2, "2004-04-20 12:00:00.000");
        file.addRecord(99, 1, "PC3", 4, 4, 2, "2004-04-10 08:00:00.000");  // no such user
        file.addRecord(2, 98, "PC2", 5, 5, 6, "2004-04-30 23:59:59.999");  // no such printer
        file.addRecord(1, 1, "PC1", 0, 0, 0, "2004-04-05 10:00:00.000");   // no pages
        file.addRecord(4, 3, "PC4", 0, 0, 0, "2004-04-02 07:00:00.000");   // no pages
        file.addRecord(1, 1, "PC1", 7, 7, 7, "2004-05-01 00:00:00.000");   // exactly at the end
        file.addRecord(1, 3, "PC1", 100, 100, 1, "2004-03-31 23:59:59.999"); // before the start
    }

    // The rows as "a|b|c" texts, NULL as "~", values as the grid shows them.
    QStringList run(const QStringList &sql, const char *start = "2004-04-01 00:00:00.000",
                    const char *end = "2004-05-01 00:00:00.000")
    {
        TQuery query;
        query.SQL() = sql;
        query.setParamDateTime(QStringLiteral("iistDate"), *hvn::DbDateTime::fromText(start));
        query.setParamDateTime(QStringLiteral("iiedDate"), *hvn::DbDateTime::fromText(end));
        query.open(conn);
        fields.clear();
        for (int column = 0; column < query.fieldCount(); ++column)
            fields << query.fieldName(column);
        QStringList rows;
        for (int row = 0; row < query.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < query.fieldCount(); ++column) {
                const QVariant v = query.value(row, column);
                cells << (v.isValid() ? fieldDisplayText(v, false) : QStringLiteral("~"));
            }
            rows << cells.join(QLatin1Char('|'));
        }
        return rows;
    }

    test::TestDatabase file;
    TDbConnection conn{file.connectionString()};
    QStringList fields;
};

TEST_F(StatisticsQueriesTest, RowsRatesJoinsAndHalfOpenPeriodOfEachQuery)
{
    struct Case {
        const char *name;
        std::function<QStringList()> sql;
        QStringList fields;
        QStringList rows;
    };
    const Case cases[] = {
        {"qReciveData: inner joins, newest first, rate per record",
         qReciveDataSql,
         {"UserName", "PrinterName", "ComputerName", "dp", "SidesOfPaper", "sp", "dbDateTime", "Expr1007"},
         {"alice|P2|PC1|3|2|2|2004-04-20 12:00:00.000|33.3",
          "bob|P3|PC2|3|3|3|2004-04-15 09:30:15.250|0",
          "alice|P1|PC1|0|0|0|2004-04-05 10:00:00.000|~",
          "carol|P3|PC4|0|0|0|2004-04-02 07:00:00.000|~",
          "alice|P1|PC1|10|10|5|2004-04-01 00:00:00.000|50"}},
        {"qUserData: one row per UserID, unknown user under NULL",
         qUserDataSql,
         {"UserName", "sum1", "sum2", "sum3", "Expr1004"},
         {"alice|10|10|5|50", "bob|8|8|9|-12.5", "alice|3|2|2|33.3", "carol|0|0|0|~", "~|4|4|2|50"}},
        {"qPrinterData: one row per common name, unknown printer under NULL",
         qPrinterDataSql,
         {"CommonPrinterName", "sum1", "sum2", "sum3", "Expr1004"},
         {"~|5|5|6|-20", "GroupA|17|16|9|47.1", "P3|3|3|3|0"}},
        {"qComputer: one row per computer, records of unknown users and printers included",
         qComputerSql,
         {"ComputerName", "sum1", "Expr1002", "sum3", "Expr1004"},
         {"PC1|13|12|7|46.2", "PC2|8|8|9|-12.5", "PC3|4|4|2|50", "PC4|0|0|0|~"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.sql()), c.rows);
        EXPECT_EQ(fields, c.fields);
    }
}

TEST_F(StatisticsQueriesTest, EmptyPeriodGivesNoRowsButAllFields)
{
    for (const auto &sql : {qReciveDataSql, qUserDataSql, qPrinterDataSql, qComputerSql}) {
        EXPECT_TRUE(run(sql(), "2003-01-01 00:00:00.000", "2003-02-01 00:00:00.000").isEmpty());
        EXPECT_EQ(fields.size(), sql == qReciveDataSql ? 8 : 5);
    }
}

TEST_F(StatisticsQueriesTest, EveryGridColumnBindsToAFieldOfItsQuery)
{
    struct Case {
        const char *name;
        std::function<QStringList()> sql;
        QVector<TGridColumn> columns;
        int hiddenColumn;
    };
    const Case cases[] = {
        {"dbgReciveData", qReciveDataSql, dbgReciveDataColumns(), 4},
        {"dbgUserData", qUserDataSql, dbgUserDataColumns(), 2},
        {"dbgPrinterData", qPrinterDataSql, dbgPrinterDataColumns(), 2},
        {"dbgComputerData", qComputerSql, dbgComputerDataColumns(), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        run(c.sql());
        ASSERT_EQ(fields.size(), c.columns.size());
        for (int i = 0; i < c.columns.size(); ++i) {
            EXPECT_TRUE(fields.contains(c.columns[i].field)) << c.columns[i].field.toStdString();
            EXPECT_EQ(c.columns[i].visible, i != c.hiddenColumn) << i;
        }
    }
}


// The statements as first written, joining every record before grouping: the reference for the
// statements that sum per identifier first.
const QStringList kPlainPrinterData{
    "SELECT tblPrintingMachineInfo.CommonPrinterName AS CommonPrinterName,",
    " SUM(DocumentPages) AS sum1, SUM(SidesOfPaper) AS sum2, SUM(SheetsOfPaper) AS sum3,",
    " ROUND(CAST(SUM(DocumentPages) - SUM(SheetsOfPaper) AS REAL) / SUM(DocumentPages) * 100, 1) AS Expr1004",
    " FROM tblPrintingData LEFT JOIN tblPrintingMachineInfo",
    " ON (tblPrintingData.PrinterID = tblPrintingMachineInfo.PrinterID)",
    " WHERE (dbDateTime >= :iistDate AND dbDateTime < :iiedDate)",
    " GROUP BY tblPrintingMachineInfo.CommonPrinterName ORDER BY tblPrintingMachineInfo.CommonPrinterName"};
const QStringList kPlainSection{
    "SELECT tName AS nma, SUM(dp) AS dpa, SUM(sp) AS spa,",
    " ROUND(CAST(SUM(dp) - SUM(sp) AS REAL) / SUM(dp) * 100, 1) AS rta",
    " FROM (SELECT tblUserInfo.TargetLevelName AS tName, tblUserInfo.TargetLevelID AS tID,",
    "  tblPrn.DocumentPages AS dp, tblPrn.SheetsOfPaper AS sp",
    "  FROM (SELECT * FROM tblPrintingData WHERE dbDateTime >= :iistDate AND dbDateTime < :iiedDate) AS tblPrn",
    "  LEFT JOIN tblUserInfo ON tblPrn.UserID=tblUserInfo.UserID) AS tblx",
    " GROUP BY tName;"};

// On the fixture's edge rows plus many ordinary ones: records of unknown users and printers,
// a NULL PrinterID and UserID, a printer identifier registered twice under two names, a user
// identifier registered twice, sums crossing the group boundaries, zero-page groups.
TEST_F(StatisticsQueriesTest, GroupedByIdentifierFirstGivesThePlainStatementsRows)
{
    file.db().exec("UPDATE tblUserInfo SET TargetLevelName = CASE UserID % 2 WHEN 0 THEN 'even' ELSE 'odd' END");
    file.addPrinter(3, "P3 again", "Other");
    file.addUser(2, "bob again");
    file.db().exec("UPDATE tblUserInfo SET TargetLevelName = 'twice' WHERE UserName = 'bob again'");
    file.db().exec("BEGIN");
    for (int i = 0; i < 3000; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "2004-04-%02d %02d:00:00.000", 1 + i % 30, i % 24);
        file.addRecord(1 + i % 6, 1 + i % 5, "PC", i % 9, i % 9, i % 4, date);
    }
    file.db().exec("INSERT INTO tblPrintingData (UserID, PrinterID, DocumentPages, SidesOfPaper, SheetsOfPaper,"
                   " dbDateTime) VALUES (NULL, NULL, 5, 5, 1, '2004-04-09 00:00:00.000')");
    file.db().exec("COMMIT");
    struct Case {
        const char *name;
        QStringList sql;
        QStringList reference;
    };
    const Case cases[] = {
        {"qPrinterData", qPrinterDataSql(), kPlainPrinterData},
        {"qSection", qSectionSql(), kPlainSection},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList expected = run(c.reference);
        const QStringList expectedFields = fields;
        EXPECT_GE(expected.size(), 3);
        QStringList actual = run(c.sql);
        EXPECT_EQ(fields, expectedFields);
        QStringList sortedExpected = expected;
        sortedExpected.sort();
        actual.sort();
        EXPECT_EQ(actual, sortedExpected);
    }
}

} // namespace
} // namespace hvn::console
