// The print commands of the real main window on the fiscal-year tabs: what the report takes
// from the window and when, against a real database and the service's real lock listener.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "ReportTestSupport.h"
#include "mainform/Mainform.h"
#include "windows/Qreport.h"
#include "windows/ReportPreview.h"

using hvn::console::ReportPreview;
using hvn::console::TMainForm;
using hvn::console::TqrForm;
using namespace hvn::console::test;

namespace {

// Sections 本社 (level 1) and 本社 総務 below it; tanaka in 本社, sato in 総務; printer PRN1 leads
// PRN2. Fiscal year 2026 from April.
void prepareData(TestEnvironment &env)
{
    SQLite::Database db = env.createDatabase();
    exec(db, "INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
             " VALUES (1, '本社', 0, 1, '本社'), (2, '総務', 1, 2, '本社 総務')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
             " (1, 'tanaka', 1, 'tanaka'), (2, 'sato', 2, 'sato')");
    exec(db, "INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID,"
             " CommonPrinterName) VALUES (1, 'PRN1', 0, 1, 'G'), (2, 'PRN2', 1, 1, 'G')");
    exec(db, "INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
             " SheetsOfPaper, dbDateTime) VALUES"
             " (1, 1, 'PC1', 10, 10, 5, '2026-04-02 09:00:00.000'),"
             " (2, 2, 'PC2', 200, 200, 150, '2026-05-03 09:00:00.000')");
    for (const auto &[name, value] : {std::pair{"WindowHeight", 600}, {"WindowWidth", 900}, {"ToYear", 2026},
                                      {"ToMonth", 5}, {"KikanIndex", 0}, {"SectionYear", 2026},
                                      {"SectionMonth", 4}, {"PrinterYear", 2026}, {"PrinterMonth", 4}})
        env.setSetting(name, value);
}

void showTab(TMainForm &form, QWidget *tab)
{
    QTabBar *bar = form.PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(form.PageControl1->indexOf(tab)).center());
    QVERIFY(form.PageControl1->currentWidget() == tab);
}

} // namespace

class TstMainformReport : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        prepareData(*m_env);
        m_server = std::make_unique<LockServer>();
        m_env->setConsolePort(m_server->port());
        m_form = std::make_unique<TMainForm>();
        TMainForm::Dialogs dialogs;
        dialogs.qrForm = &m_report;
        m_form->setDialogs(dialogs);
        m_pdf = m_dir.filePath(QStringLiteral("printed.pdf"));
        QFile::remove(m_pdf);
        m_dialogs = 0;
        m_report.setPrintDialog([this](QPrinter &printer, QWidget *) {
            ++m_dialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_pdf);
            return true;
        });
        QVERIFY(showAndLoad(*m_form));
    }
    void cleanup()
    {
        m_form.reset();
        m_server.reset();
        m_env.reset();
    }

    void headingFollowsTheControlsWhileFiguresAreTheLastCalculation();
    void printerTableBeforeAnyCalculationPrintsItsLayoutAndItsYear();
    void previewKeepsTheTableItWasOpenedOnAndCommandsNeedAFiscalTab();

private:
    QString printedText() { return pdfText(fileBytes(m_pdf), m_dir); }

    QTemporaryDir m_dir;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LockServer> m_server;
    std::unique_ptr<TMainForm> m_form;
    TqrForm m_report;
    QString m_pdf;
    int m_dialogs = 0;
};

void TstMainformReport::headingFollowsTheControlsWhileFiguresAreTheLastCalculation()
{
    TMainForm &form = *m_form;
    showTab(form, form.tabSectionCalc);
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("本社"));
    QTest::mouseClick(form.btnCalc, Qt::LeftButton);
    // Another section and another year chosen, "集計" not pressed again.
    form.ComboBox1->setCurrentIndex(1);
    form.udSecYear->setPosition(2027);
    form.udSecYearClick();
    form.FilePrint();
    QCOMPARE(m_dialogs, 1);
    const QString text = printedText();
    QVERIFY2(text.startsWith(QStringLiteral("2027年度部署別集計 部署名：本社 総務 ")), qPrintable(text.left(60)));
    // 本社 counts its subtree: tanaka's April and sato's May.
    QVERIFY(text.contains(QStringLiteral("4月 10 5 50.0% 0 0 0.0%")));
    QVERIFY(text.contains(QStringLiteral("5月 200 150 25.0% 0 0 0.0%")));
    QVERIFY(text.contains(QStringLiteral("累計 210 155 26.2% 0 0 0.0%")));
}

void TstMainformReport::printerTableBeforeAnyCalculationPrintsItsLayoutAndItsYear()
{
    TMainForm &form = *m_form;
    form.udSecYear->setPosition(1999);
    form.udSecYearClick();
    form.udPrnYear->setPosition(2030);
    form.udPrnYearClick();
    showTab(form, form.tabPrintCalc);
    form.FilePrint();
    QCOMPARE(printedText(), QStringLiteral("2030年度プリンタ別集計 プリンタ名：PRN1 ページ数 用紙枚数 削減率(%) "
                                           "前年度ページ数 前年度用紙枚数 前年度削減率(%) 4月 5月 6月 7月 8月 9月 "
                                           "10月 11月 12月 1月 2月 3月 累計"));
}

void TstMainformReport::previewKeepsTheTableItWasOpenedOnAndCommandsNeedAFiscalTab()
{
    TMainForm &form = *m_form;
    showTab(form, form.tabSectionCalc);
    QTest::mouseClick(form.btnCalc, Qt::LeftButton);
    form.FilePreviewItemClick();
    auto *preview = m_report.findChild<ReportPreview *>();
    QVERIFY(preview);
    QVERIFY(!QApplication::activeModalWidget());
    const auto opened = preview->document();

    // The administrator goes on working: another section calculated, the printer table, then a
    // statistics tab whose show was refused the lock, so the print items stay enabled.
    form.ComboBox1->setCurrentIndex(1);
    QTest::mouseClick(form.btnCalc, Qt::LeftButton);
    showTab(form, form.tabPrintCalc);
    m_server.reset();
    showTab(form, form.tabUser);
    QVERIFY(form.FilePrintItem->isEnabled());
    QVERIFY(preview->document() == opened);

    // The preview's own printing prints what it was opened on.
    m_report.printer().setOutputFormat(QPrinter::PdfFormat);
    m_report.printer().setOutputFileName(m_pdf);
    preview->action("Print")->trigger();
    const QString text = printedText();
    QVERIFY2(text.startsWith(QStringLiteral("2026年度部署別集計 部署名：本社 ")), qPrintable(text.left(60)));
    QVERIFY(text.contains(QStringLiteral("累計 210 155 26.2%")));

    // On a statistics tab the commands render nothing and open nothing.
    QFile::remove(m_pdf);
    form.FilePrint();
    form.FilePreviewItemClick();
    QCOMPARE(m_dialogs, 0);
    QVERIFY(!QFile::exists(m_pdf));
    QCOMPARE(m_report.findChildren<ReportPreview *>().size(), 1);
}

QTEST_MAIN(TstMainformReport)
#include "tst_mainformreport.moc"
