#include "mainform/FiscalYearTab.h"

#include <QComboBox>
#include <QLabel>

#include "data/FiscalYearCalc.h"
#include "widgets/FiscalGridDelegate.h"
#include "widgets/StringGrid.h"

namespace hvn::console {

namespace {

constexpr int kColumnWidth = 120;
constexpr int kLabelColumnWidth = 50;
constexpr int kComboWidth = 297;

} // namespace

StringGrid *createFiscalGrid(QWidget *parent, const char *name)
{
    auto *grid = new StringGrid(parent);
    grid->setObjectName(QString::fromLatin1(name));
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setPixelSize(16);
    grid->setFont(font);
    grid->setItemDelegate(new FiscalGridDelegate(grid));
    return grid;
}

QComboBox *createCalcCombo(QWidget *parent, const char *name)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setGeometry(60, 10, kComboWidth, 21);
    return combo;
}

void layOutFiscalGrid(StringGrid *grid, int startMonth)
{
    grid->setColumnCount(kFiscalColumns);
    grid->setRowCount(kFiscalRows);
    const FiscalYearCells layout = fiscalYearLayout(startMonth);
    for (int column = 1; column < kFiscalColumns; ++column)
        grid->setCell(column, 0, layout.cell(column, 0));
    for (int row = 1; row < kFiscalRows; ++row)
        grid->setCell(0, row, layout.cell(0, row));
    grid->setDefaultColumnWidth(kColumnWidth);
    grid->setColumnWidth(0, kLabelColumnWidth);
}

void relabelFiscalMonths(StringGrid *grid, int startMonth)
{
    for (int row = 1; row <= 12; ++row)
        grid->setCell(0, row, fiscalMonthLabel(startMonth, row));
}

void showFiscalTable(StringGrid *grid, const FiscalYearTable &table)
{
    for (int row = 0; row < kFiscalRows; ++row) {
        for (int column = 0; column < kFiscalColumns; ++column)
            grid->setCell(column, row, table.cells.cell(column, row));
    }
}

void fillCalcCombo(QComboBox *combo, const QVector<FiscalCalcItem> &items)
{
    combo->clear();
    for (const FiscalCalcItem &item : items)
        combo->addItem(item.name, item.id);
    if (combo->count() > 0)
        combo->setCurrentIndex(0);
}

int selectedCalcItem(const QComboBox *combo)
{
    const QString text = combo->currentText();
    const int current = combo->currentIndex();
    if (current >= 0 && combo->itemText(current) == text)
        return current;
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

int captionNumber(const QLabel *label, int fallback)
{
    bool ok = false;
    const int value = label->text().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

} // namespace hvn::console
