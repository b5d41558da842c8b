// hvnReport end to end: the real program against a real database fed by the real hvnRetriever
// on free loopback ports, compared with what the real main window shows for the same data;
// and each refusal with its exit status and no output file, in every format; the chart page
// and image.
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/socket.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "Dmregistry.h"
#include "E2eSupport.h"
#include "TcpSocket.h"
#include "data/FiscalYearCalc.h"
#include "mainform/Mainform.h"
#include "widgets/StringGrid.h"

#include <SQLiteCpp/Database.h>

using hvn::console::TMainForm;
using hvn::console::test::shownRows;
namespace e2e = hvn::e2e;
namespace fs = std::filesystem;

namespace {

// Each line's blank-separated words, joined by ",": aligned text read back as CSV.
QStringList words(const std::string &text)
{
    QStringList lines;
    for (const QString &line : QString::fromStdString(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QLatin1Char(','));
    return lines;
}

QStringList csvLines(const std::string &csv)
{
    return QString::fromStdString(csv).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// A tool of poppler-utils on a PDF file: its standard output, empty when it failed.
QString poppler(const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfPageText(const fs::path &pdf, int page)
{
    return poppler(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                                                 QStringLiteral("-l"), QString::number(page),
                                                 QString::fromStdString(pdf.string()), QStringLiteral("-")});
}

int pdfPages(const fs::path &pdf)
{
    const QString info = poppler(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf.string())});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

// A lock port that answers every request with "NG", for as long as the object lives.
class RefusingLockPort {
public:
    RefusingLockPort()
        : m_listener(hvn::platform::listenTcp(0))
        , m_port(hvn::platform::localPort(m_listener.get()))
        , m_thread([this] {
            for (;;) {
                hvn::platform::UniqueFd peer(::accept(m_listener.get(), nullptr, nullptr));
                if (!peer)
                    return;
                char request[64];
                hvn::platform::recvSome(peer.get(), request, sizeof request);
                hvn::platform::sendAll(peer.get(), "NG\n");
            }
        })
    {
    }
    ~RefusingLockPort()
    {
        ::shutdown(m_listener.get(), SHUT_RDWR);
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    hvn::platform::UniqueFd m_listener;
    int m_port;
    std::thread m_thread;
};

} // namespace

class TstHvnReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void totalsEqualTheStatisticsTab_data();
    void totalsEqualTheStatisticsTab();
    void fiscalEqualsTheConsoleGrid_data();
    void fiscalEqualsTheConsoleGrid();
    void failuresExitTwoAndLeaveNoOutput_data();
    void failuresExitTwoAndLeaveNoOutput();
    void chartAddsASecondPageAndLeavesTheReportPageAsPrinted();
    void pngIsTheChartAlone();

private:
    e2e::RunResult report(std::vector<std::string> args, std::vector<std::string> env = {}) const
    {
        args.insert(args.begin(), HVN_REPORT_PROGRAM);
        return m_installation->run(std::move(args), std::move(env));
    }
    // A settings file of its own beside the installation's, for the failure cases.
    std::string settingsWith(const std::string &name, const std::string &databasePath, int consolePort) const
    {
        const fs::path path = m_installation->dir() / (name + ".reg");
        const hvn::TdmRegistryCtl settings(path);
        settings.SetRegistryString("DatabasePath", databasePath);
        settings.SetSettingInteger(hvn::TdmRegistryCtl::RootKey::LocalMachine, hvn::kProductKey, "PortNumberConsole",
                                   consolePort);
        return "HALVANE_REGISTRY=" + path.string();
    }

    std::unique_ptr<e2e::Installation> m_installation;
    std::unique_ptr<e2e::RetrieverProcess> m_service;
};

void TstHvnReport::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("hvnConsole"));
    m_installation = std::make_unique<e2e::Installation>();
    m_service = std::make_unique<e2e::RetrieverProcess>(*m_installation);
    QVERIFY2(m_service->waitReady(), m_service->errText().c_str());
    const fs::path jobs = m_installation->dir() / "jobs.csv";
    std::ofstream(jobs) << "time,user,printer,computer,pages,sides,sheets\n"
                           "2026-10-01 00:00:00.000,tanaka,PRN-2F,PC-01,12,12,6\n"
                           "2026-10-15 09:00:00.000,suzuki,PRN-2F,PC-02,3,3,2\n"
                           "2026-11-30 23:59:59.999,佐藤,複合機3F,PC-01,7,7,7\n"
                           "2026-11-02 10:00:00.000,tanaka,複合機3F,PC-03,0,0,0\n"
                           "2026-09-30 23:59:59.999,tanaka,PRN-2F,PC-01,100,100,1\n"
                           "2026-12-01 00:00:00.000,suzuki,PRN-2F,PC-02,50,50,50\n";
    const e2e::RunResult sent = m_installation->agent({"--file", jobs.string()});
    QVERIFY2(sent.status == 0, sent.err.c_str());
    QVERIFY(m_installation->waitForCount("tblPrintingData", 6));
    // 本社 with tanaka, 総務 below it with 佐藤; two sections share the full name "本社 経理".
    {
        SQLite::Database db(m_installation->database().string(), SQLite::OPEN_READWRITE);
        db.exec("INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
                " VALUES (1, '本社', 0, 1, '本社'), (2, '総務', 1, 2, '本社 総務'),"
                " (3, '経理', 1, 2, '本社 経理'), (4, '経理', 1, 2, '本社 経理')");
        db.exec("UPDATE tblUserInfo SET SectionID = 1 WHERE UserName = 'tanaka'");
        db.exec("UPDATE tblUserInfo SET SectionID = 2 WHERE UserName = '佐藤'");
    }

    // The console shows October and November 2026, as `--from 2026-10 --to 2026-11`.
    qputenv("HALVANE_REGISTRY", QByteArray::fromStdString(m_installation->registry().string()));
    const hvn::TdmRegistryCtl settings(m_installation->registry());
    for (const auto &[name, value] : {std::pair{"WindowHeight", 540}, {"WindowWidth", 800}, {"ToYear", 2026},
                                      {"ToMonth", 11}, {"KikanIndex", 1}, {"SectionYear", 2026}, {"SectionMonth", 4},
                                      {"PrinterYear", 2026}, {"PrinterMonth", 4}})
        settings.SetSettingInteger(hvn::TdmRegistryCtl::RootKey::LocalMachine, hvn::kProgramSettingKey, name, value);
}

