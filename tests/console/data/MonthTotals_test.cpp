// The statements that read the month totals against the same statements over the records, on
// one file, through every kind of write that changes the records.

#include <algorithm>
#include <string>

#include <QHash>

#include <SQLiteCpp/Statement.h>
#include <gtest/gtest.h>

#include "data/DbConnection.h"
#include "data/FieldText.h"
#include "data/FiscalYearCalc.h"
#include "data/Query.h"
#include "data/StatisticsQueries.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

// The tabs' statements written over the records, as they read before the totals existed.
const QStringList kRecordsUsers{
    "SELECT tblUserInfo.UserName AS UserName, subq.sum1 AS sum1, subq.sum2 AS sum2, subq.sum3 AS sum3,",
    " ROUND(CAST(subq.sum1 - subq.sum3 AS REAL) / subq.sum1 * 100, 1) AS Expr1004",
    " FROM (SELECT UserID, SUM(DocumentPages) AS sum1, SUM(SidesOfPaper) AS sum2, SUM(SheetsOfPaper) AS sum3",
    "  FROM tblPrintingData WHERE dbDateTime >= :iistDate AND dbDateTime < :iiedDate GROUP BY UserID) AS subq",
    " LEFT JOIN tblUserInfo ON subq.UserID=tblUserInfo.UserID ORDER BY subq.UserID;"};
const QStringList kRecordsPrinters{
    "SELECT tblPrintingMachineInfo.CommonPrinterName AS CommonPrinterName,",
    " SUM(DocumentPages) AS sum1, SUM(SidesOfPaper) AS sum2, SUM(SheetsOfPaper) AS sum3,",
    " ROUND(CAST(SUM(DocumentPages) - SUM(SheetsOfPaper) AS REAL) / SUM(DocumentPages) * 100, 1) AS Expr1004",
    " FROM tblPrintingData LEFT JOIN tblPrintingMachineInfo",
    " ON (tblPrintingData.PrinterID = tblPrintingMachineInfo.PrinterID)",
    " WHERE (dbDateTime >= :iistDate AND dbDateTime < :iiedDate)",
    " GROUP BY tblPrintingMachineInfo.CommonPrinterName ORDER BY tblPrintingMachineInfo.CommonPrinterName"};
const QStringList kRecordsComputers{
    "SELECT ComputerName AS ComputerName, SUM(DocumentPages) AS sum1, SUM(SidesOfPaper) AS Expr1002,",
    " SUM(SheetsOfPaper) AS sum3,",
    " ROUND(CAST(SUM(DocumentPages) - SUM(SheetsOfPaper) AS REAL) / SUM(DocumentPages) * 100, 1) AS Expr1004",
    " FROM (SELECT * FROM tblPrintingData WHERE dbDateTime >= :iistDate AND dbDateTime < :iiedDate)",
    " GROUP BY ComputerName ORDER BY ComputerName;"};
const QStringList kRecordsSections{
    "SELECT tName AS nma, SUM(dp) AS dpa, SUM(sp) AS spa,",
    " ROUND(CAST(SUM(dp) - SUM(sp) AS REAL) / SUM(dp) * 100, 1) AS rta",
    " FROM (SELECT tblUserInfo.TargetLevelName AS tName, tblUserInfo.TargetLevelID AS tID,",
    "  tblPrn.DocumentPages AS dp, tblPrn.SheetsOfPaper AS sp",
    "  FROM (SELECT * FROM tblPrintingData WHERE dbDateTime >= :iistDate AND dbDateTime < :iiedDate) AS tblPrn",
    "  LEFT JOIN tblUserInfo ON tblPrn.UserID=tblUserInfo.UserID) AS tblx",
    " GROUP BY tName;"};
