// The fiscal-year report: the page as printed to PDF through QPrinter (its text by pdftotext,
// its pixels by pdftoppm), the print dialogs' keep-or-restore rule, and the preview window's
// zoom, navigation, report files and exports.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

#include "report/QuickRep.h"
#include "report/ReportPainter.h"
#include "report/SaveFile.h"
#include "windows/Qreport.h"
#include "windows/ReportPreview.h"

#include "ReportTestSupport.h"

using namespace hvn::console;
using hvn::console::test::pdfText;

namespace {

FiscalReportSnapshot layoutOnly(FiscalTable table, int startMonth)
{
    FiscalReportSnapshot s;
    s.table = table;
    s.cells = fiscalYearLayout(startMonth);
    return s;
}

FiscalReportSnapshot calculated(FiscalTable table, const QString &year, const QString &name)
{
    FiscalReportSnapshot s = layoutOnly(table, 4);
    s.year = year;
    s.name = name;
    for (int r = 1; r <= 13; ++r) {
        s.cells.setCell(1, r, QStringLiteral(" %1 ").arg(100 * r));
        s.cells.setCell(2, r, QStringLiteral(" %1 ").arg(75 * r));
        s.cells.setCell(3, r, QStringLiteral(" 25.0% "));
        s.cells.setCell(4, r, QStringLiteral(" %1 ").arg(r));
        s.cells.setCell(5, r, QStringLiteral(" 0 "));
        s.cells.setCell(6, r, QStringLiteral(" 100.0% "));
    }
    return s;
}

constexpr int kDpi = 100;

QImage pdfPixels(const QByteArray &pdf, const QTemporaryDir &dir)
{
    return hvn::console::test::pdfPixels(pdf, dir, kDpi);
}

// The darkest grey level within ±1 mm vertically of a paper point given in millimetres.
int darkestAround(const QImage &image, double xMm, double yMm)
{
    const int x = qRound(xMm * kDpi / 25.4);
    const int y = qRound(yMm * kDpi / 25.4);
    int darkest = 255;
    for (int dy = -4; dy <= 4; ++dy)
        darkest = std::min(darkest, qGray(image.pixel(x, y + dy)));
    return darkest;
}

QRgb at(const QImage &image, double xMm, double yMm)
{
    return image.pixel(qRound(xMm * kDpi / 25.4), qRound(yMm * kDpi / 25.4)) & 0xFFFFFF;
}

} // namespace

class TstQreport : public QObject {
    Q_OBJECT
private slots:
    void pdfTextShowsHeadingAndCellsForBothTables_data();
    void pdfTextShowsHeadingAndCellsForBothTables();
    void neverCalculatedTablePrintsLayoutWithEmptyFigures();
    void pdfPixelsShowSilverTotalsAndRules();
    void cancelledDialogPrintsNothingAndKeepsEarlierSettings();
    void confirmedDialogsKeepChoicesAndOnlyPrintPrints();
    void previewZoomsAndPagesThroughItsActions();
    void previewFirstPaintFitsTheWholePageToTheWindowItHas();
    void previewSaveLoadRoundTripAndBadFileKeepsDocument();
    void previewExportsCarryTheCells();

private:
    QTemporaryDir m_dir;
};

void TstQreport::pdfTextShowsHeadingAndCellsForBothTables_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QString>("heading");
    QTest::newRow("section") << int(FiscalTable::Section) << QStringLiteral("2004年度部署別集計 部署名：総務部 経理課");
    QTest::newRow("printer") << int(FiscalTable::Printer) << QStringLiteral("2004年度プリンタ別集計 プリンタ名：総務部 経理課");
}

