#include "data/FiscalYearCalc.h"

#include <stdexcept>
#include <string>

#include <QDate>
#include <QDateTime>

#include <SQLiteCpp/Transaction.h>
#include <gtest/gtest.h>

#include "data/DbConnection.h"
#include "data/Query.h"
#include "data/SectionRollUp.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

TEST(FiscalYearCellTextTest, CountsAndRatesAreWrittenAsTheGridShowsThem)
{
    EXPECT_EQ(fiscalCountText(1234), QStringLiteral(" 1234 "));
    EXPECT_EQ(fiscalCountText(0), QStringLiteral(" 0 "));
    const struct {
        qlonglong pages, sheets;
        const char *text;
    } rates[] = {
        {200, 150, " 25.0% "}, {3, 2, " 33.3% "}, {0, 0, " 0.0% "}, {0, 5, " 0.0% "},
        {100, 100, " 0.0% "},  {100, 104, " -4.0% "}, {400, 350, " 12.5% "}, {1, 0, " 100.0% "},
    };
    for (const auto &r : rates)
        EXPECT_EQ(fiscalRateText(r.pages, r.sheets), QString::fromUtf8(r.text)) << r.pages << "/" << r.sheets;
}

TEST(FiscalYearCellTextTest, LayoutStartsTheMonthLabelsAtTheStartMonth)
{
    const FiscalYearCells april = fiscalYearLayout(4);
    EXPECT_EQ(april.cell(0, 0), QString());
    EXPECT_EQ(april.cell(1, 0), QStringLiteral("ページ数"));
    EXPECT_EQ(april.cell(6, 0), QStringLiteral("前年度削減率(%)"));
    EXPECT_EQ(april.cell(0, 1), QStringLiteral("4月"));
    EXPECT_EQ(april.cell(0, 9), QStringLiteral("12月"));
    EXPECT_EQ(april.cell(0, 10), QStringLiteral("1月"));
    EXPECT_EQ(april.cell(0, 12), QStringLiteral("3月"));
    EXPECT_EQ(april.cell(0, 13), QStringLiteral("累計"));
    EXPECT_EQ(april.cell(1, 1), QString());
    EXPECT_EQ(fiscalYearLayout(1).cell(0, 12), QStringLiteral("12月"));
}

