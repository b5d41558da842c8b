// The four maintenance dialogs end to end: the real hvnRetriever fed by hvnAgent on free
// loopback ports, and the console program driven through its menus, dialogs and tabs
// (hvnConsoleTestable's command driver). After each dialog has written, the statistics and
// fiscal-year tabs show the organisation it wrote, in figures summed here from the jobs sent.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include <QMap>
#include <QStringList>
#include <QTest>

#include "E2eSupport.h"

namespace e2e = hvn::e2e;
namespace fs = std::filesystem;

namespace {

struct Job {
    const char *time;
    const char *user;
    const char *printer;
    int pages;
    int sheets;
};

// Fiscal year 2004 (the tabs' default, April to March) and the year before it; the deletion
// of "March 2004 and before" takes the first three.
const Job kJobs[] = {
    {"2003-05-10 10:00:00.000", "tanaka", "PRN-A", 10, 5},
    {"2004-02-20 10:00:00.000", "suzuki", "PRN-B", 8, 8},
    {"2004-03-31 23:59:59.999", "佐藤", "PRN-A", 3, 3},
    {"2004-04-01 00:00:00.000", "tanaka", "PRN-A", 20, 10},
    {"2004-06-15 09:00:00.000", "suzuki", "PRN-B", 30, 15},
    {"2004-06-20 09:00:00.000", "佐藤", "PRN-C", 7, 7},
    {"2005-03-31 23:59:59.999", "tanaka", "PRN-B", 4, 2},
};

using JobFilter = std::function<bool(const Job &)>;

JobFilter usersIn(std::set<QString> users)
{
    return [users](const Job &job) { return users.count(QString::fromUtf8(job.user)) > 0; };
}

JobFilter printersIn(std::set<QString> printers)
{
    return [printers](const Job &job) { return printers.count(QString::fromUtf8(job.printer)) > 0; };
}

JobFilter keptAfterDeletion(JobFilter filter)
{
    return [filter](const Job &job) { return QByteArray(job.time) >= "2004-04-01" && filter(job); };
}

// "pages|sheets" of the jobs that pass; month 0 takes the fiscal year's every month.
QString figures(const JobFilter &filter, int fiscalYear = 0, int month = 0)
{
    qlonglong pages = 0;
    qlonglong sheets = 0;
    for (const Job &job : kJobs) {
        const int year = QByteArray(job.time, 4).toInt();
        const int jobMonth = QByteArray(job.time + 5, 2).toInt();
        if (fiscalYear != 0 && (jobMonth >= 4 ? year : year - 1) != fiscalYear)
            continue;
        if (month != 0 && jobMonth != month)
            continue;
        if (filter(job)) {
            pages += job.pages;
            sheets += job.sheets;
        }
    }
    return QStringLiteral("%1|%2").arg(pages).arg(sheets);
}

// One "[name]" block of the driver's output.
struct Dump {
    QString name;
    QList<QStringList> rows; // cells of each line
};

QList<Dump> readDumps(const std::string &out)
{
    QList<Dump> dumps;
    for (const QString &line : QString::fromStdString(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            dumps.append({line.mid(1, line.size() - 2), {}});
        else if (!line.startsWith(QLatin1Char('#')) && !dumps.isEmpty())
            dumps.last().rows.append(line.split(QLatin1Char('|')));
    }
    return dumps;
}

// A statistics grid as name -> "pages|sheets", found by the title row's column titles.
QMap<QString, QString> totalsByName(const Dump &grid)
{
    QMap<QString, QString> totals;
    if (grid.rows.isEmpty())
        return totals;
    const qsizetype pages = grid.rows.first().indexOf(QStringLiteral("ページ数"));
    const qsizetype sheets = grid.rows.first().indexOf(QStringLiteral("用紙枚数"));
    for (const QStringList &row : grid.rows.mid(1))
        totals.insert(row.value(0), row.value(pages) + QLatin1Char('|') + row.value(sheets));
    return totals;
}

// A fiscal-year grid as "label|pages|sheets|previous pages|previous sheets" for the twelve
// month rows and the totals row.
QStringList fiscalFigures(const Dump &grid)
{
    QStringList lines;
    for (const QStringList &row : grid.rows.mid(1)) {
        QStringList cells{row.value(0)};
        for (int column : {1, 2, 4, 5})
            cells << row.value(column).trimmed();
        lines << cells.join(QLatin1Char('|'));
    }
    return lines;
}

// The same lines summed from the jobs, for fiscal year 2004 from April beside 2003.
QStringList expectedFiscal(const JobFilter &filter)
{
    QStringList lines;
    for (int row = 1; row <= 12; ++row) {
        const int month = (row + 2) % 12 + 1;
        lines << QStringLiteral("%1月|%2|%3").arg(month).arg(figures(filter, 2004, month), figures(filter, 2003, month));
    }
    lines << QStringLiteral("累計|%1|%2").arg(figures(filter, 2004), figures(filter, 2003));
    return lines;
}

// The administrator's session: each dialog writes through its real widgets, then the tabs
// that show its result are read.
const char *const kSession = R"(select cmbKikan すべて
echo section editor
trigger MainteSectionItem
type edtSectionName 営業部
click btnAddSection1
type edtSectionName 総務部
click btnAddSection1
select tvwSection 営業部
type edtSectionName 営業一課
click btnAddSection2
click OKBtn
tab tabSection
click Button2
dump dbgSection
tab tabSectionCalc
dump ComboBox1
echo membership
trigger MainteSectionMemberItem
select tvwSection 営業部
select lbMemberFrom tanaka
click Button1
click Button3
select tvwSection 営業一課
select lbMemberFrom suzuki
click Button1
click Button3
select tvwSection 総務部
select lbMemberFrom 佐藤
click Button1
click Button3
click Button4
tab tabSection
click Button2
dump dbgSection
updown UpDown1 2
click Button2
dump dbgSection
updown UpDown1 1
tab tabSectionCalc
select ComboBox1 営業部
click btnCalc
dump sgSectionCalc
select ComboBox1 営業部 営業一課
click btnCalc
dump sgSectionCalc
echo printer groups
trigger MaintePrinterName
select ComboBox1 PRN-B
click Button7
select ComboBox1 PRN-A
select ListBox2 PRN-B
click Button3
click Button5
click Button2
tab tabPrinter
dump dbgPrinterData
tab tabPrintCalc
dump ComboBox2
select ComboBox2 PRN-A
click btnPrinterCalc
dump sgPrinterCalc
echo deletion
trigger MainteDelete
click RadioButton2
updown UpDown1 2004
updown UpDown2 3
click Button1
tab tabRecive
dump dbgReciveData
tab tabSection
click Button2
dump dbgSection
tab tabSectionCalc
select ComboBox1 営業部
click btnCalc
dump sgSectionCalc
tab tabPrintCalc
select ComboBox2 PRN-A
click btnPrinterCalc
dump sgPrinterCalc
trigger FileExitItem
)";

} // namespace

