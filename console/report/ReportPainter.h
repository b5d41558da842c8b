#pragma once

#include <functional>

#include <QImage>
#include <QPageLayout>
#include <QPointF>
#include <QString>

class QPagedPaintDevice;
class QPainter;
class QPrinter;

namespace hvn::console {

struct ReportDocument;
struct ReportPage;

// Paints rendered reports in millimetres on any device. GUI thread only (Qt painting).

// Paints one page with the painter's device coordinates mapped so that pxPerMm device
// pixels make a millimetre and the paper point paperOrigin (mm) lies at device (0, 0).
// Font sizes follow the same scale, whatever the device's own resolution.
void paintReportPage(QPainter &painter, const ReportPage &page, QPointF paperOrigin, double pxPerMmX,
                     double pxPerMmY);

// The document's paper, orientation and margins.
QPageLayout reportPageLayout(const ReportDocument &doc);

// Paints one more page after a report's pages: `paintRect` is the page layout's paint
// rectangle in device pixels, with the painter's origin at its top-left corner.
using ExtraPage = std::function<void(QPainter &painter, const QRectF &paintRect)>;

// Paints the pages fromPage..toPage (1-based; 0 for either end means the first or last page)
// on a paged device, one device page per report page, in the device's current page layout,
// then the extra page when one is given. False when nothing could be painted: no pages in the
// range, or the device refuses to start (a printer the print system cannot open reports that
// itself).
bool printReport(QPagedPaintDevice &device, const ReportDocument &doc, int fromPage = 0, int toPage = 0,
                 const ExtraPage &extra = {});

// Prints through a printer with its range and copies (QPrinter::fromPage/toPage, the
// printer driving the copies). False as printReport().
bool printReport(QPrinter &printer, const ReportDocument &doc);

// Every page as a PDF file made through QPrinter, in the document's page layout, and the
// extra page after them when one is given. Throws std::runtime_error when it cannot be made.
QByteArray reportPdf(const ReportDocument &doc, const ExtraPage &extra = {});

// One page on white paper at the given resolution (dots per inch), for the preview and tests.
QImage reportPageImage(const ReportDocument &doc, int pageIndex, double dpi);

} // namespace hvn::console