void TstQreport::pdfTextShowsHeadingAndCellsForBothTables()
{
    QFETCH(int, table);
    QFETCH(QString, heading);
    TQuickRep report;
    const QString text =
        pdfText(reportPdf(report.render(calculated(FiscalTable(table), QStringLiteral("2004"),
                                                   QStringLiteral("総務部 経理課")))),
                m_dir);
    QVERIFY2(text.startsWith(heading), qPrintable(text.left(80)));
    QVERIFY(text.contains(QStringLiteral("ページ数 用紙枚数 削減率(%) 前年度ページ数 前年度用紙枚数 前年度削減率(%)")));
    QVERIFY(text.contains(QStringLiteral("4月 100 75 25.0% 1 0 100.0%")));
    QVERIFY(text.contains(QStringLiteral("3月 1200 900 25.0% 12 0 100.0%")));
    QVERIFY(text.contains(QStringLiteral("累計 1300 975 25.0% 13 0 100.0%")));
}

void TstQreport::neverCalculatedTablePrintsLayoutWithEmptyFigures()
{
    TQuickRep report;
    FiscalReportSnapshot s = layoutOnly(FiscalTable::Section, 1);
    s.year = QStringLiteral("2010");
    const QString text = pdfText(reportPdf(report.render(s)), m_dir);
    QCOMPARE(text, QStringLiteral("2010年度部署別集計 部署名： ページ数 用紙枚数 削減率(%) 前年度ページ数 前年度用紙枚数 "
                                  "前年度削減率(%) 1月 2月 3月 4月 5月 6月 7月 8月 9月 10月 11月 12月 累計"));
}

void TstQreport::pdfPixelsShowSilverTotalsAndRules()
{
    TQuickRep report;
    const QImage page = pdfPixels(reportPdf(report.render(calculated(FiscalTable::Section, QStringLiteral("2004"),
                                                                     QStringLiteral("X")))),
                                  m_dir);
    QVERIFY(qAbs(page.width() - 297 * kDpi / 25.4) < 2);
    // The totals row and its rectangle on silver (the screen's aqua is not printed), white
    // around it; the rule above it, and the title labels ruled below, in black.
    const QRgb silver = qRgb(192, 192, 192) & 0xFFFFFF;
    QCOMPARE(at(page, 262.0, 169.0), silver);
    QCOMPARE(at(page, 40.0, 166.0), silver);
    QCOMPARE(at(page, 262.0, 177.0), QRgb(0xFFFFFF));
    QCOMPARE(at(page, 262.0, 158.0), QRgb(0xFFFFFF));
    QVERIFY(darkestAround(page, 150.0, 162.4) < 64);
    QVERIFY(darkestAround(page, 60.0, 55.5) < 64);
    QCOMPARE(at(page, 20.0, 55.5), QRgb(0xFFFFFF));
    QCOMPARE(at(page, 268.0, 162.4), QRgb(0xFFFFFF));
}

void TstQreport::cancelledDialogPrintsNothingAndKeepsEarlierSettings()
{
    TqrForm form;
    const QString file = m_dir.filePath(QStringLiteral("cancelled.pdf"));
    int shown = 0;
    bool openedLandscape = true;
    form.setPrintDialog([&](QPrinter &printer, QWidget *) {
        ++shown;
        openedLandscape = openedLandscape && printer.pageLayout().orientation() == QPageLayout::Landscape;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setCopyCount(4);
        printer.setPageOrientation(QPageLayout::Portrait);
        return false;
    });
    TQuickRep report;
    QVERIFY(!form.print(report.render(calculated(FiscalTable::Section, QStringLiteral("2004"), {})), nullptr));
    QVERIFY(!form.printSetup(nullptr));
    QCOMPARE(shown, 2);
    QVERIFY(openedLandscape);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(form.printer().copyCount(), 1);
    QCOMPARE(form.printer().outputFileName(), QString());
    QCOMPARE(form.printer().pageLayout().orientation(), QPageLayout::Landscape);
}

void TstQreport::confirmedDialogsKeepChoicesAndOnlyPrintPrints()
{
    TqrForm form;
    const QString setupFile = m_dir.filePath(QStringLiteral("setup.pdf"));
    form.setPrintDialog([&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(setupFile);
        printer.setCopyCount(2);
        return true;
    });
    QVERIFY(form.printSetup(nullptr));
    QVERIFY(!QFile::exists(setupFile));

    // The next print opens on the kept choices; OK prints there.
    form.setPrintDialog([&](QPrinter &printer, QWidget *) {
        return printer.outputFileName() == setupFile && printer.copyCount() == 2;
    });
    TQuickRep report;
    QVERIFY(form.print(report.render(calculated(FiscalTable::Printer, QStringLiteral("2005"), QStringLiteral("P"))),
                       nullptr));
    QFile pdf(setupFile);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.readAll().startsWith("%PDF-"));
}

