#include "charts/ChartView.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <QAction>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSvgGenerator>
#include <QValueAxis>

#include "app/MessageBoxes.h"
#include "report/SaveFile.h"

namespace hvn::console {

namespace {

const QString kPngFilter = QStringLiteral("PNG 画像 (*.png)");
const QString kSvgFilter = QStringLiteral("SVG 画像 (*.svg)");

// Lays the chart out at a size for the time of a drawing, then puts back the size the view
// gave it, so a view on screen keeps its own layout.
class ChartSizeScope {
public:
    ChartSizeScope(QChart *chart, QSizeF size)
        : m_chart(chart)
        , m_previous(chart->size())
    {
        if (size != m_previous)
            m_chart->resize(size);
    }
    ~ChartSizeScope()
    {
        if (m_chart->size() != m_previous)
            m_chart->resize(m_previous);
    }
    ChartSizeScope(const ChartSizeScope &) = delete;
    ChartSizeScope &operator=(const ChartSizeScope &) = delete;

private:
    QChart *m_chart;
    QSizeF m_previous;
};

} // namespace

ChartView::ChartView(QWidget *parent)
    : QChartView(new QChart, parent)
{
    setRenderHint(QPainter::Antialiasing);
    chart()->setAnimationOptions(QChart::NoAnimation);
    chart()->setTitleFont(chartFont(12));
    chart()->legend()->setFont(chartFont(9));
    chart()->legend()->setAlignment(Qt::AlignBottom);
    m_saveImage = new QAction(QStringLiteral("画像として保存..."), this);
    m_saveImage->setObjectName(QStringLiteral("SaveChartImage"));
    connect(m_saveImage, &QAction::triggered, this, &ChartView::askSaveImage);
}

QFont ChartView::chartFont(int pointSize)
{
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(pointSize);
    return font;
}

void ChartView::setCountRange(QValueAxis *axis, double highest)
{
    // The top is 1, 2 or 5 times a power of ten, split into steps that are whole numbers.
    double power = 1.0;
    while (power * 10.0 < highest)
        power *= 10.0;
    double top = 10.0;
    int steps = 5;
    for (const auto &[factor, parts] : {std::pair{1.0, 5}, {2.0, 4}, {5.0, 5}, {10.0, 5}}) {
        if (factor * power >= highest) {
            top = std::max(10.0, factor * power);
            steps = top == 10.0 ? 5 : parts;
            break;
        }
    }
    axis->setRange(0, top);
    axis->setTickCount(steps + 1);
}

void ChartView::setRateRange(QValueAxis *axis, double lowest, double highest)
{
    // The widest step first found to give at most eight steps; 0 and 100 stay on ticks.
    double step = 20.0;
    double low = 0.0;
    double high = 100.0;
    for (const double candidate : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0}) {
        step = candidate;
        low = std::min(0.0, std::floor(lowest / step) * step);
        high = std::max(100.0, std::ceil(highest / step) * step);
        if (std::fmod(100.0, step) == 0.0 && (high - low) / step <= 8.0)
            break;
        if (step > 100.0 && (high - low) / step <= 8.0)
            break;
    }
    axis->setRange(low, high);
    axis->setTickCount(int(std::lround((high - low) / step)) + 1);
}

void ChartView::render(QPainter &painter, const QRectF &target, QSize size) const
{
    const ChartSizeScope scope(chart(), size);
    chart()->scene()->render(&painter, target, QRectF(chart()->pos(), QSizeF(size)), Qt::IgnoreAspectRatio);
}

QByteArray ChartView::image(ImageFormat format, QSize size) const
{
    if (size.isEmpty())
        size = this->size();
    if (size.isEmpty())
        throw std::runtime_error("the chart has no size to be drawn at");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == ImageFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(chart()->title());
        QPainter painter;
        if (!painter.begin(&svg))
            throw std::runtime_error("cannot draw the chart as SVG");
        render(painter, QRectF(QPointF(0, 0), QSizeF(size)), size);
        painter.end();
        return bytes;
    }
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        render(painter, QRectF(QPointF(0, 0), QSizeF(size)), size);
    }
    if (!picture.save(&buffer, "PNG"))
        throw std::runtime_error("cannot encode the chart as PNG");
    return bytes;
}

void ChartView::saveImage(const QString &path) const
{
    const bool svg = path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
    saveFileAtomically(path, image(svg ? ImageFormat::Svg : ImageFormat::Png));
}

void ChartView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(m_saveImage);
    menu.exec(event->globalPos());
}

void ChartView::askSaveImage()
{
    QString filter = kPngFilter;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("画像として保存"), QString(),
                                                kPngFilter + QStringLiteral(";;") + kSvgFilter, &filter);
    if (path.isEmpty())
        return;
    // A name without a suffix takes the one of the chosen type.
    if (QFileInfo(path).suffix().isEmpty())
        path += filter == kSvgFilter ? QStringLiteral(".svg") : QStringLiteral(".png");
    try {
        saveImage(path);
    } catch (const std::exception &error) {
        MessageBoxes::error(this, QStringLiteral("画像として保存"),
                            QStringLiteral("画像を保存できませんでした。\n") + QString::fromLocal8Bit(error.what()));
    }
}

} // namespace hvn::console