const QStringList kRecordsSectionCalc{
    "SELECT substr(tblPrintingData.dbDateTime, 1, 7) AS ym, SUM(DocumentPages) AS DocPage,",
    " SUM(SheetsOfPaper) AS ShtPage FROM tblPrintingData LEFT JOIN tblUserInfo",
    " ON tblPrintingData.UserID=tblUserInfo.UserID",
    " WHERE (tblPrintingData.dbDateTime >= :iFrom AND tblPrintingData.dbDateTime < :iTo)",
    " AND tblUserInfo.TargetLevelID = :iSecID GROUP BY ym;"};
const QStringList kRecordsPrinterCalc{
    "SELECT substr(tpd.dbDateTime, 1, 7) AS ym, SUM(tpd.DocumentPages) AS DocPage,",
    " SUM(tpd.SheetsOfPaper) AS ShtPage FROM tblPrintingData AS tpd",
    " LEFT JOIN tblPrintingMachineInfo AS tpm ON tpd.PrinterID = tpm.PrinterID",
    " WHERE (tpd.dbDateTime >= :iFrom AND tpd.dbDateTime < :iTo)",
    " AND (tpd.PrinterID = :JPrinterID OR tpm.ParentPrinterID = :PPrinterID) GROUP BY ym;"};

// Six users (two sharing an identifier) in sections, printers with a group and a printer
// identifier registered twice, records over three years around the boundaries, and records
// a script could leave: dates of other widths or types, dates before 2001, NULL identifiers,
// counts that are not integers.
class MonthTotalsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int id = 1; id <= 5; ++id)
            file.addUser(id, "user" + std::to_string(id));
        file.addUser(2, "user2 again");
        file.db().exec("UPDATE tblUserInfo SET TargetLevelID = UserID % 2 + 1,"
                       " TargetLevelName = CASE UserID % 2 WHEN 0 THEN 'even' ELSE 'odd' END");
        file.addPrinter(1, "P1", "GroupA");
        file.addPrinter(2, "P2", "GroupA");
        file.addPrinter(3, "P3", "P3");
        file.addPrinter(3, "P3 again", "Other");
        file.db().exec("UPDATE tblPrintingMachineInfo SET ParentPrinterID = 1 WHERE PrinterID = 2");
        file.db().exec("BEGIN");
        for (int i = 0; i < 2400; ++i) {
            char date[32];
            // Every month of 2003 to 2005, the first and last instants of months included.
            const int month = i % 36;
            const int day = i % 7 == 0 ? 1 : 1 + i % 28;
            const char *time = i % 7 == 0 ? "00:00:00.000" : i % 11 == 0 ? "23:59:59.999" : "12:30:00.500";
            std::snprintf(date, sizeof date, "%04d-%02d-%02d %s", 2003 + month / 12, 1 + month % 12, day, time);
            file.addRecord(1 + i % 6, 1 + i % 4, i % 5 == 0 ? "PC-A" : "PC" + std::to_string(i % 3), i % 9,
                           i % 9, i % 4, date);
        }
        const char *const oddRows[] = {
            "(1, 1, 'PC0', 4, 4, 2, '2004-04')",                    // before April's first instant
            "(1, 1, 'PC0', 4, 4, 2, '2004-04-00 10:00:00.000')",    // day 00: still March
            "(2, 2, 'PC1', 3, 3, 3, '2004-4-5 10:00:00')",          // odd widths
            "(2, 2, 'PC1', 3, 3, 3, '2004-13-01 00:00:00.000')",    // no such month
            "(3, 3, 'PC2', 5, 5, 1, '2004-06-30 24:00:00.000')",    // odd time, still June
            "(3, 3, 'PC2', 5, 5, 1, '2004-06-15')",                 // no time
            "(4, 1, 'PC0', 5, 5, 1, 2004)",                         // a number
            "(4, 1, 'PC0', 5, 5, 1, NULL)",
            "(5, 2, 'PC1', 6, 6, 2, '2000-12-31 23:59:59.999')",    // before 2001
            "(NULL, NULL, NULL, 7, 7, 7, '2004-05-05 05:05:05.005')",
            "(1, 2, 'PC0', 2.5, 2.5, 1.5, '2004-05-06 00:00:00.000')",
            "(1, 2, 'PC0', NULL, NULL, NULL, '2004-05-07 00:00:00.000')",
            "(99, 98, 'PC9', 1, 1, 1, '2004-05-08 00:00:00.000')",  // unregistered user and printer
            "('x', 'y', 'PC0', 'z', 1, 1, '2004-05-09 00:00:00.000')",
        };
        for (const char *row : oddRows)
            file.db().exec(std::string("INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages,"
                                       " SidesOfPaper, SheetsOfPaper, dbDateTime) VALUES ") +
                           row);
        file.db().exec("COMMIT");
    }

    // The rows as sorted "a|b|c" texts, NULL as "~".
    QStringList run(const QStringList &sql, const QHash<QString, QVariant> &params)
    {
        TQuery query;
        query.SQL() = sql;
        for (auto it = params.begin(); it != params.end(); ++it)
            query.setParam(it.key(), it.value());
        query.open(conn);
        QStringList rows;
        QStringList names;
        for (int column = 0; column < query.fieldCount(); ++column)
            names << query.fieldName(column);
        rows << names.join(QLatin1Char(','));
        for (int row = 0; row < query.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < query.fieldCount(); ++column) {
                const QVariant v = query.value(row, column);
                cells << (v.isValid() ? fieldDisplayText(v, false) : QStringLiteral("~"));
            }
            rows << cells.join(QLatin1Char('|'));
        }
        std::sort(rows.begin() + 1, rows.end());
        return rows;
    }

    // Every statement of the totals against its statement over the records, on the periods
    // the console offers and on ranges that are not whole months.
    void expectTotalsGiveTheRecordsRows()
    {
        const struct {
            const char *from;
            const char *to;
        } periods[] = {
            {"2004-04-01 00:00:00.000", "2004-05-01 00:00:00.000"}, // one month
            {"2003-06-01 00:00:00.000", "2004-06-01 00:00:00.000"}, // twelve
            {"2003-01-01 00:00:00.000", "2005-01-01 00:00:00.000"}, // twenty-four
            {"2001-01-01 00:00:00.000", "2006-01-01 00:00:00.000"}, // "すべて"
            {"2004-04-15 12:30:00.500", "2004-06-15 00:00:00.000"}, // not whole months
            {"2004-04-01 00:00:00.000", "2004-04-01 00:00:00.000"}, // empty
        };
        const struct {
            const char *name;
            QStringList totals;
            QStringList records;
        } statements[] = {
            {"users", qUserDataSql(), kRecordsUsers},
            {"printers", qPrinterDataSql(), kRecordsPrinters},
            {"computers", qComputerSql(), kRecordsComputers},
            {"sections", qSectionSql(), kRecordsSections},
        };
        for (const auto &period : periods) {
            const QHash<QString, QVariant> params{{QStringLiteral("iistDate"), QString::fromLatin1(period.from)},
                                                  {QStringLiteral("iiedDate"), QString::fromLatin1(period.to)}};
            for (const auto &statement : statements) {
                SCOPED_TRACE(std::string(statement.name) + " from " + period.from + " to " + period.to);
                EXPECT_EQ(run(statement.totals, params), run(statement.records, params));
            }
        }
        // Fiscal years from April: one within the data, one half in it, one before it.
        const struct {
            const char *from;
            const char *to;
        } fiscalRanges[] = {
            {"2003-04-01 00:00:00.000", "2005-04-01 00:00:00.000"},
            {"2004-04-01 00:00:00.000", "2006-04-01 00:00:00.000"},
            {"1999-04-01 00:00:00.000", "2001-04-01 00:00:00.000"},
        };
        for (const auto &[from, toText] : fiscalRanges) {
            const QString to = QString::fromLatin1(toText);
            for (int section : {1, 2, 3}) {
                SCOPED_TRACE(std::string("section ") + std::to_string(section) + " from " + from);
                const QHash<QString, QVariant> params{{QStringLiteral("iFrom"), QString::fromLatin1(from)},
                                                      {QStringLiteral("iTo"), to},
                                                      {QStringLiteral("iSecID"), section}};
                EXPECT_EQ(run(qSectionCalcSql(), params), run(kRecordsSectionCalc, params));
            }
            for (int printer : {1, 2, 3, 98}) {
                SCOPED_TRACE(std::string("printer ") + std::to_string(printer) + " from " + from);
                const QHash<QString, QVariant> params{{QStringLiteral("iFrom"), QString::fromLatin1(from)},
                                                      {QStringLiteral("iTo"), to},
                                                      {QStringLiteral("JPrinterID"), printer},
                                                      {QStringLiteral("PPrinterID"), printer}};
                EXPECT_EQ(run(qPrinterCalcSql(), params), run(kRecordsPrinterCalc, params));
            }
        }
    }

    test::TestDatabase file;
    TDbConnection conn{file.connectionString()};
};