void TstHvnReport::cleanupTestCase()
{
    qunsetenv("HALVANE_REGISTRY");
    if (m_service)
        QCOMPARE(m_service->stop(), std::optional<int>(0));
}

void TstHvnReport::totalsEqualTheStatisticsTab_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("by");
    QTest::newRow("user") << 1 << QStringLiteral("user");
    QTest::newRow("printer") << 2 << QStringLiteral("printer");
    QTest::newRow("computer") << 3 << QStringLiteral("computer");
}

void TstHvnReport::totalsEqualTheStatisticsTab()
{
    QFETCH(int, tab);
    QFETCH(QString, by);
    QStringList console;
    {
        TMainForm form;
        QVERIFY(hvn::console::test::showAndLoad(form));
        QTabBar *bar = form.PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        QCOMPARE(form.PageControl1->currentIndex(), tab);
        const QTableView *grids[] = {form.dbgReciveData, form.dbgUserData, form.dbgPrinterData, form.dbgComputerData};
        console = shownRows(grids[tab]);
    }
    QVERIFY(console.size() >= 3);

    const std::vector<std::string> args = {"totals", "--by", by.toStdString(), "--from", "2026-10", "--to", "2026-11"};
    std::vector<std::string> csvArgs = args;
    csvArgs.insert(csvArgs.end(), {"--format", "csv"});
    const e2e::RunResult csv = report(csvArgs);
    QCOMPARE(csv.status, 0);
    QCOMPARE(csv.err, std::string());
    QCOMPARE(csvLines(csv.out), console);

    const fs::path output = m_installation->dir() / ("totals-" + by.toStdString() + ".txt");
    std::vector<std::string> textArgs = args;
    textArgs.insert(textArgs.end(), {"--format", "text", "--output", output.string()});
    const e2e::RunResult text = report(textArgs);
    QCOMPARE(text.status, 0);
    QCOMPARE(text.out, std::string());
    // Aligned text shows an empty cell (a rate of 0 pages) as blanks only.
    QStringList shownWords;
    for (const QString &row : console)
        shownWords << row.split(QLatin1Char(','), Qt::SkipEmptyParts).join(QLatin1Char(','));
    QCOMPARE(words(e2e::readFile(output)), shownWords);
}

