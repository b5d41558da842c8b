#pragma once

#include <QByteArray>
#include <QChartView>
#include <QFont>
#include <QSize>

class QAction;
class QPainter;
class QValueAxis;

namespace hvn::console {

// A chart of the console: its texts in the IPA Gothic fonts, no animation, and a context menu
// with "画像として保存..." that writes the chart as PNG or SVG. The same view renders the chart
// for hvnReport without being shown. Owns its chart. GUI thread only.
class ChartView : public QChartView {
    Q_OBJECT
public:
    enum class ImageFormat { Png, Svg };

    explicit ChartView(QWidget *parent = nullptr);

    // The chart as an image file's bytes, drawn at `size` (the view's own size when empty):
    // PNG on white, or SVG. Throws std::runtime_error when it cannot be made.
    QByteArray image(ImageFormat format, QSize size = QSize()) const;
    // Writes image() to path, SVG for a name ending in ".svg" (any case), PNG otherwise,
    // through a temporary file renamed over the target: a failure leaves an existing file as
    // it was. Throws std::runtime_error with the path and the reason.
    void saveImage(const QString &path) const;
    // Draws the chart, laid out at `size`, scaled into `target` of any painter.
    void render(QPainter &painter, const QRectF &target, QSize size) const;

    QAction *saveImageAction() const { return m_saveImage; }

    // The chart's fonts: IPA P Gothic at the point size.
    static QFont chartFont(int pointSize);
    // Ranges with round, evenly spaced tick labels. Counts: 0 up to at least `highest` (at
    // least 10). Rates in percent: from 0 (or below, for a negative rate) up to 100 (or above).
    static void setCountRange(QValueAxis *axis, double highest);
    static void setRateRange(QValueAxis *axis, double lowest, double highest);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void askSaveImage();

    QAction *m_saveImage = nullptr;
};

} // namespace hvn::console