// Five years of records on a three-level tree and a printer group, with records on the first
// and last millisecond of months, a record of an unregistered user and of an unregistered
// printer. Every table is compared with the month-by-month statement it replaces, run with
// the same parameters on the same data.
class FiscalYearCalcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto &db = file.db();
        db.exec("INSERT INTO tblSectionInfo VALUES (1,'A',0,1,'A'),(2,'B',1,2,'A B'),(3,'C',2,3,'A B C'),"
                " (4,'delete',-1,-1,'delete'),(5,'D',1,2,'A D')");
        for (int user = 1; user <= 6; ++user)
            file.addUser(user, "u" + std::to_string(user));
        db.exec("UPDATE tblUserInfo SET SectionID = CASE UserID WHEN 1 THEN 1 WHEN 2 THEN 2 WHEN 3 THEN 3"
                " WHEN 4 THEN 5 WHEN 5 THEN 4 ELSE 0 END");
        file.addPrinter(1, "P1", "G");
        file.addPrinter(2, "P2", "G");
        file.addPrinter(3, "P3", "P3");
        db.exec("UPDATE tblPrintingMachineInfo SET ParentPrinterID = 1, GroupPrinterID = 1 WHERE PrinterID = 2");
        SQLite::Transaction records(db);
        unsigned seed = 11;
        for (int i = 0; i < 900; ++i) {
            seed = seed * 1103515245u + 12345u;
            const int year = 2002 + static_cast<int>(seed >> 8) % 5;
            const int month = 1 + static_cast<int>(seed >> 12) % 12;
            const int day = 1 + static_cast<int>(seed >> 16) % 28;
            const int pages = static_cast<int>(seed >> 20) % 50;
            const char *time = i % 7 == 0 ? "00:00:00.000" : i % 7 == 1 ? "23:59:59.999" : "12:34:56.789";
            const int lastDay = QDate(year, month, 1).daysInMonth();
            file.addRecord(1 + i % 7, 1 + i % 4, "PC", pages, pages, pages / (1 + i % 3),
                           QString::asprintf("%04d-%02d-%02d %s", year, month, i % 7 == 1 ? lastDay : day, time)
                               .toStdString());
        }
        // On both sides of the first and the last instant of each calculated range.
        for (const char *edge : {"2003-%02d-01 00:00:00.000", "2005-%02d-01 00:00:00.000", "2006-%02d-01 00:00:00.000",
                                 "2004-%02d-01 00:00:00.000"}) {
            for (int month : {1, 4, 12}) {
                const QDateTime at = QDateTime::fromString(QString::asprintf(edge, month), "yyyy-MM-dd HH:mm:ss.zzz");
                for (const QDateTime &t : {at, at.addMSecs(-1)}) {
                    const std::string text = t.toString("yyyy-MM-dd HH:mm:ss.zzz").toStdString();
                    for (int user = 2; user <= 4; ++user)
                        file.addRecord(user, user - 1, "PC", 1000, 1000, 10, text);
                }
            }
        }
        records.commit();
        conn.setConnectionString(file.connectionString());
    }

    FiscalFigures reference(const QStringList &sql, const QString &idParam, int id, int year, int month)
    {
        TQuery query;
        query.SQL() = sql;
        query.setParam(QStringLiteral("iYear"), year);
        query.setParam(QStringLiteral("iMonth"), month);
        query.setParam(idParam, id);
        query.setParam(QStringLiteral("PPrinterID"), id);
        query.open(conn);
        return {query.value(0, QStringLiteral("DocPage")).toLongLong(),
                query.value(0, QStringLiteral("ShtPage")).toLongLong()};
    }

    void expectSameAsMonthByMonth(const FiscalYearTable &table, const QStringList &sql, const QString &idParam,
                                  int id)
    {
        FiscalFigures total, previousTotal;
        for (int row = 1; row <= 12; ++row) {
            const int k = table.startMonth + row - 1;
            const int year = table.year + (k - 1) / 12;
            const int month = (k - 1) % 12 + 1;
            const FiscalFigures current = reference(sql, idParam, id, year, month);
            const FiscalFigures previous = reference(sql, idParam, id, year - 1, month);
            EXPECT_EQ(table.current[row - 1], current) << "id " << id << " row " << row;
            EXPECT_EQ(table.previous[row - 1], previous) << "id " << id << " row " << row;
            EXPECT_EQ(table.cells.cell(1, row), fiscalCountText(current.pages));
            EXPECT_EQ(table.cells.cell(6, row), fiscalRateText(previous.pages, previous.sheets));
            total.pages += current.pages;
            total.sheets += current.sheets;
            previousTotal.pages += previous.pages;
            previousTotal.sheets += previous.sheets;
        }
        EXPECT_EQ(table.currentTotal, total);
        EXPECT_EQ(table.previousTotal, previousTotal);
        EXPECT_EQ(table.cells.cell(3, kFiscalTotalsRow), fiscalRateText(total.pages, total.sheets));
        EXPECT_GT(total.pages + previousTotal.pages, 0) << "id " << id << " proves nothing on no records";
    }

    test::TestDatabase file;
    TDbConnection conn;
};

// The statement as the section table was first written, one month per execution.
const QStringList kSectionMonthSql = {
    "SELECT SUM(DocumentPages) AS DocPage, SUM(SheetsOfPaper) AS ShtPage",
    " FROM tblPrintingData LEFT JOIN tblUserInfo ON tblPrintingData.UserID=tblUserInfo.UserID",
    " WHERE (CAST(strftime('%Y', dbDateTime) AS INTEGER) = :iYear",
    "        AND CAST(strftime('%m', dbDateTime) AS INTEGER) = :iMonth)",
    " AND tblUserInfo.TargetLevelID = :iSecID;",
};
const QStringList kPrinterMonthSql = {
    "SELECT SUM(tpd.DocumentPages) AS DocPage, SUM(tpd.SheetsOfPaper) AS ShtPage",
    " FROM tblPrintingData AS tpd LEFT JOIN tblPrintingMachineInfo AS tpm ON tpd.PrinterID = tpm.PrinterID",
    " WHERE (CAST(strftime('%Y', tpd.dbDateTime) AS INTEGER) = :iYear",
    "        AND CAST(strftime('%m', tpd.dbDateTime) AS INTEGER) = :iMonth)",
    " AND (tpd.PrinterID = :JPrinterID OR tpm.ParentPrinterID = :PPrinterID);",
};