void TstHvnReport::fiscalEqualsTheConsoleGrid_data()
{
    QTest::addColumn<bool>("bySection");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("heading");
    QTest::newRow("section") << true << QStringLiteral("本社") << QStringLiteral("2026年度,部署別集計|部署名：本社");
    QTest::newRow("printer") << false << QStringLiteral("PRN-2F") << QStringLiteral("2026年度,プリンタ別集計|プリンタ名：PRN-2F");
}

void TstHvnReport::fiscalEqualsTheConsoleGrid()
{
    QFETCH(bool, bySection);
    QFETCH(QString, name);
    QFETCH(QString, heading);
    QStringList grid;
    {
        TMainForm form;
        QVERIFY(hvn::console::test::showAndLoad(form));
        QWidget *tab = bySection ? form.tabSectionCalc : form.tabPrintCalc;
        QTabBar *bar = form.PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(form.PageControl1->indexOf(tab)).center());
        QComboBox *combo = bySection ? form.ComboBox1 : form.ComboBox2;
        combo->setCurrentIndex(combo->findText(name));
        QCOMPARE(combo->currentText(), name);
        QTest::mouseClick(bySection ? form.btnCalc : form.btnPrinterCalc, Qt::LeftButton);
        const hvn::console::StringGrid *cells = bySection ? form.sgSectionCalc : form.sgPrinterCalc;
        for (int row = 0; row < hvn::console::kFiscalRows; ++row) {
            QStringList line;
            for (int column = 0; column < hvn::console::kFiscalColumns; ++column)
                line << cells->cell(column, row).trimmed();
            grid << line.join(QLatin1Char(','));
        }
    }
    QVERIFY(grid.join(QLatin1Char('|')).contains(QStringLiteral("10月,")));

    const std::vector<std::string> args = {"fiscal", bySection ? "--section" : "--printer", name.toStdString(),
                                           "--year", "2026", "--start-month", "4", "--format"};
    std::vector<std::string> csvArgs = args;
    csvArgs.push_back("csv");
    const e2e::RunResult csv = report(csvArgs);
    QCOMPARE(csv.status, 0);
    QCOMPARE(csv.err, std::string());
    const QStringList lines = csvLines(csv.out);
    QCOMPARE(lines.mid(0, 2).join(QLatin1Char('|')), heading);
    QCOMPARE(lines.mid(2), grid);

    std::vector<std::string> textArgs = args;
    textArgs.push_back("text");
    const e2e::RunResult text = report(textArgs);
    QCOMPARE(text.status, 0);
    QStringList gridWords;
    for (const QString &row : grid)
        gridWords << row.split(QLatin1Char(','), Qt::SkipEmptyParts).join(QLatin1Char(','));
    QCOMPARE(words(text.out).mid(2), gridWords);
}

