#include "data/StatisticsQueries.h"

namespace hvn::console {

// SQLite neither resolves an alias of the select list inside the same select list nor divides
// integers into reals, so the rates repeat their operands and cast the difference to REAL.
// A division by 0 pages yields NULL: an empty rate cell. Result columns are named explicitly
// so the grids bind by the same names whatever SQLite would derive.

namespace {

constexpr Qt::Alignment kText = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kNumber = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment kCentred = Qt::AlignCenter;
// Width a hidden column keeps: the grid's default column width.
constexpr int kDefaultWidth = 64;

// The three total grids share their last four columns; only the name column and the name of
// the hidden sides column differ.
QVector<TGridColumn> totalsColumns(const QString &nameField, const QString &nameTitle, int nameWidth,
                                   const QString &sidesField)
{
    return {
        {nameField, nameTitle, nameWidth, true, kText},
        {QStringLiteral("sum1"), QStringLiteral("ページ数"), 80, true, kNumber},
        {sidesField, QString(), kDefaultWidth, false, kNumber},
        {QStringLiteral("sum3"), QStringLiteral("用紙枚数"), 80, true, kNumber},
        {QStringLiteral("Expr1004"), QStringLiteral("削減率(%)"), 80, true, kNumber},
    };
}

// True when the parameter is a month's first instant in the date/time text form.
QString monthStart(const QString &parameter)
{
    return QStringLiteral("(%1 GLOB '[0-9][0-9][0-9][0-9]-[01][0-9]-01 00:00:00.000'"
                          " AND substr(%1, 6, 2) BETWEEN '01' AND '12')")
        .arg(parameter);
}

// The totals of the period per key: sum1, sum2, sum3 per k.
QStringList sumsPerKey(const QString &table, const QString &key)
{
    QStringList lines{QStringLiteral("  SELECT k, SUM(p) AS sum1, SUM(s) AS sum2, SUM(t) AS sum3 FROM (")};
    lines << periodTotalsRows(table, key, QStringLiteral("iistDate"), QStringLiteral("iiedDate"));
    lines << QStringLiteral("  ) GROUP BY k");
    return lines;
}

} // namespace

QString wholeMonthsCondition(const QString &from, const QString &to)
{
    return QStringLiteral("(%1 AND %2)").arg(monthStart(QLatin1Char(':') + from), monthStart(QLatin1Char(':') + to));
}

QStringList periodTotalsRows(const QString &table, const QString &key, const QString &from, const QString &to,
                             const QString &keyFilter)
{
    const QString filter = keyFilter.isEmpty() ? QString() : QStringLiteral(" AND ") + keyFilter;
    const QString f = QLatin1Char(':') + from;
    const QString t = QLatin1Char(':') + to;
    const QString wholeMonths = wholeMonthsCondition(from, to);
    const QString range = QStringLiteral("dbDateTime >= %1 AND dbDateTime < %2").arg(f, t);
    const QString records = QStringLiteral("   SELECT %1 AS k, substr(dbDateTime, 1, 7) AS ym, DocumentPages AS p,"
                                           " SidesOfPaper AS s, SheetsOfPaper AS t FROM %2")
                                .arg(key);
    return {
        QStringLiteral("   SELECT %1 AS k, Month AS ym, Pages AS p, Sides AS s, Sheets AS t FROM %2").arg(key, table),
        QStringLiteral("    WHERE %1 AND Month >= substr(%2, 1, 7) AND Month < substr(%3, 1, 7)%4")
            .arg(wholeMonths, f, t, filter),
        QStringLiteral("   UNION ALL"),
        records.arg(QStringLiteral("tblPrintingDataOdd")),
        QStringLiteral("    WHERE %1 AND %2%3").arg(wholeMonths, range, filter),
        QStringLiteral("   UNION ALL"),
        records.arg(QStringLiteral("tblPrintingData")),
        QStringLiteral("    WHERE NOT %1 AND %2%3").arg(wholeMonths, range, filter),
    };
}

QStringList qReciveDataSql()
{
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" tblUserInfo.UserName AS UserName,"),
        QStringLiteral(" tblPrintingMachineInfo.PrinterName AS PrinterName,"),
        QStringLiteral(" tblPrn.ComputerName AS ComputerName,"),
        QStringLiteral(" tblPrn.DocumentPages AS dp,"),
        QStringLiteral(" tblPrn.SidesOfPaper AS SidesOfPaper,"),
        QStringLiteral(" tblPrn.SheetsOfPaper AS sp,"),
        QStringLiteral(" tblPrn.dbDateTime AS dbDateTime,"),
        QStringLiteral(" ROUND(CAST(tblPrn.DocumentPages - tblPrn.SheetsOfPaper AS REAL)"
                       " / tblPrn.DocumentPages * 100, 1) AS Expr1007"),
        QStringLiteral(" FROM ((SELECT * FROM tblPrintingData"),
        QStringLiteral("        WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("              dbDateTime <  :iiedDate) AS tblPrn"),
        QStringLiteral(" INNER JOIN tblUserInfo"),
        QStringLiteral("       ON tblPrn.UserID=tblUserInfo.UserID)"),
        QStringLiteral(" INNER JOIN tblPrintingMachineInfo"),
        QStringLiteral("       ON tblPrn.PrinterID=tblPrintingMachineInfo.PrinterID"),
        QStringLiteral(" ORDER BY tblPrn.dbDateTime DESC"),
        QStringLiteral(";"),
        QString(),
    };
}

