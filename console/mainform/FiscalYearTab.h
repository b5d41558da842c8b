#pragma once

#include <QVector>

class QComboBox;
class QLabel;
class QWidget;

namespace hvn::console {

class StringGrid;
struct FiscalCalcItem;
struct FiscalYearTable;

// Read when a caption holds no number.
inline constexpr int kFiscalDefaultYear = 2004;
inline constexpr int kFiscalDefaultStartMonth = 4;

// The controls that the two fiscal-year tabs share: the grid, the combo box whose items carry
// the identifier they compute, and the captions the calculation reads. GUI thread only.

// A fiscal-year grid: "ＭＳ ゴシック" 16 pixels high, every cell drawn by sgCalcDrawCell.
StringGrid *createFiscalGrid(QWidget *parent, const char *name);
// An editable drop-down list 297 pixels wide whose typed text never becomes an item.
QComboBox *createCalcCombo(QWidget *parent, const char *name);

// 7 columns by 14 rows, column width 120 and 50 for column 0, the titles of row 0, the month
// labels from the start month and "累計". The figure cells keep their texts.
void layOutFiscalGrid(StringGrid *grid, int startMonth);
// Rewrites the month labels of rows 1 to 12 only.
void relabelFiscalMonths(StringGrid *grid, int startMonth);
// Writes every cell of the table into the grid.
void showFiscalTable(StringGrid *grid, const FiscalYearTable &table);

// Replaces the items with the listing, each item holding its identifier as item data, and
// selects the first item when there is one.
void fillCalcCombo(QComboBox *combo, const QVector<FiscalCalcItem> &items);
// The item the box's text names: the current item while the text is its name, otherwise the
// first item of exactly that name; -1 when the text names no item (an empty list, or text the
// user typed).
int selectedCalcItem(const QComboBox *combo);
// The caption as an integer, the fallback when it is not one.
int captionNumber(const QLabel *label, int fallback);

} // namespace hvn::console
