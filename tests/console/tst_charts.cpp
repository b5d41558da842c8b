// The chart widgets on their own: the image files of "画像として保存...", the fonts, and the pane
// that puts a grid's chart beside it or below it.
#include <cmath>

#include <QBarSet>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include "charts/FiscalYearChart.h"
#include "charts/GridChartPane.h"
#include "charts/SectionRateChart.h"
#include "data/FiscalYearCalc.h"
#include "mainform/FiscalYearTab.h"
#include "widgets/StringGrid.h"

using namespace hvn::console;

namespace {

const QColor kBarColour(0x2f, 0x6f, 0xb5);

FiscalYearTable sampleTable()
{
    FiscalYearTable table;
    table.year = 2026;
    table.startMonth = 4;
    table.cells = fiscalYearLayout(4);
    for (int month = 0; month < 12; ++month) {
        table.current[month] = {100 + 10 * month, 60 + 5 * month};
        table.previous[month] = {90, 80};
        writeFiscalRow(table.cells, month + 1, table.current[month], table.previous[month]);
    }
    return table;
}

int pixelsOf(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

} // namespace

class TstCharts : public QObject {
    Q_OBJECT
private slots:
    void savedPngAndSvgHoldTheChartAndAFailureKeepsTheFile();
    void chartTextsUseTheIpaFontsAndTheMenuOffersSaving();
    void paneSetsTheChartBesideAWideGridPageAndBelowANarrowOne();
    void sectionBarsKeepTheGridOrderAndNameTheUnnamedRow();
    void axesGetRoundEvenlySpacedTicks_data();
    void axesGetRoundEvenlySpacedTicks();
};

void TstCharts::savedPngAndSvgHoldTheChartAndAFailureKeepsTheFile()
{
    QTemporaryDir dir;
    FiscalYearChart chart;
    chart.showTable(sampleTable(), QStringLiteral("本社 営業部"));
    chart.resize(900, 540);

    const QString png = dir.filePath(QStringLiteral("chart.png"));
    chart.saveImage(png);
    QImage image;
    QVERIFY(image.load(png, "PNG"));
    QCOMPARE(image.size(), QSize(900, 540));
    QVERIFY(pixelsOf(image, kBarColour) > 500);
    // The view keeps its own layout after drawing at another size.
    const QSizeF shown = chart.chart()->size();
    const QByteArray large = chart.image(ChartView::ImageFormat::Png, QSize(1600, 900));
    QVERIFY(image.loadFromData(large, "PNG"));
    QCOMPARE(image.size(), QSize(1600, 900));
    QCOMPARE(chart.chart()->size(), shown);

    const QString svg = dir.filePath(QStringLiteral("chart.SVG"));
    chart.saveImage(svg);
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains(QStringLiteral("<svg")));
    for (const QString &label : {QStringLiteral("本社 営業部"), QStringLiteral("4月"), QStringLiteral("2025年度 削減率")})
        QVERIFY2(text.contains(label), qPrintable(label));

    // A failure is reported, never passed over; no temporary file stays behind.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.png")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, chart.saveImage(dir.filePath(QStringLiteral("taken.png"))));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, chart.saveImage(dir.filePath(QStringLiteral("no/such/folder.png"))));
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot);
    files.sort();
    QCOMPARE(files, (QStringList{"chart.SVG", "chart.png"}));
}

void TstCharts::chartTextsUseTheIpaFontsAndTheMenuOffersSaving()
{
    FiscalYearChart chart;
    QVERIFY(QFontInfo(chart.chart()->titleFont()).family().startsWith(QStringLiteral("IPA")));
    QVERIFY(QFontInfo(chart.chart()->legend()->font()).family().startsWith(QStringLiteral("IPA")));
    QCOMPARE(chart.saveImageAction()->text(), QStringLiteral("画像として保存..."));
    // Before the first calculation: the months of a start in April and no figures.
    QCOMPARE(chart.months().value(0), QStringLiteral("4月"));
    QCOMPARE(chart.months().value(11), QStringLiteral("3月"));
    QCOMPARE(chart.sheets()->count(), 0);
    chart.relabelMonths(10);
    QCOMPARE(chart.months().value(0), QStringLiteral("10月"));
}

