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

} // namespace

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
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" tblUserInfo.UserName AS UserName,"),
        QStringLiteral(" subq.sum1 AS sum1,"),
        QStringLiteral(" subq.sum2 AS sum2,"),
        QStringLiteral(" subq.sum3 AS sum3,"),
        QStringLiteral(" ROUND(CAST(subq.sum1 - subq.sum3 AS REAL) / subq.sum1 * 100, 1) AS Expr1004"),
        QStringLiteral(" FROM"),
        QStringLiteral(" ("),
        QStringLiteral("  SELECT"),
        QStringLiteral("  UserID,"),
        QStringLiteral("  SUM(DocumentPages) AS sum1,"),
        QStringLiteral("  SUM(SidesOfPaper)  AS sum2,"),
        QStringLiteral("  SUM(SheetsOfPaper) AS sum3"),
        QStringLiteral("  FROM (SELECT * FROM tblPrintingData"),
        QStringLiteral("        WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("              dbDateTime <  :iiedDate)"),
        QStringLiteral("  GROUP BY UserID"),
        QStringLiteral(" ) AS subq"),
        QStringLiteral(" LEFT JOIN tblUserInfo ON subq.UserID=tblUserInfo.UserID"),
        QStringLiteral(" ORDER BY subq.UserID"),
        QStringLiteral(";"),
        QString(),
    };
}

QStringList qPrinterDataSql()
{
    // Summed per PrinterID first, then per name over the few printer sums: the same totals as
    // joining every record to its printer, at the cost of one sort of identifiers.
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" tblPrintingMachineInfo.CommonPrinterName AS CommonPrinterName,"),
        QStringLiteral(" SUM(subq.sum1) AS sum1,"),
        QStringLiteral(" SUM(subq.sum2) AS sum2,"),
        QStringLiteral(" SUM(subq.sum3) AS sum3,"),
        QStringLiteral(" ROUND(CAST(SUM(subq.sum1) - SUM(subq.sum3) AS REAL)"
                       " / SUM(subq.sum1) * 100 , 1) AS Expr1004"),
        QStringLiteral(" FROM"),
        QStringLiteral(" ("),
        QStringLiteral("  SELECT"),
        QStringLiteral("  PrinterID,"),
        QStringLiteral("  SUM(DocumentPages) AS sum1,"),
        QStringLiteral("  SUM(SidesOfPaper)  AS sum2,"),
        QStringLiteral("  SUM(SheetsOfPaper) AS sum3"),
        QStringLiteral("  FROM tblPrintingData"),
        QStringLiteral("  WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("        dbDateTime <  :iiedDate"),
        QStringLiteral("  GROUP BY PrinterID"),
        QStringLiteral(" ) AS subq"),
        QStringLiteral(" LEFT JOIN tblPrintingMachineInfo"),
        QStringLiteral(" ON (subq.PrinterID = tblPrintingMachineInfo.PrinterID)"),
        QStringLiteral(" GROUP BY tblPrintingMachineInfo.CommonPrinterName"),
        QStringLiteral(" ORDER BY tblPrintingMachineInfo.CommonPrinterName"),
    };
}

QStringList qComputerSql()
{
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" ComputerName AS ComputerName,"),
        QStringLiteral(" SUM(DocumentPages) AS sum1,"),
        QStringLiteral(" SUM(SidesOfPaper) AS Expr1002,"),
        QStringLiteral(" SUM(SheetsOfPaper) AS sum3,"),
        QStringLiteral(" ROUND(CAST(SUM(DocumentPages) - SUM(SheetsOfPaper) AS REAL)"
                       " / SUM(DocumentPages) * 100, 1) AS Expr1004"),
        QStringLiteral(" FROM (SELECT * FROM tblPrintingData"),
        QStringLiteral("       WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("             dbDateTime <  :iiedDate)"),
        QStringLiteral(" GROUP BY ComputerName"),
        QStringLiteral(" ORDER BY ComputerName"),
        QStringLiteral(";"),
        QString(),
    };
}

// One row per TargetLevelName among the period's records. The records are summed per UserID
// first and the few sums joined to the users, which gives the same totals as joining every
// record (a UserID without a user row lands under a NULL name either way). SQLite resolves no
// select-list alias inside the same select list and divides integers as integers, so the rate
// repeats its sums and casts to REAL; 0 pages give NULL, an empty rate cell.
QStringList qSectionSql()
{
    return {
        QStringLiteral("SELECT"),
        QStringLiteral(" tName AS nma,"),
        QStringLiteral(" SUM(dp) AS dpa,"),
        QStringLiteral(" SUM(sp) AS spa,"),
        QStringLiteral(" ROUND(CAST(SUM(dp) - SUM(sp) AS REAL) / SUM(dp) * 100, 1) AS rta"),
        QStringLiteral(" FROM"),
        QStringLiteral(" (SELECT"),
        QStringLiteral("  tblUserInfo.TargetLevelName AS tName,"),
        QStringLiteral("  tblUserInfo.TargetLevelID AS tID,"),
        QStringLiteral("  subq.dp AS dp,"),
        QStringLiteral("  subq.sp AS sp"),
        QStringLiteral("  FROM (SELECT UserID, SUM(DocumentPages) AS dp, SUM(SheetsOfPaper) AS sp"),
        QStringLiteral("        FROM tblPrintingData"),
        QStringLiteral("        WHERE dbDateTime >= :iistDate AND"),
        QStringLiteral("              dbDateTime <  :iiedDate"),
        QStringLiteral("        GROUP BY UserID) AS subq"),
        QStringLiteral("  LEFT JOIN tblUserInfo"),
        QStringLiteral("  ON subq.UserID=tblUserInfo.UserID"),
        QStringLiteral(" ) AS tblx"),
        QStringLiteral(" GROUP BY tName"),
        QStringLiteral(";"),
    };
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