QStringList qUserDataSql()
{
    QStringList lines{
        QStringLiteral("SELECT"),
        QStringLiteral(" tblUserInfo.UserName AS UserName,"),
        QStringLiteral(" subq.sum1 AS sum1,"),
        QStringLiteral(" subq.sum2 AS sum2,"),
        QStringLiteral(" subq.sum3 AS sum3,"),
        QStringLiteral(" ROUND(CAST(subq.sum1 - subq.sum3 AS REAL) / subq.sum1 * 100, 1) AS Expr1004"),
        QStringLiteral(" FROM"),
        QStringLiteral(" ("),
    };
    lines << sumsPerKey(QStringLiteral("tblUserMonth"), QStringLiteral("UserID"));
    lines << QStringList{
        QStringLiteral(" ) AS subq"),
        QStringLiteral(" LEFT JOIN tblUserInfo ON subq.k=tblUserInfo.UserID"),
        QStringLiteral(" ORDER BY subq.k"),
        QStringLiteral(";"),
        QString(),
    };
    return lines;
}

QStringList qPrinterDataSql()
{
    // Summed per PrinterID first, then per name over the few printer sums: the same totals as
    // joining every record to its printer, at the cost of one sort of identifiers.
    QStringList lines{
        QStringLiteral("SELECT"),
        QStringLiteral(" tblPrintingMachineInfo.CommonPrinterName AS CommonPrinterName,"),
        QStringLiteral(" SUM(subq.sum1) AS sum1,"),
        QStringLiteral(" SUM(subq.sum2) AS sum2,"),
        QStringLiteral(" SUM(subq.sum3) AS sum3,"),
        QStringLiteral(" ROUND(CAST(SUM(subq.sum1) - SUM(subq.sum3) AS REAL)"
                       " / SUM(subq.sum1) * 100 , 1) AS Expr1004"),
        QStringLiteral(" FROM"),
        QStringLiteral(" ("),
    };
    lines << sumsPerKey(QStringLiteral("tblPrinterMonth"), QStringLiteral("PrinterID"));
    lines << QStringList{
        QStringLiteral(" ) AS subq"),
        QStringLiteral(" LEFT JOIN tblPrintingMachineInfo"),
        QStringLiteral(" ON (subq.k = tblPrintingMachineInfo.PrinterID)"),
        QStringLiteral(" GROUP BY tblPrintingMachineInfo.CommonPrinterName"),
        QStringLiteral(" ORDER BY tblPrintingMachineInfo.CommonPrinterName"),
    };
    return lines;
}

// The names group and sort without regard to letter case, as the record column's do; the
// totals keep each spelling apart, and a group shows one of its spellings.
QStringList qComputerSql()
{
    QStringList lines{
        QStringLiteral("SELECT"),
        QStringLiteral(" k AS ComputerName,"),
        QStringLiteral(" SUM(p) AS sum1,"),
        QStringLiteral(" SUM(s) AS Expr1002,"),
        QStringLiteral(" SUM(t) AS sum3,"),
        QStringLiteral(" ROUND(CAST(SUM(p) - SUM(t) AS REAL)"
                       " / SUM(p) * 100, 1) AS Expr1004"),
        QStringLiteral(" FROM ("),
    };
    lines << periodTotalsRows(QStringLiteral("tblComputerMonth"), QStringLiteral("ComputerName"),
                              QStringLiteral("iistDate"), QStringLiteral("iiedDate"));
    lines << QStringList{
        QStringLiteral(" )"),
        QStringLiteral(" GROUP BY k COLLATE NOCASE"),
        QStringLiteral(" ORDER BY k COLLATE NOCASE"),
        QStringLiteral(";"),
        QString(),
    };
    return lines;
}