TEST_F(FiscalYearCalcTest, SectionSumsEqualTheMonthByMonthStatement)
{
    for (int startMonth : {1, 4, 12}) {
        for (int section : {1, 2, 3, 5}) {
            const FiscalYearTable table = calcSectionFiscalYear(conn, section, 2004, startMonth);
            // The reference reads the roll-up that the calculation left behind.
            expectSameAsMonthByMonth(table, kSectionMonthSql, QStringLiteral("iSecID"), section);
        }
    }
}

TEST_F(FiscalYearCalcTest, PrinterSumsEqualTheMonthByMonthStatement)
{
    for (int startMonth : {1, 4, 12}) {
        for (int printer : {1, 2, 3}) {
            const FiscalYearTable table = calcPrinterFiscalYear(conn, printer, 2005, startMonth);
            expectSameAsMonthByMonth(table, kPrinterMonthSql, QStringLiteral("JPrinterID"), printer);
        }
    }
}

// The identifier filters that let the sums use the per-identifier indexes must not change a
// count where a join multiplies records: a printer and a user registered twice, the second
// printer row a member of another group, the second user row in another section.
TEST_F(FiscalYearCalcTest, SumsStayEqualWhenIdentifiersAreRegisteredTwice)
{
    file.db().exec("INSERT INTO tblPrintingMachineInfo VALUES (3, 'P3 again', 1, 1, 'G')");
    file.db().exec("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (2, 'u2b', 5, 'u2b')");
    for (int printer : {1, 3}) {
        const FiscalYearTable table = calcPrinterFiscalYear(conn, printer, 2005, 4);
        expectSameAsMonthByMonth(table, kPrinterMonthSql, QStringLiteral("JPrinterID"), printer);
    }
    for (int section : {2, 5}) {
        const FiscalYearTable table = calcSectionFiscalYear(conn, section, 2004, 4);
        expectSameAsMonthByMonth(table, kSectionMonthSql, QStringLiteral("iSecID"), section);
    }
}

TEST_F(FiscalYearCalcTest, ListingsOfferLiveSectionsAndTopLevelPrintersInStoredOrder)
{
    const QVector<FiscalCalcItem> sections{{1, "A"}, {2, "A B"}, {3, "A B C"}, {5, "A D"}};
    EXPECT_EQ(listCalcSections(conn), sections);
    const QVector<FiscalCalcItem> printers{{1, "P1"}, {3, "P3"}};
    EXPECT_EQ(listCalcPrinters(conn), printers);
}

TEST_F(FiscalYearCalcTest, MissingSectionCountsNothingAtLevelOne)
{
    EXPECT_EQ(sectionCalcLevel(conn, 3), 3);
    EXPECT_EQ(sectionCalcLevel(conn, 77), 1);
    const FiscalYearTable table = calcSectionFiscalYear(conn, 77, 2004, 4);
    EXPECT_EQ(table.currentTotal, FiscalFigures{});
    EXPECT_EQ(table.previousTotal, FiscalFigures{});
    EXPECT_EQ(table.cells.cell(1, 5), QStringLiteral(" 0 "));
    EXPECT_EQ(table.cells.cell(6, 13), QStringLiteral(" 0.0% "));
    // The roll-up ran at level 1.
    TQuery query;
    query.SQL() = {"SELECT TargetLevelID FROM tblUserInfo WHERE UserID = 3;"};
    query.open(conn);
    EXPECT_EQ(query.value(0, 0).toInt(), 1);
}

TEST_F(FiscalYearCalcTest, YearOrStartMonthOutOfRangeIsRefusedBeforeAnyQuery)
{
    EXPECT_THROW(calcSectionFiscalYear(conn, 1, 2004, 0), std::invalid_argument);
    EXPECT_THROW(calcPrinterFiscalYear(conn, 1, 2004, 13), std::invalid_argument);
    EXPECT_THROW(calcPrinterFiscalYear(conn, 1, 9999, 4), std::invalid_argument);
    EXPECT_THROW(calcSectionFiscalYear(conn, 1, 0, 4), std::invalid_argument);
    EXPECT_NO_THROW(calcPrinterFiscalYear(conn, 1, 1, 1));
}

} // namespace
} // namespace hvn::console
