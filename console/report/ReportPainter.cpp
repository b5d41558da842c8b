#include "report/ReportPainter.h"

#include <algorithm>
#include <stdexcept>

#include <QFile>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include "report/ReportDocument.h"

namespace hvn::console {

namespace {

constexpr double kMmPerInch = 25.4;

} // namespace

void paintReportPage(QPainter &painter, const ReportPage &page, QPointF paperOrigin, double pxPerMmX,
                     double pxPerMmY)
{
    const auto toDevice = [&](QRectF mm) {
        return QRectF((mm.x() - paperOrigin.x()) * pxPerMmX, (mm.y() - paperOrigin.y()) * pxPerMmY,
                      mm.width() * pxPerMmX, mm.height() * pxPerMmY);
    };
    // A point size is in the device's logical inches; scale it to the millimetres painted here.
    const int deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 96;
    const double fontScale = pxPerMmY * kMmPerInch / std::max(1, deviceDpi);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const ReportElement &e : page.elements) {
        const QRectF box = toDevice(e.rect);
        switch (e.kind) {
        case ReportElement::Kind::Fill:
            painter.fillRect(box, e.colour);
            break;
        case ReportElement::Kind::Rule: {
            QPen pen(e.colour.isValid() ? e.colour : QColor(Qt::black));
            pen.setWidthF(std::max(1.0, e.lineWidth * pxPerMmY));
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.drawLine(box.topLeft(), box.topRight());
            break;
        }
        case ReportElement::Kind::Text: {
            if (e.colour.isValid())
                painter.fillRect(box, e.colour);
            QFont font(e.fontFamily);
            font.setPointSizeF(e.pointSize * fontScale);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(box, static_cast<int>(e.alignment | Qt::AlignVCenter) | Qt::TextSingleLine | Qt::TextDontClip,
                             e.text);
            if (e.ruleBelow) {
                QPen pen(Qt::black);
                pen.setWidthF(std::max(1.0, 0.3 * pxPerMmY));
                pen.setCapStyle(Qt::FlatCap);
                painter.setPen(pen);
                painter.drawLine(box.bottomLeft(), box.bottomRight());
            }
            break;
        }
        }
    }
    painter.restore();
}

QPageLayout reportPageLayout(const ReportDocument &doc)
{
    const bool landscape = doc.paperSize.width() > doc.paperSize.height();
    const QSizeF portrait = landscape ? doc.paperSize.transposed() : doc.paperSize;
    return QPageLayout(QPageSize(portrait, QPageSize::Millimeter), landscape ? QPageLayout::Landscape
                                                                             : QPageLayout::Portrait,
                       doc.margins, QPageLayout::Millimeter);
}

bool printReport(QPagedPaintDevice &device, const ReportDocument &doc, int fromPage, int toPage,
                 const ExtraPage &extra)
{
    const int count = static_cast<int>(doc.pages.size());
    const int first = fromPage > 0 ? fromPage : 1;
    const int last = toPage > 0 ? std::min(toPage, count) : count;
    if (first > last)
        return false;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    // The painter's origin is the corner of the layout's paint rectangle, in paper millimetres.
    const QPointF origin = device.pageLayout().paintRect(QPageLayout::Millimeter).topLeft();
    const double pxPerMmX = device.logicalDpiX() / kMmPerInch;
    const double pxPerMmY = device.logicalDpiY() / kMmPerInch;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            device.newPage();
        paintReportPage(painter, doc.pages.at(page - 1), origin, pxPerMmX, pxPerMmY);
    }
    if (extra) {
        if (!device.newPage())
            return false;
        const QRect paintRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
        painter.save();
        extra(painter, QRectF(QPointF(0, 0), QSizeF(paintRect.size())));
        painter.restore();
    }
    return painter.end();
}

bool printReport(QPrinter &printer, const ReportDocument &doc)
{
    const bool range = printer.printRange() == QPrinter::PageRange;
    return printReport(static_cast<QPagedPaintDevice &>(printer), doc, range ? printer.fromPage() : 0,
                       range ? printer.toPage() : 0);
}

QByteArray reportPdf(const ReportDocument &doc, const ExtraPage &extra)
{
    const QTemporaryDir dir;
    if (!dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for the PDF file: " + dir.errorString().toStdString());
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setCreator(QStringLiteral("Halvane"));
        printer.setDocName(doc.title);
        printer.setPageLayout(reportPageLayout(doc));
        if (!printReport(static_cast<QPagedPaintDevice &>(printer), doc, 0, 0, extra))
            throw std::runtime_error("cannot make the PDF file");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the PDF file back: " + file.errorString().toStdString());
    return file.readAll();
}

QImage reportPageImage(const ReportDocument &doc, int pageIndex, double dpi)
{
    const double pxPerMm = dpi / kMmPerInch;
    QImage image(qRound(doc.paperSize.width() * pxPerMm), qRound(doc.paperSize.height() * pxPerMm),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    if (pageIndex >= 0 && pageIndex < doc.pages.size()) {
        QPainter painter(&image);
        paintReportPage(painter, doc.pages.at(pageIndex), QPointF(0, 0), pxPerMm, pxPerMm);
    }
    return image;
}

} // namespace hvn::console
