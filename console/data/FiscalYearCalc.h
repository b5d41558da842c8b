#pragma once

#include <array>
#include <functional>

#include <QString>
#include <QStringList>
#include <QVector>

namespace hvn::console {

class TDbConnection;

// The fiscal-year table by section and by printer, without widgets: the listings that offer
// what can be chosen, the calculation, and the 7 x 14 cell texts exactly as the console's
// grids show them and the report prints them. The console's two fiscal-year tabs and the
// command-line report both go through these functions.
//
// A fiscal year is a year Y and a start month S (1 to 12): the months S to 12 of Y, then 1 to
// S-1 of Y+1. Row r (1 to 12) of the table holds the running month k = S + r - 1, in the
// calendar year Y + (k-1) div 12 and the month (k-1) mod 12 + 1; the previous fiscal year is
// the same with Y-1.
//
// Every function that takes a connection reads the database and throws std::exception with
// the engine's text when a statement fails. The caller holds the console's database lock
// around each call. UI thread only (the connection's thread).

inline constexpr int kFiscalColumns = 7;
inline constexpr int kFiscalRows = 14;
inline constexpr int kFiscalTotalsRow = 13;

// Page and sheet counts of one month, or of a column's twelve months.
struct FiscalFigures {
    qlonglong pages = 0;
    qlonglong sheets = 0;
    bool operator==(const FiscalFigures &) const = default;
};

// The grid's texts, addressed as the grid addresses them: cell(column, row).
class FiscalYearCells {
public:
    const QString &cell(int column, int row) const { return m_cells[row][column]; }
    void setCell(int column, int row, const QString &text) { m_cells[row][column] = text; }

private:
    std::array<std::array<QString, kFiscalColumns>, kFiscalRows> m_cells;
};

// One calculated fiscal-year table: the figures per row (index 0 is row 1), the totals of
// row 13 (integer sums of the twelve months) and the cell texts of the whole grid.
struct FiscalYearTable {
    int year = 0;
    int startMonth = 0;
    std::array<FiscalFigures, 12> current{};
    std::array<FiscalFigures, 12> previous{};
    FiscalFigures currentTotal;
    FiscalFigures previousTotal;
    FiscalYearCells cells;
};

// One entry of a combo box of the fiscal-year tabs: the identifier it computes and the text
// it shows.
struct FiscalCalcItem {
    int id = 0;
    QString name;
    bool operator==(const FiscalCalcItem &) const = default;
};

// ---- Cell texts ----

// The reduction rate (pages - sheets) / pages * 100 in floating point, 0 when pages is 0: the
// figure behind the rate texts and the charts' rate lines.
double fiscalRate(qlonglong pages, qlonglong sheets);
// " %d ": one blank, the number, one blank.
QString fiscalCountText(qlonglong count);
// " 0.0% " when pages is 0, otherwise (pages - sheets) / pages * 100 in floating point as
// " %3.1f% " (" 25.0% ", " -4.0% ").
QString fiscalRateText(qlonglong pages, qlonglong sheets);
// The label "%d月" of row 1 to 12 for the start month.
QString fiscalMonthLabel(int startMonth, int row);
// The layout without figures: the six column titles of row 0, the month labels of rows 1 to
// 12 from the start month, "累計" in row 13; every other cell empty.
FiscalYearCells fiscalYearLayout(int startMonth);
// Writes columns 1 to 3 (current) and 4 to 6 (previous) of one row from the figures.
void writeFiscalRow(FiscalYearCells &cells, int row, const FiscalFigures &current, const FiscalFigures &previous);

// ---- Listings ----

// The sections offered by the section tab (ComboBox1): SectionID and SectionFullName of every
// row of tblSectionInfo not marked deleted (SectionLevel -1), in stored order.
QVector<FiscalCalcItem> listCalcSections(TDbConnection &conn);
// The printers offered by the printer tab (ComboBox2): PrinterID and PrinterName of every
// printer with ParentPrinterID 0 (in no group, or a group's leader), in stored order.
QVector<FiscalCalcItem> listCalcPrinters(TDbConnection &conn);

// ---- Calculation ----

// The SectionLevel of the section, 1 when tblSectionInfo has no row for it.
int sectionCalcLevel(TDbConnection &conn, int sectionId);

// The table of one section: looks up its level, rolls every user up to that level
// (setTargetLevel, which rewrites TargetLevelID / TargetLevelName of every user) and sums the
// records of the users rolled up to the section: those of the section and of all sections
// below it. A section without a row counts nothing (level 1, no user rolled up to it).
// Throws std::invalid_argument for a year outside 1 to 9998 or a start month outside 1 to 12.
// afterWrites, when set, runs between the roll-up and the sums (the caller fixes its read
// snapshot there and gives the lock back).
FiscalYearTable calcSectionFiscalYear(TDbConnection &conn, int sectionId, int year, int startMonth,
                                      const std::function<void()> &afterWrites = {});

// The table of one printer: its records and those of every printer whose ParentPrinterID is
// its PrinterID, as the group is at the time of the call. Changes nothing in the database.
// Same argument checks as calcSectionFiscalYear.
FiscalYearTable calcPrinterFiscalYear(TDbConnection &conn, int printerId, int year, int startMonth);

// ---- Statements ----

// The monthly sums, each as one statement over the 24 months of a fiscal year and its
// previous year: the half-open range ":iFrom" (first instant of the previous fiscal year) to
// ":iTo" (first instant after the fiscal year) in the date/time text form, one row per month
// with records: ym ("YYYY-MM"), DocPage, ShtPage. By section, ":iSecID" is compared with the
// users' TargetLevelID; by printer, ":JPrinterID" with the record's printer and ":PPrinterID"
// with its ParentPrinterID.
QStringList qSectionCalcSql();
QStringList qPrinterCalcSql();

} // namespace hvn::console
