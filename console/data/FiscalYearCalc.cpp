#include "data/FiscalYearCalc.h"

#include <stdexcept>
#include <string>

#include <QHash>

#include "data/Query.h"
#include "data/SectionRollUp.h"
#include "data/StatisticsQueries.h"

namespace hvn::console {

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9998; // the year after the fiscal year still has four digits

void checkFiscalYear(int year, int startMonth)
{
    if (year < kMinYear || year > kMaxYear)
        throw std::invalid_argument("fiscal year " + std::to_string(year) + " is not between 1 and 9998");
    if (startMonth < 1 || startMonth > 12)
        throw std::invalid_argument("start month " + std::to_string(startMonth) + " is not between 1 and 12");
}

QString monthKey(int year, int month)
{
    return QString::asprintf("%04d-%02d", year, month);
}

QString firstInstant(int year, int month)
{
    return monthKey(year, month) + QStringLiteral("-01 00:00:00.000");
}

// Runs a monthly-sums statement over the 24 months and fills the figures, the totals and the
// cells. The statement's identifier parameters are set by the caller.
FiscalYearTable sumFiscalYear(TDbConnection &conn, TQuery &query, int year, int startMonth)
{
    query.close();
    query.setParam(QStringLiteral("iFrom"), firstInstant(year - 1, startMonth));
    query.setParam(QStringLiteral("iTo"), firstInstant(year + 1, startMonth));
    query.open(conn);
    QHash<QString, FiscalFigures> months;
    for (int row = 0; row < query.rowCount(); ++row) {
        months.insert(query.value(row, QStringLiteral("ym")).toString(),
                      {query.value(row, QStringLiteral("DocPage")).toLongLong(),
                       query.value(row, QStringLiteral("ShtPage")).toLongLong()});
    }
    query.close();

    FiscalYearTable table;
    table.year = year;
    table.startMonth = startMonth;
    table.cells = fiscalYearLayout(startMonth);
    for (int row = 1; row <= 12; ++row) {
        const int k = startMonth + row - 1;
        const int calendarYear = year + (k - 1) / 12;
        const int month = (k - 1) % 12 + 1;
        const FiscalFigures current = months.value(monthKey(calendarYear, month));
        const FiscalFigures previous = months.value(monthKey(calendarYear - 1, month));
        table.current[row - 1] = current;
        table.previous[row - 1] = previous;
        table.currentTotal.pages += current.pages;
        table.currentTotal.sheets += current.sheets;
        table.previousTotal.pages += previous.pages;
        table.previousTotal.sheets += previous.sheets;
        writeFiscalRow(table.cells, row, current, previous);
    }
    writeFiscalRow(table.cells, kFiscalTotalsRow, table.currentTotal, table.previousTotal);
    return table;
}

QVector<FiscalCalcItem> listItems(TDbConnection &conn, const QStringList &sql, const QString &idField,
                                  const QString &nameField, bool skipDeleted)
{
    TQuery query;
    query.SQL() = sql;
    query.open(conn);
    QVector<FiscalCalcItem> items;
    items.reserve(query.rowCount());
    for (int row = 0; row < query.rowCount(); ++row) {
        if (skipDeleted && query.value(row, QStringLiteral("SectionLevel")).toLongLong() == -1)
            continue;
        items.append({query.value(row, idField).toInt(), query.value(row, nameField).toString()});
    }
    return items;
}

} // namespace

QString fiscalCountText(qlonglong count)
{
    return QString::asprintf(" %lld ", count);
}

double fiscalRate(qlonglong pages, qlonglong sheets)
{
    if (pages == 0)
        return 0.0;
    return static_cast<double>(pages - sheets) / static_cast<double>(pages) * 100.0;
}

QString fiscalRateText(qlonglong pages, qlonglong sheets)
{
    if (pages == 0)
        return QStringLiteral(" 0.0% ");
    return QString::asprintf(" %3.1f%% ", fiscalRate(pages, sheets));
}

QString fiscalMonthLabel(int startMonth, int row)
{
    return QString::asprintf("%d月", (startMonth + row - 2) % 12 + 1);
}

