#include "widgets/FiscalGridDelegate.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

namespace hvn::console {

namespace {

constexpr int kFontPoints = 12;
constexpr int kTotalsRow = 13;
constexpr int kTitleIndent = 8;
constexpr int kFigureIndent = 20;

enum class Align { Centre, Right };

void drawLine(QPainter *painter, const QFontMetrics &metrics, const QRect &area, const QString &text, Align align)
{
    const int width = metrics.horizontalAdvance(text);
    const int x = align == Align::Centre ? area.left() + (area.width() - width) / 2 : area.left() + area.width() - width;
    const int baseline = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();
    painter->setClipRect(area);
    painter->drawText(QPoint(x, baseline), text);
}

void drawRaisedInnerEdge(QPainter *painter, const QPalette &palette, const QRect &rect)
{
    painter->setPen(palette.color(QPalette::Light));
    painter->drawLine(rect.topLeft(), rect.topRight());
    painter->drawLine(rect.topLeft(), rect.bottomLeft());
    painter->setPen(palette.color(QPalette::Dark));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
}

} // namespace

void sgCalcDrawCell(QPainter *painter, const QWidget *grid, int column, int row, const QRect &rect,
                    const QString &text, QStyle::State /*state*/)
{
    painter->save();
    QFont font = grid->font();
    font.setPointSize(kFontPoints);
    painter->setFont(font);
    const QFontMetrics metrics(font, painter->device());
    const QPalette &palette = grid->palette();

    if (row == 0 || column == 0) {
        painter->fillRect(rect, palette.color(QPalette::Button));
        drawRaisedInnerEdge(painter, palette, rect);
        painter->setPen(Qt::black);
        if (row == 0)
            drawLine(painter, metrics, rect, text, Align::Centre);
        else
            drawLine(painter, metrics, rect.adjusted(0, 0, -kTitleIndent, 0), text, Align::Right);
    } else {
        painter->fillRect(rect, row == kTotalsRow ? QColor(0, 255, 255) : palette.color(QPalette::Base));
        painter->setPen(Qt::black);
        drawLine(painter, metrics, rect.adjusted(0, 0, -kFigureIndent, 0), text, Align::Right);
    }
    painter->restore();
}

void FiscalGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    sgCalcDrawCell(painter, option.widget ? option.widget : qobject_cast<const QWidget *>(parent()), index.column(),
                   index.row(), option.rect, index.data(Qt::DisplayRole).toString(), option.state);
}

} // namespace hvn::console