void TstQreport::previewZoomsAndPagesThroughItsActions()
{
    TqrForm form;
    TQuickRep report;
    ReportDocument doc = report.render(calculated(FiscalTable::Section, QStringLiteral("2004"), QStringLiteral("A")));
    doc.pages += report.render(calculated(FiscalTable::Section, QStringLiteral("2005"), QStringLiteral("B"))).pages;
    doc.pages += report.render(calculated(FiscalTable::Section, QStringLiteral("2006"), QStringLiteral("C"))).pages;
    ReportPreview *preview = form.preview(doc);
    QVERIFY(QTest::qWaitForWindowExposed(preview));
    QCOMPARE(preview->windowTitle(), QStringLiteral("プレビュー"));
    QVERIFY(!QApplication::activeModalWidget());

    const auto viewport = preview->findChild<QScrollArea *>()->viewport();
    preview->action("ZoomActual")->trigger();
    QCOMPARE(preview->scale(), preview->logicalDpiX() / 25.4);
    preview->action("ZoomPageWidth")->trigger();
    QVERIFY(qAbs(preview->scale() * 297 + 16 - viewport->width()) <= 1);
    preview->action("ZoomWholePage")->trigger();
    QVERIFY(preview->scale() * 210 + 16 <= viewport->height() + 1);
    QVERIFY(preview->scale() * 297 + 16 <= viewport->width() + 1);

    QCOMPARE(preview->currentPage(), 0);
    QVERIFY(!preview->action("PreviousPage")->isEnabled());
    preview->action("NextPage")->trigger();
    QCOMPARE(preview->currentPage(), 1);
    preview->action("LastPage")->trigger();
    QCOMPARE(preview->currentPage(), 2);
    QVERIFY(!preview->action("NextPage")->isEnabled());
    preview->action("PreviousPage")->trigger();
    QCOMPARE(preview->currentPage(), 1);
    preview->action("FirstPage")->trigger();
    QCOMPARE(preview->currentPage(), 0);

    QPointer<ReportPreview> alive(preview);
    QCOMPARE(preview->action("ClosePreview")->text(), QStringLiteral("閉じる(&C)"));
    preview->action("ClosePreview")->trigger();
    QTRY_VERIFY(alive.isNull());
}

// The whole-page zoom is taken from the page area as the shown window has it, not from the
// size a widget has before its window is laid out (which draws the page a few pixels wide).
void TstQreport::previewFirstPaintFitsTheWholePageToTheWindowItHas()
{
    struct FirstPaint : QObject {
        QSize page;
        QSize room;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && page.isEmpty()) {
                auto *view = static_cast<QWidget *>(watched);
                page = view->size() - QSize(16, 16);
                room = view->parentWidget()->size();
            }
            return false;
        }
    };
    TqrForm form;
    TQuickRep report;
    ReportPreview *preview = form.preview(report.render(calculated(FiscalTable::Section, QStringLiteral("2004"),
                                                                   QStringLiteral("A"))));
    FirstPaint first;
    auto *view = preview->findChild<QWidget *>(QStringLiteral("PageView"));
    QVERIFY(view);
    view->installEventFilter(&first);
    QVERIFY(QTest::qWaitForWindowExposed(preview));
    QTRY_VERIFY(!first.page.isEmpty());
    QCOMPARE(preview->zoom(), ReportPreview::Zoom::WholePage);
    QVERIFY2(first.page.width() >= 0.8 * first.room.width() || first.page.height() >= 0.8 * first.room.height(),
             qPrintable(QStringLiteral("page %1x%2 in %3x%4").arg(first.page.width()).arg(first.page.height())
                            .arg(first.room.width()).arg(first.room.height())));
    QVERIFY(first.page.width() <= first.room.width() && first.page.height() <= first.room.height());
    preview->close();
}