FiscalYearCells fiscalYearLayout(int startMonth)
{
    static const QString kTitles[kFiscalColumns] = {
        QString(),
        QStringLiteral("ページ数"),
        QStringLiteral("用紙枚数"),
        QStringLiteral("削減率(%)"),
        QStringLiteral("前年度ページ数"),
        QStringLiteral("前年度用紙枚数"),
        QStringLiteral("前年度削減率(%)"),
    };
    FiscalYearCells cells;
    for (int column = 0; column < kFiscalColumns; ++column)
        cells.setCell(column, 0, kTitles[column]);
    for (int row = 1; row <= 12; ++row)
        cells.setCell(0, row, fiscalMonthLabel(startMonth, row));
    cells.setCell(0, kFiscalTotalsRow, QStringLiteral("累計"));
    return cells;
}

void writeFiscalRow(FiscalYearCells &cells, int row, const FiscalFigures &current, const FiscalFigures &previous)
{
    cells.setCell(1, row, fiscalCountText(current.pages));
    cells.setCell(2, row, fiscalCountText(current.sheets));
    cells.setCell(3, row, fiscalRateText(current.pages, current.sheets));
    cells.setCell(4, row, fiscalCountText(previous.pages));
    cells.setCell(5, row, fiscalCountText(previous.sheets));
    cells.setCell(6, row, fiscalRateText(previous.pages, previous.sheets));
}

QVector<FiscalCalcItem> listCalcSections(TDbConnection &conn)
{
    return listItems(conn,
                     {QStringLiteral("SELECT SectionID,SectionFullName,SectionLevel"),
                      QStringLiteral(" FROM tblSectionInfo;")},
                     QStringLiteral("SectionID"), QStringLiteral("SectionFullName"), true);
}

QVector<FiscalCalcItem> listCalcPrinters(TDbConnection &conn)
{
    return listItems(conn,
                     {QStringLiteral("SELECT PrinterID,PrinterName"), QStringLiteral(" FROM tblPrintingMachineInfo"),
                      QStringLiteral(" WHERE ParentPrinterID = 0;")},
                     QStringLiteral("PrinterID"), QStringLiteral("PrinterName"), false);
}

int sectionCalcLevel(TDbConnection &conn, int sectionId)
{
    TQuery query;
    query.SQL() = {QStringLiteral("SELECT SectionLevel"), QStringLiteral(" FROM tblSectionInfo"),
                   QStringLiteral(" WHERE SectionID = :SectionID;")};
    query.setParam(QStringLiteral("SectionID"), sectionId);
    query.open(conn);
    return query.rowCount() > 0 ? query.value(0, QStringLiteral("SectionLevel")).toInt() : 1;
}

FiscalYearTable calcSectionFiscalYear(TDbConnection &conn, int sectionId, int year, int startMonth,
                                      const std::function<void()> &afterWrites)
{
    checkFiscalYear(year, startMonth);
    setTargetLevel(conn, sectionCalcLevel(conn, sectionId));
    if (afterWrites)
        afterWrites();
    TQuery qSectionCalc;
    qSectionCalc.SQL() = qSectionCalcSql();
    qSectionCalc.setParam(QStringLiteral("iSecID"), sectionId);
    return sumFiscalYear(conn, qSectionCalc, year, startMonth);
}

FiscalYearTable calcPrinterFiscalYear(TDbConnection &conn, int printerId, int year, int startMonth)
{
    checkFiscalYear(year, startMonth);
    TQuery qPrinterCalc;
    qPrinterCalc.SQL() = qPrinterCalcSql();
    qPrinterCalc.setParam(QStringLiteral("JPrinterID"), printerId);
    qPrinterCalc.setParam(QStringLiteral("PPrinterID"), printerId);
    return sumFiscalYear(conn, qPrinterCalc, year, startMonth);
}