void TstCharts::paneSetsTheChartBesideAWideGridPageAndBelowANarrowOne()
{
    QWidget page;
    auto *grid = createFiscalGrid(&page, "grid");
    layOutFiscalGrid(grid, 4);
    auto *chart = new FiscalYearChart(&page);
    auto *pane = new GridChartPane(grid, chart, GridChartPane::GridFit::Whole, &page);
    const int columns = grid->horizontalHeader()->length();
    QCOMPARE(columns, 50 + 6 * 120);

    pane->resize(1400, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_VERIFY(pane->chartBeside());
    QVERIFY(grid->width() >= columns && grid->height() >= grid->verticalHeader()->length());
    QTRY_VERIFY(chart->x() >= grid->x() + grid->width());
    QVERIFY(chart->width() >= GridChartPane::kChartMinWidth);

    pane->resize(800, 500);
    QTRY_VERIFY(!pane->chartBeside());
    QVERIFY(grid->width() >= columns && grid->height() >= grid->verticalHeader()->length());
    QTRY_VERIFY(chart->y() >= grid->y() + grid->height());
    QVERIFY(chart->height() >= GridChartPane::kChartMinHeight);

    // Wider columns (restored settings, a user's drag) move the chart below again.
    pane->resize(1400, 600);
    QTRY_VERIFY(pane->chartBeside());
    grid->setColumnWidth(3, 500);
    QTRY_VERIFY(!pane->chartBeside());
}

void TstCharts::sectionBarsKeepTheGridOrderAndNameTheUnnamedRow()
{
    SectionRateChart chart;
    chart.resize(600, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.showRates({{QStringLiteral("本社"), 80.0}, {QStringLiteral("No Section"), 0.0}, {QString(), 20.0}});
    QCOMPARE(chart.sections(), (QStringList{"本社", "No Section", "（名前なし）"}));
    QCOMPARE(chart.rowCount(), 3);
    QCOMPARE(chart.rate(0), 80.0);
    QCOMPARE(chart.rate(2), 20.0);
    // Drawn as the grid lists them: the first row's bar at the top, the last one's at the bottom.
    const QImage image = QImage::fromData(chart.image(ChartView::ImageFormat::Png));
    const auto barRows = [&](double rate) {
        const int x = qRound(chart.chart()->mapToPosition(QPointF(rate, 0)).x());
        QVector<int> rows;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == kBarColour)
                rows << y;
        return rows;
    };
    const QVector<int> at60 = barRows(60);
    const QVector<int> at10 = barRows(10);
    QVERIFY(!at60.isEmpty() && at60.last() < image.height() / 3);
    QVERIFY(at10.size() > at60.size() && at10.last() > 2 * image.height() / 3);
    chart.showRates({});
    QCOMPARE(chart.rowCount(), 0);
    QVERIFY(chart.sections().isEmpty());
}

void TstCharts::axesGetRoundEvenlySpacedTicks_data()
{
    QTest::addColumn<bool>("rate");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("ticks");
    QTest::newRow("no sheets") << false << 0.0 << 0.0 << 0.0 << 10.0 << 6;
    QTest::newRow("7 sheets") << false << 0.0 << 7.0 << 0.0 << 10.0 << 6;
    QTest::newRow("42 sheets") << false << 0.0 << 42.0 << 0.0 << 50.0 << 6;
    QTest::newRow("150 sheets") << false << 0.0 << 150.0 << 0.0 << 200.0 << 5;
    QTest::newRow("1001 sheets") << false << 0.0 << 1001.0 << 0.0 << 2000.0 << 5;
    QTest::newRow("rates within 0..100") << true << 0.0 << 55.3 << 0.0 << 100.0 << 6;
    QTest::newRow("a negative rate") << true << -30.0 << 60.0 << -40.0 << 100.0 << 8;
    QTest::newRow("far more sheets than pages") << true << -500.0 << 50.0 << -500.0 << 100.0 << 7;
}

void TstCharts::axesGetRoundEvenlySpacedTicks()
{
    QFETCH(bool, rate);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QValueAxis axis;
    if (rate)
        ChartView::setRateRange(&axis, lowest, highest);
    else
        ChartView::setCountRange(&axis, highest);
    QTEST(axis.min(), "min");
    QTEST(axis.max(), "max");
    QTEST(axis.tickCount(), "ticks");
    // Whole-numbered labels.
    const double step = (axis.max() - axis.min()) / (axis.tickCount() - 1);
    QCOMPARE(step, std::round(step));
}

QTEST_MAIN(TstCharts)
#include "tst_charts.moc"
