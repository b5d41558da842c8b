#pragma once

#include <QByteArray>
#include <QColor>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include "report/TextReport.h"

namespace hvn::console {

// A rendered report: what the renderer painted, as a list of elements per page, in
// millimetres from the top-left corner of the paper (margins included). The preview shows
// it, printing and PDF paint it, the exports read its texts, and it is saved and loaded in
// the report file format (toFile / fromFile). A value type without Qt widgets.

struct ReportElement {
    enum class Kind { Text, Fill, Rule };

    Kind kind = Kind::Text;
    // Text and Fill: the element's box. Rule: a line from topLeft() to topRight().
    QRectF rect;
    // Text only.
    QString text;
    QString fontFamily;
    double pointSize = 9.0;
    Qt::Alignment alignment = Qt::AlignLeft;
    bool ruleBelow = false; // a line along the lower edge of the box
    // Text: background (invalid = none). Fill: the colour. Rule: the line colour.
    QColor colour;
    // Rule: line width in millimetres.
    double lineWidth = 0.3;
    // Where a text goes in the exports: its band, and its row and column within the band.
    int band = 0;
    int row = 0;
    int column = 0;

    bool operator==(const ReportElement &) const = default;
};

// How a band's texts read in the exports: as heading lines, or as a table with leading
// rows of column titles and trailing rows of totals.
struct ReportBand {
    bool table = false;
    int headerRows = 0;
    int footerRows = 0;
    bool operator==(const ReportBand &) const = default;
};

struct ReportPage {
    QVector<ReportBand> bands; // indexed by ReportElement::band
    QVector<ReportElement> elements;
    bool operator==(const ReportPage &) const = default;
};

struct ReportDocument {
    QString title;           // names the report in exports and in the preview
    QSizeF paperSize{297.0, 210.0};
    QMarginsF margins{10.0, 10.0, 10.0, 10.0};
    QVector<ReportPage> pages;

    bool operator==(const ReportDocument &) const = default;

    // The report file format: UTF-8 JSON tagged "halvane-report", version 1.
    QByteArray toFile() const;
    // Throws std::runtime_error with a one-line reason when data is not such a file.
    static ReportDocument fromFile(const QByteArray &data);

    // The texts of every page, band by band, for the text exports: each text at its band's
    // row and column, missing cells empty.
    TextReport textReport() const;
};

} // namespace hvn::console