// Rows without --format run once per format the command offers, so a refusal that one format
// forgets (an empty table with status 0, say) fails.
void TstHvnReport::failuresExitTwoAndLeaveNoOutput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("settings"); // "", "missing-db", "no-service", "refused"
    QTest::addColumn<QString>("reason");
    const QStringList totals{"totals", "--by", "user", "--from", "2026-10", "--to", "2026-11"};
    QTest::newRow("bad month") << QStringList{"totals", "--by", "user", "--from", "2026-13", "--to", "2026-11",
                                              "--format", "csv"}
                               << "" << "bad month '2026-13' for --from";
    QTest::newRow("from after to") << QStringList{"totals", "--by", "user", "--from", "2026-11", "--to", "2026-10",
                                                  "--format", "csv"}
                                   << "" << "--from is after --to";
    QTest::newRow("pdf of totals") << QStringList{"totals", "--by", "user", "--from", "2026-10", "--to", "2026-11",
                                                  "--format", "pdf"}
                                   << "" << "bad --format 'pdf'";
    QTest::newRow("png of totals") << (totals + QStringList{"--format", "png"}) << "" << "bad --format 'png'";
    QTest::newRow("unknown option") << (totals + QStringList{"--section", "x"}) << "" << "unknown option '--section'";
    QTest::newRow("chart of totals") << (totals + QStringList{"--chart"}) << "" << "unknown option '--chart'";
    QTest::newRow("no command") << QStringList{} << "" << "no command given";
    const QStringList fiscal{"fiscal", "--year", "2026", "--start-month", "4"};
    QTest::newRow("chart beside csv") << (fiscal + QStringList{"--section", "本社", "--chart", "--format", "csv"}) << ""
                                      << "--chart goes with --format pdf";
    QTest::newRow("chart with a value") << (fiscal + QStringList{"--section", "本社", "--chart=yes", "--format", "pdf"})
                                        << "" << "option --chart takes no value";
    QTest::newRow("unknown section") << (fiscal + QStringList{"--section", "本社 人事"}) << "" << "unknown section '本社 人事'";
    QTest::newRow("ambiguous section") << (fiscal + QStringList{"--section", "本社 経理"}) << ""
                                       << "ambiguous section '本社 経理': 2 sections";
    QTest::newRow("unknown printer") << (fiscal + QStringList{"--printer", "prn-2f"}) << "" << "unknown printer 'prn-2f'";
    QTest::newRow("bad start month") << QStringList{"fiscal", "--printer", "PRN-2F", "--year", "2026", "--start-month",
                                                    "13"}
                                     << "" << "bad month '13' for --start-month";
    QTest::newRow("section and printer") << (fiscal + QStringList{"--section", "本社", "--printer", "PRN-2F"}) << ""
                                         << "give exactly one of";
    QTest::newRow("missing database") << totals << "missing-db" << "database not found: ";
    QTest::newRow("service not running") << totals << "no-service" << "cannot reach the service's database lock";
    QTest::newRow("lock refused") << totals << "refused" << "the service refused the database lock";
    const QStringList printer = fiscal + QStringList{"--printer", "PRN-2F"};
    QTest::newRow("fiscal: missing database") << printer << "missing-db" << "database not found: ";
    QTest::newRow("fiscal: lock refused") << printer << "refused" << "the service refused the database lock";
}

void TstHvnReport::failuresExitTwoAndLeaveNoOutput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, settings);
    QFETCH(QString, reason);
    RefusingLockPort refusing;
    std::vector<std::string> env;
    const std::string database = m_installation->database().string();
    if (settings == QLatin1String("missing-db"))
        env.push_back(settingsWith("missing", database + ".gone", m_installation->consolePort()));
    else if (settings == QLatin1String("no-service"))
        env.push_back(settingsWith("closed", database, hvn::test::freePort()));
    else if (settings == QLatin1String("refused"))
        env.push_back(settingsWith("refused", database, refusing.port()));

    QList<QStringList> formats{{}};
    if (!args.isEmpty() && !args.contains(QStringLiteral("--format"))) {
        formats.clear();
        for (const char *format : {"csv", "text", "html"})
            formats.append({QStringLiteral("--format"), QString::fromLatin1(format)});
        if (args.first() == QLatin1String("fiscal")) {
            formats.append({QStringLiteral("--format"), QStringLiteral("pdf")});
            formats.append({QStringLiteral("--format"), QStringLiteral("png")});
            formats.append({QStringLiteral("--format"), QStringLiteral("pdf"), QStringLiteral("--chart")});
        }
    }
    // Neither created nor truncated: one output path that does not exist, one that holds a file.
    for (const QStringList &format : formats)
    for (const bool existing : {false, true}) {
        const fs::path output = m_installation->dir() / (existing ? "kept.csv" : "never.csv");
        if (existing)
            std::ofstream(output) << "earlier report\n";
        std::vector<std::string> argv;
        for (const QString &a : args + format)
            argv.push_back(a.toStdString());
        if (!argv.empty())
            argv.insert(argv.end(), {"--output", output.string()});
        const e2e::RunResult run = report(argv, env);
        QVERIFY2(run.status == 2, qPrintable(format.join(QLatin1Char(' ')) + ": status " + QString::number(run.status)));
        QCOMPARE(run.out, std::string());
        const QString err = QString::fromStdString(run.err);
        QVERIFY2(err.startsWith(QStringLiteral("hvnReport: ")) && err.count(QLatin1Char('\n')) == 1
                     && err.endsWith(QLatin1Char('\n')),
                 qPrintable(err));
        QVERIFY2(err.contains(reason), qPrintable(err));
        if (existing)
            QCOMPARE(e2e::readFile(output), std::string("earlier report\n"));
        else
            QVERIFY(!fs::exists(output));
    }
    for (const auto &entry : fs::directory_iterator(m_installation->dir()))
        QVERIFY2(entry.path().filename().string().find(".csv.") == std::string::npos, entry.path().c_str());
}