class TstConsoleMaintenance : public QObject {
    Q_OBJECT
private slots:
    void eachDialogsOrganisationShowsInStatisticsAndFiscalTabs();
};

void TstConsoleMaintenance::eachDialogsOrganisationShowsInStatisticsAndFiscalTabs()
{
    const e2e::Installation installation;
    e2e::RetrieverProcess service(installation);
    QVERIFY2(service.waitReady(), service.errText().c_str());
    const fs::path jobs = installation.dir() / "jobs.csv";
    {
        std::ofstream csv(jobs);
        csv << "time,user,printer,computer,pages,sides,sheets\n";
        for (const Job &job : kJobs)
            csv << job.time << ',' << job.user << ',' << job.printer << ",PC-01," << job.pages << ',' << job.pages
                << ',' << job.sheets << '\n';
    }
    const e2e::RunResult sent = installation.agent({"--file", jobs.string()});
    QVERIFY2(sent.status == 0, sent.err.c_str());
    QVERIFY(installation.waitForCount("tblPrintingData", std::size(kJobs)));

    const fs::path session = installation.dir() / "session.txt";
    std::ofstream(session) << kSession;
    std::vector<std::string> environment = installation.environment();
    environment.insert(environment.end(),
                       {"QT_QPA_PLATFORM=offscreen", "HALVANE_AUTOANSWER_MESSAGES=1",
                        "HALVANE_CONSOLE_GUARD=" + (installation.dir() / "hvnConsole.lock").string(),
                        "HALVANE_CONSOLE_DRIVER=" + session.string()});
    const fs::path out = installation.dir() / "console.out";
    const fs::path err = installation.dir() / "console.err";
    hvn::platform::ChildProcess console =
        hvn::platform::ChildProcess::spawn({{HVN_CONSOLE_TESTABLE_BINARY}, environment, {}, out, err});
    const auto status = console.wait(std::chrono::seconds(150));
    const std::string output = e2e::readFile(out);
    QVERIFY2(status.has_value(), output.c_str());
    QVERIFY2(*status == 0, (output + e2e::readFile(err)).c_str());

    // Every message box of the session: the deletion's confirmation and nothing else.
    QStringList boxes;
    for (const QString &line : QString::fromStdString(e2e::readFile(err)).split(QLatin1Char('\n')))
        if (line.contains(QLatin1Char('|')))
            boxes << line;
    QCOMPARE(boxes, QStringList{QStringLiteral("削除|2004年3月以前のプリントデータを削除します。")});

    const QList<Dump> dumps = readDumps(output);
    QStringList names;
    for (const Dump &dump : dumps)
        names << dump.name;
    QCOMPARE(names, (QStringList{"dbgSection", "ComboBox1", "dbgSection", "dbgSection", "sgSectionCalc",
                                 "sgSectionCalc", "dbgPrinterData", "ComboBox2", "sgPrinterCalc", "dbgReciveData",
                                 "dbgSection", "sgSectionCalc", "sgPrinterCalc"}));
    const auto all = [](const Job &) { return true; };
    const JobFilter sales = usersIn({"tanaka", "suzuki"});
    const JobFilter affairs = usersIn({QStringLiteral("佐藤")});
    const JobFilter groupA = printersIn({"PRN-A", "PRN-B"});

    // The section editor: three live sections to choose from, nobody in them yet.
    QCOMPARE(totalsByName(dumps[0]), (QMap<QString, QString>{{"No Section", figures(all)}}));
    QCOMPARE(dumps[1].rows, (QList<QStringList>{{"営業部"}, {"営業部 営業一課"}, {"総務部"}}));

    // Membership: at level 1 the sub-section's member counts with its parent; at level 2 only
    // the sub-section's own member has a section of that level.
    QCOMPARE(totalsByName(dumps[2]),
             (QMap<QString, QString>{{"営業部", figures(sales)}, {"総務部", figures(affairs)}}));
    QCOMPARE(totalsByName(dumps[3]),
             (QMap<QString, QString>{{"営業部 営業一課", figures(usersIn({"suzuki"}))},
                                     {"No Section", figures(usersIn({"tanaka", QStringLiteral("佐藤")}))}}));
    QCOMPARE(fiscalFigures(dumps[4]), expectedFiscal(sales));
    QCOMPARE(fiscalFigures(dumps[5]), expectedFiscal(usersIn({"suzuki"})));

    // Printer groups: PRN-B counts under its leader PRN-A and is no longer offered on its own.
    QCOMPARE(totalsByName(dumps[6]),
             (QMap<QString, QString>{{"PRN-A", figures(groupA)}, {"PRN-C", figures(printersIn({"PRN-C"}))}}));
    QCOMPARE(dumps[7].rows, (QList<QStringList>{{"PRN-A"}, {"PRN-C"}}));
    QCOMPARE(fiscalFigures(dumps[8]), expectedFiscal(groupA));

    // Deletion up to March 2004: its records are gone from every tab, April's first instant stays.
    QStringList kept;
    for (const Job &job : kJobs)
        if (keptAfterDeletion(all)(job))
            kept << QStringLiteral("%1|%2|%3").arg(QString::fromUtf8(job.user), QString::fromUtf8(job.printer)).arg(job.pages);
    QStringList shown;
    for (const QStringList &row : dumps[9].rows.mid(1))
        shown << QStringList{row.value(0), row.value(1), row.value(3)}.join(QLatin1Char('|'));
    std::sort(kept.begin(), kept.end());
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, kept);
    QCOMPARE(totalsByName(dumps[10]), (QMap<QString, QString>{{"営業部", figures(keptAfterDeletion(sales))},
                                                              {"総務部", figures(keptAfterDeletion(affairs))}}));
    QCOMPARE(fiscalFigures(dumps[11]), expectedFiscal(keptAfterDeletion(sales)));
    QCOMPARE(fiscalFigures(dumps[12]), expectedFiscal(keptAfterDeletion(groupA)));

    QCOMPARE(service.stop().value_or(-1), 0);
}

QTEST_GUILESS_MAIN(TstConsoleMaintenance)
#include "tst_consolemaintenance.moc"