// One row per TargetLevelName among the period's records. The records are summed per UserID
// first (from the month totals) and the few sums joined to the users, which gives the same totals as joining every
// record (a UserID without a user row lands under a NULL name either way). SQLite resolves no
// select-list alias inside the same select list and divides integers as integers, so the rate
// repeats its sums and casts to REAL; 0 pages give NULL, an empty rate cell.
QStringList qSectionSql()
{
    QStringList lines{
        QStringLiteral("SELECT"),
        QStringLiteral(" tName AS nma,"),
        QStringLiteral(" SUM(dp) AS dpa,"),
        QStringLiteral(" SUM(sp) AS spa,"),
        QStringLiteral(" ROUND(CAST(SUM(dp) - SUM(sp) AS REAL) / SUM(dp) * 100, 1) AS rta"),
        QStringLiteral(" FROM"),
        QStringLiteral(" (SELECT"),
        QStringLiteral("  tblUserInfo.TargetLevelName AS tName,"),
        QStringLiteral("  tblUserInfo.TargetLevelID AS tID,"),
        QStringLiteral("  subq.sum1 AS dp,"),
        QStringLiteral("  subq.sum3 AS sp"),
        QStringLiteral("  FROM ("),
    };
    lines << sumsPerKey(QStringLiteral("tblUserMonth"), QStringLiteral("UserID"));
    lines << QStringList{
        QStringLiteral("  ) AS subq"),
        QStringLiteral("  LEFT JOIN tblUserInfo"),
        QStringLiteral("  ON subq.k=tblUserInfo.UserID"),
        QStringLiteral(" ) AS tblx"),
        QStringLiteral(" GROUP BY tName"),
        QStringLiteral(";"),
    };
    return lines;
}

QVector<TGridColumn> dbgReciveDataColumns()
{
    return {
        {QStringLiteral("UserName"), QStringLiteral("ユーザー名"), 100, true, kText},
        {QStringLiteral("PrinterName"), QStringLiteral("プリンタ名"), 150, true, kText},
        {QStringLiteral("ComputerName"), QStringLiteral("コンピュータ名"), 120, true, kText},
        {QStringLiteral("dp"), QStringLiteral("ページ数"), 80, true, kNumber},
        {QStringLiteral("SidesOfPaper"), QStringLiteral("面？"), kDefaultWidth, false, kNumber},
        {QStringLiteral("sp"), QStringLiteral("用紙枚数"), 80, true, kNumber},
        {QStringLiteral("Expr1007"), QStringLiteral("削減率(%)"), 80, true, kNumber},
        {QStringLiteral("dbDateTime"), QStringLiteral("印刷日時"), 130, true, kCentred},
    };
}

QVector<TGridColumn> dbgUserDataColumns()
{
    return totalsColumns(QStringLiteral("UserName"), QStringLiteral("ユーザー名"), 120, QStringLiteral("sum2"));
}

QVector<TGridColumn> dbgPrinterDataColumns()
{
    return totalsColumns(QStringLiteral("CommonPrinterName"), QStringLiteral("プリンタ名"), 200,
                         QStringLiteral("sum2"));
}

QVector<TGridColumn> dbgComputerDataColumns()
{
    return totalsColumns(QStringLiteral("ComputerName"), QStringLiteral("コンピュータ名"), 150,
                         QStringLiteral("Expr1002"));
}

QVector<TGridColumn> dbgSectionColumns()
{
    return {
        {QStringLiteral("nma"), QStringLiteral("部署名"), 240, true, kText},
        {QStringLiteral("dpa"), QStringLiteral("ページ数"), 80, true, kNumber},
        {QStringLiteral("spa"), QStringLiteral("用紙枚数"), kDefaultWidth, true, kNumber},
        {QStringLiteral("rta"), QStringLiteral("削減率(%)"), kDefaultWidth, true, kNumber},
    };
}

} // namespace hvn::console
