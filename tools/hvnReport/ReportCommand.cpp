#include "ReportCommand.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include <QPainter>
#include <QString>

#include "Connection.h"
#include "Dmregistry.h"
#include "charts/FiscalYearChart.h"
#include "data/DbConnection.h"
#include "data/DbGridModel.h"
#include "data/FiscalYearCalc.h"
#include "data/Query.h"
#include "data/ReadSnapshot.h"
#include "data/SectionRollUp.h"
#include "data/StatisticsQueries.h"
#include "lock/LockChannel.h"
#include "period/ReportingPeriod.h"
#include "report/QuickRep.h"
#include "report/ReportPainter.h"
#include "report/SaveFile.h"
#include "report/TextReport.h"

namespace hvn::report {

namespace {

using namespace hvn::console;

// A failure with the exit status it ends the program with.
struct Failure : std::runtime_error {
    Failure(int status, const std::string &reason)
        : std::runtime_error(reason)
        , status(status)
    {
    }
    int status;
};

// The rows a grid shows: its visible columns' titles, then each row's display texts.
TextBlock gridBlock(const TDbGridModel &model)
{
    TextBlock block;
    block.kind = TextBlock::Kind::Table;
    block.headerRows = 1;
    QStringList titles;
    QVector<int> shown;
    for (int column = 0; column < model.columns().size(); ++column) {
        const TGridColumn &c = model.columns().at(column);
        if (!c.visible)
            continue;
        shown.append(column);
        titles.append(c.title);
        block.columnAlignment.append(c.cellAlignment & Qt::AlignHorizontal_Mask);
    }
    block.rows.append(titles);
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (const int column : shown)
            cells.append(model.data(model.index(row, column)).toString());
        block.rows.append(cells);
    }
    return block;
}

struct TotalsTab {
    QStringList sql;
    QVector<TGridColumn> columns;
    QString caption;
};

TotalsTab totalsTab(TotalsBy by)
{
    switch (by) {
    case TotalsBy::User:
        return {qUserDataSql(), dbgUserDataColumns(), QStringLiteral("ユーザー別データ")};
    case TotalsBy::Printer:
        return {qPrinterDataSql(), dbgPrinterDataColumns(), QStringLiteral("プリンタ別データ")};
    case TotalsBy::Computer:
        return {qComputerSql(), dbgComputerDataColumns(), QStringLiteral("コンピュータ別データ")};
    case TotalsBy::Section:
        break;
    }
    return {qSectionSql(), dbgSectionColumns(), QStringLiteral("部署別データ")};
}

// The chart's size in pixels: as a PNG file, and laid out for the PDF page, whose paint area
// (277 x 190 mm) has the same proportions.
constexpr QSize kChartImageSize(1200, 720);
constexpr QSize kChartPageSize(1166, 800);

// What a report shows, read inside the lock bracket; formatting happens after it.
struct Content {
    std::optional<FiscalReportSnapshot> fiscal;
    std::optional<FiscalYearTable> table; // the figures behind `fiscal`, for the chart
    TextReport totals;
    QString title;
};

// The rows of a statistics tab for the period, as the tab's reload reads them.
Content totals(const ReportOptions &options, TDbConnection &db, const std::function<void()> &afterWrites)
{
    const TotalsTab tab = totalsTab(options.by);
    if (options.by == TotalsBy::Section)
        setTargetLevel(db, options.level);
    afterWrites();
    const DateRange range = periodDateRange({options.from.year, options.from.month},
                                            {options.to.year, options.to.month}, DbDateTime{});
    TQuery query;
    query.SQL() = tab.sql;
    query.setParamDateTime(QStringLiteral("iistDate"), range.start);
    query.setParamDateTime(QStringLiteral("iiedDate"), range.end);
    query.open(db);
    const TDbGridModel model(query, tab.columns);
    Content content;
    content.totals = {gridBlock(model)};
    content.title = QStringLiteral("%1 %2/%3～%4/%5")
                        .arg(tab.caption)
                        .arg(options.from.year)
                        .arg(options.from.month, 2, 10, QLatin1Char('0'))
                        .arg(options.to.year)
                        .arg(options.to.month, 2, 10, QLatin1Char('0'));
    return content;
}

// The fiscal-year table of the section or printer listed under that exact name.
Content fiscal(const ReportOptions &options, TDbConnection &db, const std::function<void()> &afterWrites)
{
    if (!options.bySection)
        afterWrites();
    const QString name = QString::fromLocal8Bit(options.name.c_str());
    const char *what = options.bySection ? "section" : "printer";
    const QVector<FiscalCalcItem> items = options.bySection ? listCalcSections(db) : listCalcPrinters(db);
    QVector<FiscalCalcItem> matches;
    for (const FiscalCalcItem &item : items)
        if (item.name == name)
            matches.append(item);
    if (matches.isEmpty())
        throw Failure(kExitRefused, std::string("unknown ") + what + " '" + options.name + "'");
    if (matches.size() > 1)
        throw Failure(kExitRefused, std::string("ambiguous ") + what + " '" + options.name + "': "
                                        + std::to_string(matches.size()) + " " + what + "s have this name");
    const FiscalYearTable table = options.bySection
        ? calcSectionFiscalYear(db, matches.first().id, options.year, options.startMonth, afterWrites)
        : calcPrinterFiscalYear(db, matches.first().id, options.year, options.startMonth);
    FiscalReportSnapshot snapshot;
    snapshot.table = options.bySection ? FiscalTable::Section : FiscalTable::Printer;
    snapshot.year = QString::number(options.year);
    snapshot.name = matches.first().name;
    snapshot.cells = table.cells;
    Content content;
    content.fiscal = snapshot;
    content.table = table;
    return content;
}

QByteArray formatted(const Content &content, const ReportOptions &options)
{
    const Format format = options.format;
    if (content.fiscal) {
        // The chart of the console's tab, drawn from the same table as the printed cells.
        const auto chart = [&content] {
            auto view = std::make_shared<FiscalYearChart>();
            view->showTable(*content.table, content.fiscal->name);
            return view;
        };
        TQuickRep report;
        const ReportDocument doc = report.render(*content.fiscal);
        switch (format) {
        case Format::Pdf:
            if (!options.chart)
                return reportPdf(doc);
            return reportPdf(doc, [view = chart()](QPainter &painter, const QRectF &paintRect) {
                // Scaled to the page's paint area, keeping the chart's proportions.
                const QSizeF fitted = QSizeF(kChartPageSize).scaled(paintRect.size(), Qt::KeepAspectRatio);
                view->render(painter, QRectF(paintRect.topLeft(), fitted), kChartPageSize);
            });
        case Format::Png:
            return chart()->image(ChartView::ImageFormat::Png, kChartImageSize);
        case Format::Csv:
            return toCsv(doc.textReport());
        case Format::Text:
            return toPlainText(doc.textReport());
        case Format::Html:
            return toHtml(doc.textReport(), doc.title);
        }
    }
    switch (format) {
    case Format::Csv:
        return toCsv(content.totals);
    case Format::Text:
        return toPlainText(content.totals);
    case Format::Html:
        return toHtml(content.totals, content.title);
    case Format::Pdf:
    case Format::Png:
        break;
    }
    throw Failure(kExitRefused, "totals come as csv, text or html");
}

std::string lockFailure(const LockSession &lock, std::int32_t port)
{
    switch (lock.outcome()) {
    case LockSession::Outcome::Refused:
        return "the service refused the database lock";
    case LockSession::Outcome::Unreachable:
        return "cannot reach the service's database lock on 127.0.0.1:" + std::to_string(port) + ": " + lock.error()
            + " (is hvnRetriever running?)";
    case LockSession::Outcome::SocketFailed:
        return "cannot create a socket: " + lock.error();
    case LockSession::Outcome::Granted:
        break;
    }
    return {};
}

} // namespace