void TstQreport::previewSaveLoadRoundTripAndBadFileKeepsDocument()
{
    TqrForm form;
    TQuickRep report;
    const ReportDocument first = report.render(calculated(FiscalTable::Printer, QStringLiteral("2004"), QStringLiteral("複合機")));
    const ReportDocument second = report.render(calculated(FiscalTable::Section, QStringLiteral("1999"), QStringLiteral("営業")));
    ReportPreview *saver = form.preview(first);
    const QString path = m_dir.filePath(QStringLiteral("saved.hvr"));
    saver->saveTo(path);

    ReportPreview *loader = form.preview(second);
    loader->loadFrom(path);
    QVERIFY(loader->document() == first);

    const QString bad = m_dir.filePath(QStringLiteral("bad.hvr"));
    for (const QByteArray &content : {QByteArray("not json"), QByteArray(R"({"format":"other","version":1})"),
                                      QByteArray(R"({"format":"halvane-report","version":1,"paper":[297,210],)"
                                                 R"("margins":[10,10,10,10],"pages":[]})")}) {
        saveFileAtomically(bad, content);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, loader->loadFrom(bad));
        QVERIFY(loader->document() == first);
    }
    // A failed save leaves the earlier file as it was.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, saver->saveTo(m_dir.filePath(QStringLiteral("missing/dir/x.hvr"))));
}

void TstQreport::previewExportsCarryTheCells()
{
    TqrForm form;
    TQuickRep report;
    ReportPreview *preview =
        form.preview(report.render(calculated(FiscalTable::Section, QStringLiteral("2004"), QStringLiteral("R&D, \"本社\""))));
    const auto exported = [&](ReportPreview::Export format, const char *name) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        preview->exportTo(format, path);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    };

    const QStringList csv = exported(ReportPreview::Export::Csv, "r.csv").split(QStringLiteral("\r\n"));
    QCOMPARE(csv.size(), 17); // two heading lines, 14 grid rows, the final line break
    QCOMPARE(csv.at(0), QStringLiteral("2004年度,部署別集計"));
    QCOMPARE(csv.at(1), QStringLiteral("\"部署名：R&D, \"\"本社\"\"\""));
    QCOMPARE(csv.at(2), QStringLiteral(",ページ数,用紙枚数,削減率(%),前年度ページ数,前年度用紙枚数,前年度削減率(%)"));
    QCOMPARE(csv.at(3), QStringLiteral("4月,100,75,25.0%,1,0,100.0%"));
    QCOMPARE(csv.at(15), QStringLiteral("累計,1300,975,25.0%,13,0,100.0%"));

    const QStringList text = exported(ReportPreview::Export::Text, "r.txt").split(QLatin1Char('\n'));
    QCOMPARE(text.at(0), QStringLiteral("2004年度  部署別集計"));
    QCOMPARE(text.at(4), QStringLiteral(" 4月       100        75      25.0%               1               0           100.0%"));
    QCOMPARE(text.at(16), QStringLiteral("累計      1300       975      25.0%              13               0           100.0%"));

    const QString html = exported(ReportPreview::Export::Html, "r.html");
    QVERIFY(html.contains(QStringLiteral("<p>部署名：R&amp;D, &quot;本社&quot;</p>")));
    QVERIFY(html.contains(QStringLiteral("<th style=\"text-align: center\">ページ数</th>")));
    QVERIFY(html.contains(QStringLiteral("<tr class=\"total\"><td style=\"text-align: right\">累計</td>")));

    exported(ReportPreview::Export::Pdf, "r.pdf");
    QFile pdf(m_dir.filePath(QStringLiteral("r.pdf")));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdfText(pdf.readAll(), m_dir).contains(QStringLiteral("累計 1300 975 25.0% 13 0 100.0%")));
}

QTEST_MAIN(TstQreport)
#include "tst_qreport.moc"