void TstHvnReport::chartAddsASecondPageAndLeavesTheReportPageAsPrinted()
{
    const std::vector<std::string> args = {"fiscal", "--section", "本社", "--year", "2026", "--start-month", "4",
                                           "--format", "pdf", "--output"};
    const fs::path plain = m_installation->dir() / "fiscal.pdf";
    const fs::path charted = m_installation->dir() / "fiscal-chart.pdf";
    std::vector<std::string> plainArgs = args;
    plainArgs.push_back(plain.string());
    QCOMPARE(report(plainArgs).status, 0);
    std::vector<std::string> chartArgs = args;
    chartArgs.insert(chartArgs.end(), {charted.string(), "--chart"});
    const e2e::RunResult run = report(chartArgs);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, std::string());

    QCOMPARE(pdfPages(plain), 1);
    QCOMPARE(pdfPages(charted), 2);
    const QString printed = pdfPageText(plain, 1);
    QVERIFY2(printed.contains(QStringLiteral("部署名：本社")) && printed.contains(QStringLiteral("累計")), qPrintable(printed));
    QCOMPARE(pdfPageText(charted, 1), printed);
    // The chart page: the section's title, the two years' legends and the grid's month labels.
    const QString chart = pdfPageText(charted, 2);
    for (const QString &text : {QStringLiteral("本社"), QStringLiteral("2026年度 用紙枚数"),
                                QStringLiteral("2025年度 削減率"), QStringLiteral("4月"), QStringLiteral("3月")})
        QVERIFY2(chart.contains(text), qPrintable(text + " not on the chart page:\n" + chart));
    QVERIFY(!chart.contains(QStringLiteral("累計")));
}

void TstHvnReport::pngIsTheChartAlone()
{
    const fs::path png = m_installation->dir() / "fiscal.png";
    const e2e::RunResult run = report({"fiscal", "--printer", "PRN-2F", "--year", "2026", "--start-month", "4",
                                       "--format", "png", "--output", png.string()});
    QCOMPARE(run.status, 0);
    QImage image;
    QVERIFY(image.load(QString::fromStdString(png.string()), "PNG"));
    QCOMPARE(image.size(), QSize(1200, 720));
    // Bars of this year's sheets are drawn (PRN-2F printed in September to December 2026).
    int barPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            barPixels += image.pixelColor(x, y) == QColor(0x2f, 0x6f, 0xb5) ? 1 : 0;
    QVERIFY2(barPixels > 200, qPrintable(QString::number(barPixels)));

    // To standard output when no file is named.
    const e2e::RunResult piped = report({"fiscal", "--printer", "PRN-2F", "--year", "2026", "--start-month", "4",
                                         "--format", "png"});
    QCOMPARE(piped.status, 0);
    QVERIFY(piped.out.rfind("\x89PNG", 0) == 0);
}

QTEST_MAIN(TstHvnReport)
#include "tst_hvnreport.moc"