int runReport(const ReportOptions &options, std::FILE *out, std::string &error)
{
    try {
        const TdmRegistryCtl settings;
        const std::string databasePath = settings.GetRegistryString("DatabasePath");
        if (databasePath.empty())
            throw Failure(kExitRefused, "DatabasePath is not set in " + settings.storePath().string());
        std::error_code ec;
        if (!std::filesystem::is_regular_file(databasePath, ec))
            throw Failure(kExitRefused, "database not found: " + databasePath);

        Content content;
        {
            const std::int32_t port = settings.GetRegistryInteger("PortNumberConsole");
            LockSession lock = LockSession::acquire(port);
            if (!lock.granted())
                throw Failure(kExitRefused, lockFailure(lock, port));
            TDbConnection db(db::replaceDataSource(db::kConsoleConnectionString, databasePath));
            // Writes (the roll-up) under the lock; the reads on a snapshot fixed after them,
            // with the lock already back with the service.
            std::optional<ReadSnapshot> snapshot;
            const auto afterWrites = [&] {
                snapshot.emplace(db);
                lock.release();
            };
            content = options.command == Command::Fiscal ? fiscal(options, db, afterWrites)
                                                         : totals(options, db, afterWrites);
        }
        const QByteArray bytes = formatted(content, options);

        if (options.output.empty()) {
            if (std::fwrite(bytes.constData(), 1, bytes.size(), out) != std::size_t(bytes.size())
                || std::fflush(out) != 0)
                throw Failure(kExitFailed, "cannot write to standard output");
        } else {
            saveFileAtomically(QString::fromLocal8Bit(options.output.c_str()), bytes);
        }
        return kExitOk;
    } catch (const Failure &failure) {
        error = failure.what();
        return failure.status;
    } catch (const std::exception &failure) {
        error = failure.what();
        return kExitFailed;
    }
}

int runReportProgram(const std::vector<std::string> &args, std::FILE *out, std::FILE *err)
{
    const ParseResult parsed = parseReportOptions(args);
    if (!parsed.options) {
        std::fprintf(err, "hvnReport: %s (see hvnReport --help)\n", parsed.error.c_str());
        return kExitRefused;
    }
    if (parsed.options->command == Command::Help) {
        std::fputs(usageText(), out);
        return kExitOk;
    }
    std::string error;
    const int status = runReport(*parsed.options, out, error);
    if (status != kExitOk)
        std::fprintf(err, "hvnReport: %s\n", error.c_str());
    return status;
}

} // namespace hvn::report