// The rows are the month totals of the two years (odd-shaped records and ranges that are not
// whole months read from the records, see periodTotalsRows), grouped by the month of the
// record's date: a month without records has no row and counts 0. The sums are those of a
// join of the records to the users or printers, so an identifier that is registered twice
// counts its records twice. The statements name the identifiers first, so that the engine
// reads just their months through the per-identifier indexes of the totals.
QStringList qSectionCalcSql()
{
    // u: each identifier of the section's users with n, the number of user rows that carry
    // it (an identifier registered twice counts its records twice, as the join over the
    // records does). Reading the section's identifiers first, each one's months come from
    // the totals' per-user index in month order.
    const QString users = QStringLiteral("(SELECT UserID, COUNT(*) AS n FROM tblUserInfo"
                                         " WHERE TargetLevelID = :iSecID GROUP BY UserID) AS u");
    const QString wholeMonths = wholeMonthsCondition(QStringLiteral("iFrom"), QStringLiteral("iTo"));
    const QString records = QStringLiteral("   SELECT substr(r.dbDateTime, 1, 7) AS ym,"
                                           " CASE u.n WHEN 1 THEN r.DocumentPages ELSE r.DocumentPages * u.n END AS p,"
                                           " CASE u.n WHEN 1 THEN r.SheetsOfPaper ELSE r.SheetsOfPaper * u.n END AS t"
                                           " FROM %1 AS r JOIN %2 ON r.UserID = u.UserID");
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" ym AS ym,"),
        QStringLiteral(" SUM(p) AS DocPage,"),
        QStringLiteral(" SUM(t) AS ShtPage"),
        QStringLiteral(" FROM ("),
        QStringLiteral("   SELECT m.Month AS ym, m.Pages * u.n AS p, m.Sheets * u.n AS t"),
        QStringLiteral("    FROM %1 CROSS JOIN tblUserMonth AS m ON m.UserID = u.UserID").arg(users),
        QStringLiteral("    WHERE %1 AND m.Month >= substr(:iFrom, 1, 7) AND m.Month < substr(:iTo, 1, 7)")
            .arg(wholeMonths),
        QStringLiteral("   UNION ALL"),
        records.arg(QStringLiteral("tblPrintingDataOdd"), users),
        QStringLiteral("    WHERE %1 AND r.dbDateTime >= :iFrom AND r.dbDateTime < :iTo").arg(wholeMonths),
        QStringLiteral("   UNION ALL"),
        records.arg(QStringLiteral("tblPrintingData"), users),
        QStringLiteral("    WHERE NOT %1 AND r.dbDateTime >= :iFrom AND r.dbDateTime < :iTo").arg(wholeMonths),
        QStringLiteral(" )"),
        QStringLiteral(" GROUP BY ym"),
        QStringLiteral(";"),
    };
}

QStringList qPrinterCalcSql()
{
    QStringList lines{
        QStringLiteral("SELECT"),
        QStringLiteral(" tpd.ym AS ym,"),
        QStringLiteral(" SUM(tpd.p) AS DocPage,"),
        QStringLiteral(" SUM(tpd.t) AS ShtPage"),
        QStringLiteral(" FROM ("),
    };
    lines << periodTotalsRows(QStringLiteral("tblPrinterMonth"), QStringLiteral("PrinterID"),
                              QStringLiteral("iFrom"), QStringLiteral("iTo"),
                              QStringLiteral("PrinterID IN (SELECT :JPrinterID UNION SELECT PrinterID"
                                             " FROM tblPrintingMachineInfo WHERE ParentPrinterID = :PPrinterID)"));
    lines << QStringList{
        QStringLiteral(" ) AS tpd"),
        QStringLiteral("   LEFT JOIN tblPrintingMachineInfo AS tpm"),
        QStringLiteral("   ON tpd.k = tpm.PrinterID"),
        QStringLiteral(" WHERE"),
        QStringLiteral(" (tpd.k = :JPrinterID"),
        QStringLiteral("   OR tpm.ParentPrinterID = :PPrinterID)"),
        QStringLiteral(" GROUP BY tpd.ym"),
        QStringLiteral(";"),
    };
    return lines;
}

} // namespace hvn::console
