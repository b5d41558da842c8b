#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QVector>

#include "report/FiscalReportSnapshot.h"
#include "report/ReportDocument.h"

namespace hvn::console {

class TQuickRep;

// One label of the report's design: band-relative position and size in millimetres, font,
// alignment, background, and the handler that gives it its text at print time.
struct TQRLabel {
    using PrintHandler = void (TQuickRep::*)(const TQRLabel &sender, QString &value) const;

    QString name;
    int tag = 0;
    int band = 0;          // 0 title band, 1 detail band
    QRectF rect;           // width 0: sized to its text
    QString fontFamily;
    double pointSize = 9.0;
    Qt::Alignment alignment = Qt::AlignLeft;
    QColor background;     // invalid: the band's white shows through
    bool ruleBelow = false;
    QString caption;       // the design-time placeholder
    PrintHandler onPrint = nullptr;
};

// The fiscal-year report (`QuickRep1`): A4 landscape, 10 mm margins, a title band of 30.4 mm
// with the year, the table's name and the chosen section or printer, and a detail band of
// 140 mm with 97 labels mirroring the fiscal-year grid cell for cell (tag = column × 100 +
// row), the totals row on silver. It prints one page from the snapshot it is given and never
// reads a window or the database. GUI thread only (it measures texts with Qt's fonts).
class TQuickRep {
public:
    TQuickRep();

    // Renders the page: every label's text is replaced by its handler from `data`.
    ReportDocument render(const FiscalReportSnapshot &data);

    const QVector<TQRLabel> &labels() const { return m_labels; }

    // ---- Text handlers, called each time their label is rendered ----
    // The grid cell at column tag / 100 and row tag % 100, exactly as the grid held it.
    void QRLabelPrint(const TQRLabel &sender, QString &value) const;
    // "部署名：" or "プリンタ名：" and the chosen section or printer.
    void QRLKindPrint(const TQRLabel &sender, QString &value) const;
    // "部署別集計" or "プリンタ別集計".
    void QRLSectionNamePrint(const TQRLabel &sender, QString &value) const;
    // The fiscal year followed by "年度".
    void QRLYearPrint(const TQRLabel &sender, QString &value) const;

    // The report's page in millimetres.
    static constexpr double kPaperWidth = 297.0;
    static constexpr double kPaperHeight = 210.0;
    static constexpr double kMargin = 10.0;
    static constexpr double kTitleBandHeight = 30.4;
    static constexpr double kDetailBandHeight = 140.0;

private:
    QVector<TQRLabel> m_labels;
    FiscalReportSnapshot m_data;
};

// Maps the Japanese system font names the report uses to the IPA Gothic fonts (once).
void installReportFontSubstitutions();

} // namespace hvn::console
