#pragma once

#include <QStringList>
#include <QVector>

#include "data/GridColumn.h"

namespace hvn::console {

// The statements and grid columns of the four statistics tabs. Each statement takes the period
// as ":iistDate" (first instant included) and ":iiedDate" (first instant excluded) in the
// date/time text form, and returns the columns the grids bind to, by these names and in this
// order (the unnamed rate columns as "Expr1007", "Expr1004", "Expr1002"). A rate is
// (pages - sheets) / pages * 100 rounded to one decimal, NULL when the pages are 0.

// Every print record of the period with its user and printer (records whose user or printer is
// not registered are left out), newest first: UserName, PrinterName, ComputerName, dp,
// SidesOfPaper, sp, dbDateTime, Expr1007.
QStringList qReciveDataSql();
// Totals per UserID (records of an unregistered user under a NULL UserName), by UserID:
// UserName, sum1, sum2, sum3, Expr1004.
QStringList qUserDataSql();
// Totals per CommonPrinterName (an unregistered printer under NULL), by name:
// CommonPrinterName, sum1, sum2, sum3, Expr1004.
QStringList qPrinterDataSql();
// Totals per ComputerName, by name: ComputerName, sum1, Expr1002, sum3, Expr1004.
QStringList qComputerSql();
// The section tab: totals per TargetLevelName of the users (records of an unregistered user
// under NULL), no order: nma, dpa, spa, rta.
QStringList qSectionSql();

// The rows that a period's totals are summed from, as the body of a derived table with the
// columns k (the key column of `table`'s records), ym ("YYYY-MM" of the record's date), p, s, t
// (pages, sides, sheets): when the half-open range :<from> to :<to> runs from a month's first
// instant to a month's first instant, the month totals of `table` (tblUserMonth,
// tblPrinterMonth or tblComputerMonth, keyed by `key`) inside it and the odd-shaped records
// inside it; for any other range, the records themselves. Summed per key or month, they give
// exactly what the records of the range give. A non-empty keyFilter (a condition on the key
// column, "UserID IN (...)") is added to every part, so that the engine reads only those keys'
// rows through their indexes.
// The condition that :<from> and :<to> are both a month's first instant, when month totals
// answer the range exactly.
QString wholeMonthsCondition(const QString &from, const QString &to);

QStringList periodTotalsRows(const QString &table, const QString &key, const QString &from, const QString &to,
                             const QString &keyFilter = QString());

// The grids' design columns, in grid order (the index used by the saved widths).
QVector<TGridColumn> dbgReciveDataColumns();
QVector<TGridColumn> dbgUserDataColumns();
QVector<TGridColumn> dbgPrinterDataColumns();
QVector<TGridColumn> dbgComputerDataColumns();
QVector<TGridColumn> dbgSectionColumns();

} // namespace hvn::console
