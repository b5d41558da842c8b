#include "ReportCommand.h"

#include <filesystem>
#include <stdexcept>

#include <QString>

#include "Connection.h"
#include "Dmregistry.h"
#include "data/DbConnection.h"
#include "data/DbGridModel.h"
#include "data/Query.h"
#include "data/StatisticsQueries.h"
#include "lock/LockChannel.h"
#include "period/ReportingPeriod.h"
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
    throw Failure(kExitRefused, "totals by section are not available");
}

struct Output {
    QByteArray bytes;
};

Output totals(const ReportOptions &options, TDbConnection &db)
{
    const TotalsTab tab = totalsTab(options.by);
    const DateRange range = periodDateRange({options.from.year, options.from.month},
                                            {options.to.year, options.to.month}, DbDateTime{});
    TQuery query;
    query.SQL() = tab.sql;
    query.setParamDateTime(QStringLiteral("iistDate"), range.start);
    query.setParamDateTime(QStringLiteral("iiedDate"), range.end);
    query.open(db);
    const TDbGridModel model(query, tab.columns);
    const TextReport report{gridBlock(model)};
    switch (options.format) {
    case Format::Csv:
        return {toCsv(report)};
    case Format::Text:
        return {toPlainText(report)};
    case Format::Html:
        return {toHtml(report, QStringLiteral("%1 %2/%3～%4/%5")
                                   .arg(tab.caption)
                                   .arg(options.from.year)
                                   .arg(options.from.month, 2, 10, QLatin1Char('0'))
                                   .arg(options.to.year)
                                   .arg(options.to.month, 2, 10, QLatin1Char('0')))};
    case Format::Pdf:
        break;
    }
    throw Failure(kExitRefused, "totals come as csv, text or html");
}

Output fiscal(const ReportOptions &, TDbConnection &)
{
    throw Failure(kExitFailed, "the fiscal-year report is not available yet");
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

        Output result;
        {
            const std::int32_t port = settings.GetRegistryInteger("PortNumberConsole");
            const LockSession lock = LockSession::acquire(port);
            if (!lock.granted())
                throw Failure(kExitRefused, lockFailure(lock, port));
            TDbConnection db(db::replaceDataSource(db::kConsoleConnectionString, databasePath));
            result = options.command == Command::Fiscal ? fiscal(options, db) : totals(options, db);
        }

        if (options.output.empty()) {
            if (std::fwrite(result.bytes.constData(), 1, result.bytes.size(), out) != std::size_t(result.bytes.size())
                || std::fflush(out) != 0)
                throw Failure(kExitFailed, "cannot write to standard output");
        } else {
            saveFileAtomically(QString::fromStdString(options.output), result.bytes);
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
