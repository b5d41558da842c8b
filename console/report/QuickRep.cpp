#include "report/QuickRep.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>

namespace hvn::console {

namespace {

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
const QColor kSilver(192, 192, 192);

constexpr double kColumnLeft[kFiscalColumns] = {27.3, 40.2, 76.2, 112.2, 148.2, 184.2, 220.1};
constexpr double kColumnWidth[kFiscalColumns] = {13.0, 26.5, 27.0, 27.8, 25.4, 25.1, 24.6};
constexpr double kTitleWidth = 36.2;
constexpr double kLabelHeight = 6.6;
constexpr double kCellFontSize = 12.0;

double rowTop(int row)
{
    if (row == 0)
        return 8.5;
    if (row == kFiscalTotalsRow)
        return 127.0;
    return 21.2 + (row - 1) * 8.47;
}

// Millimetres a text takes in a font, measured at a fine resolution.
QSizeF textSize(const QString &family, double pointSize, const QString &text)
{
    constexpr double kDpi = 1200.0;
    static const QImage probe = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(kDpi / 0.0254));
        image.setDotsPerMeterY(qRound(kDpi / 0.0254));
        return image;
    }();
    QFont font(family);
    font.setPointSizeF(pointSize);
    const QFontMetricsF metrics(font, &probe);
    return QSizeF(metrics.horizontalAdvance(text) * 25.4 / kDpi, metrics.height() * 25.4 / kDpi);
}

} // namespace

void installReportFontSubstitutions()
{
    static const bool done = [] {
        QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
        QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
        return true;
    }();
    (void)done;
}

TQuickRep::TQuickRep()
{
    installReportFontSubstitutions();
    m_labels.append({QStringLiteral("QRLYear"), 0, 0, QRectF(8.5, 2.1, 0, 0), kPGothic, 18.0, Qt::AlignLeft, {},
                     false, QStringLiteral("2004年度"), &TQuickRep::QRLYearPrint});
    m_labels.append({QStringLiteral("QRLSectionName"), 0, 0, QRectF(36.0, 2.1, 0, 0), kPGothic, 18.0, Qt::AlignLeft,
                     {}, false, QStringLiteral("部署別集計"), &TQuickRep::QRLSectionNamePrint});
    m_labels.append({QStringLiteral("QRLKind"), 0, 0, QRectF(36.0, 19.1, 0, 0), kPGothic, 16.0, Qt::AlignLeft, {},
                     false, QStringLiteral("部署名："), &TQuickRep::QRLKindPrint});
    for (int column = 0; column < kFiscalColumns; ++column) {
        for (int row = 0; row < kFiscalRows; ++row) {
            if (column == 0 && row == 0)
                continue;
            TQRLabel label;
            label.tag = column * 100 + row;
            label.band = 1;
            label.fontFamily = kGothic;
            label.pointSize = kCellFontSize;
            label.caption = QStringLiteral("QRLabel");
            label.onPrint = &TQuickRep::QRLabelPrint;
            if (row == 0) {
                label.name = QStringLiteral("QRLtitle%1").arg(column);
                label.rect = QRectF(kColumnLeft[column], rowTop(row), kTitleWidth, kLabelHeight);
                label.alignment = Qt::AlignHCenter;
                label.ruleBelow = true;
            } else {
                label.name = QStringLiteral("QRLabel%1").arg(label.tag);
                label.rect = QRectF(kColumnLeft[column], rowTop(row), kColumnWidth[column], kLabelHeight);
                label.alignment = Qt::AlignRight;
                if (row == kFiscalTotalsRow)
                    label.background = kSilver;
            }
            m_labels.append(label);
        }
    }
}

ReportDocument TQuickRep::render(const FiscalReportSnapshot &data)
{
    m_data = data;
    ReportDocument doc;
    doc.paperSize = QSizeF(kPaperWidth, kPaperHeight);
    doc.margins = QMarginsF(kMargin, kMargin, kMargin, kMargin);

    const double titleTop = kMargin;
    const double detailTop = kMargin + kTitleBandHeight;
    const auto onPage = [&](int band, QRectF rect) {
        return rect.translated(kMargin, band == 0 ? titleTop : detailTop);
    };

    ReportPage page;
    page.bands = {ReportBand{false, 0, 0}, ReportBand{true, 1, 1}};
    // The bands' white, then the totals row's silver rectangle and the rule above it.
    page.elements.append({ReportElement::Kind::Fill, QRectF(kMargin, titleTop, kPaperWidth - 2 * kMargin, kTitleBandHeight),
                          {}, {}, 0, {}, false, QColor(Qt::white)});
    page.elements.append({ReportElement::Kind::Fill,
                          QRectF(kMargin, detailTop, kPaperWidth - 2 * kMargin, kDetailBandHeight), {}, {}, 0, {},
                          false, QColor(Qt::white)});
    page.elements.append({ReportElement::Kind::Fill, onPage(1, QRectF(27.3, 124.9, 229.1, 8.7)), {}, {}, 0, {}, false,
                          kSilver});
    ReportElement rule;
    rule.kind = ReportElement::Kind::Rule;
    rule.rect = onPage(1, QRectF(27.5, 122.0, 228.9, 0));
    rule.colour = QColor(Qt::black);
    page.elements.append(rule);

    int titleColumn = 0;
    for (const TQRLabel &label : m_labels) {
        QString text = label.caption;
        if (label.onPrint)
            (this->*label.onPrint)(label, text);
        ReportElement e;
        e.kind = ReportElement::Kind::Text;
        e.text = text;
        e.fontFamily = label.fontFamily;
        e.pointSize = label.pointSize;
        e.alignment = label.alignment;
        e.ruleBelow = label.ruleBelow;
        e.colour = label.background;
        e.band = label.band;
        QRectF rect = label.rect;
        if (rect.width() <= 0)
            rect.setSize(textSize(label.fontFamily, label.pointSize, text));
        e.rect = onPage(label.band, rect);
        if (label.band == 1) {
            e.row = label.tag % 100;
            e.column = label.tag / 100;
        } else {
            // The title band reads as two lines: the year beside the table's name, then the
            // section or printer below.
            e.row = label.rect.y() > 10.0 ? 1 : 0;
            e.column = e.row == 0 ? titleColumn++ : 0;
        }
        page.elements.append(e);
    }
    doc.pages.append(page);
    doc.title = data.year + QStringLiteral("年度 ")
        + (data.table == FiscalTable::Section ? QStringLiteral("部署別集計") : QStringLiteral("プリンタ別集計"));
    return doc;
}

void TQuickRep::QRLabelPrint(const TQRLabel &sender, QString &value) const
{
    value = m_data.cells.cell(sender.tag / 100, sender.tag % 100);
}

void TQuickRep::QRLKindPrint(const TQRLabel &, QString &value) const
{
    value = (m_data.table == FiscalTable::Section ? QStringLiteral("部署名：") : QStringLiteral("プリンタ名："))
        + m_data.name;
}

void TQuickRep::QRLSectionNamePrint(const TQRLabel &, QString &value) const
{
    value = m_data.table == FiscalTable::Section ? QStringLiteral("部署別集計") : QStringLiteral("プリンタ別集計");
}

void TQuickRep::QRLYearPrint(const TQRLabel &, QString &value) const
{
    value = m_data.year + QStringLiteral("年度");
}

} // namespace hvn::console