TEST_F(MonthTotalsTest, TotalsGiveTheRecordsRowsAfterInsertsDeletionsAndUpdates)
{
    {
        SCOPED_TRACE("as inserted");
        expectTotalsGiveTheRecordsRows();
    }
    {
        SCOPED_TRACE("after a deletion with a cut-off inside a month");
        file.db().exec("DELETE FROM tblPrintingData WHERE dbDateTime < '2003-07-15 12:30:00.500'");
        expectTotalsGiveTheRecordsRows();
    }
    {
        SCOPED_TRACE("after the deletion of odd-shaped records and one of two equal copies");
        file.db().exec("INSERT INTO tblPrintingData SELECT * FROM tblPrintingData WHERE dbDateTime = '2004-04'");
        file.db().exec("DELETE FROM tblPrintingData WHERE rowid IN (SELECT rowid FROM tblPrintingData"
                       " WHERE dbDateTime = '2004-04' LIMIT 1)");
        file.db().exec("DELETE FROM tblPrintingData WHERE dbDateTime IS NULL OR UserID IS NULL");
        expectTotalsGiveTheRecordsRows();
    }
    {
        SCOPED_TRACE("after updates that move records between months, keys and shapes");
        file.db().exec("UPDATE tblPrintingData SET dbDateTime = '2004-08-01 00:00:00.000', UserID = 5"
                       " WHERE rowid % 17 = 0");
        file.db().exec("UPDATE tblPrintingData SET dbDateTime = '2004-08' WHERE rowid % 19 = 0");
        file.db().exec("UPDATE tblPrintingData SET DocumentPages = 1.5 WHERE rowid % 23 = 0");
        expectTotalsGiveTheRecordsRows();
    }
    {
        SCOPED_TRACE("after every record is deleted");
        file.db().exec("DELETE FROM tblPrintingData");
        expectTotalsGiveTheRecordsRows();
        for (const char *table : {"tblUserMonth", "tblPrinterMonth", "tblComputerMonth", "tblPrintingDataOdd"}) {
            SQLite::Statement count(file.db(), std::string("SELECT COUNT(*) FROM ") + table);
            count.executeStep();
            EXPECT_EQ(count.getColumn(0).getInt(), 0) << table << " keeps rows of deleted records";
        }
    }
}

TEST_F(MonthTotalsTest, AWriteThatFailsLeavesTheTotalsAsTheRecords)
{
    file.db().exec("BEGIN");
    file.addRecord(1, 1, "PC0", 1000, 1000, 1, "2004-04-10 00:00:00.000");
    file.db().exec("DELETE FROM tblPrintingData WHERE dbDateTime < '2004-01-01 00:00:00.000'");
    file.db().exec("ROLLBACK");
    expectTotalsGiveTheRecordsRows();
}

} // namespace
} // namespace hvn::console
