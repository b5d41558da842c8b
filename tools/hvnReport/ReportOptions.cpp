#include "ReportOptions.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace hvn::report {

namespace {

std::optional<int> parseInt(const std::string &text, int minimum, int maximum)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<YearMonthArg> parseYearMonth(const std::string &text)
{
    if (text.size() != 7 || text[4] != '-')
        return std::nullopt;
    const auto year = parseInt(text.substr(0, 4), 1900, 9999);
    const auto month = parseInt(text.substr(5, 2), 1, 12);
    if (!year || !month)
        return std::nullopt;
    return YearMonthArg{*year, *month};
}

ParseResult failure(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}

} // namespace

const char *usageText()
{
    return "usage: hvnReport fiscal (--section NAME | --printer NAME) --year Y --start-month S\n"
           "                 --format pdf|csv|text|html|png [--chart] [--output FILE]\n"
           "                 (--chart adds the chart as a second PDF page; png is the chart alone)\n"
           "       hvnReport totals --by user|printer|computer|section [--level L]\n"
           "                 --from YYYY-MM --to YYYY-MM --format csv|text|html [--output FILE]\n";
}

ParseResult parseReportOptions(const std::vector<std::string> &args)
{
    if (args.empty())
        return failure("no command given (fiscal or totals)");
    ReportOptions options;
    if (args[0] == "--help" || args[0] == "-h") {
        options.command = Command::Help;
        return {options, {}};
    }
    if (args[0] == "fiscal")
        options.command = Command::Fiscal;
    else if (args[0] == "totals")
        options.command = Command::Totals;
    else
        return failure("unknown command '" + args[0] + "' (fiscal or totals)");

    const bool fiscal = options.command == Command::Fiscal;
    const std::vector<std::string> known = fiscal
        ? std::vector<std::string>{"--section", "--printer", "--year", "--start-month", "--format", "--output",
                                   "--chart"}
        : std::vector<std::string>{"--by", "--level", "--from", "--to", "--format", "--output"};
    std::map<std::string, std::string> values;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (std::find(known.begin(), known.end(), name) == known.end())
            return failure("unknown option '" + name + "' for " + args[0]);
        if (values.count(name))
            return failure("option " + name + " given twice");
        if (name == "--chart") {
            if (inlineValue)
                return failure("option --chart takes no value");
            values[name] = {};
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size())
                return failure("option " + name + " needs a value");
            value = args[++i];
        }
        values[name] = value;
    }
    const auto need = [&](const char *name) -> std::optional<std::string> {
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    };

    const auto format = need("--format");
    if (!format)
        return failure("missing --format");
    if (*format == "csv")
        options.format = Format::Csv;
    else if (*format == "text")
        options.format = Format::Text;
    else if (*format == "html")
        options.format = Format::Html;
    else if (*format == "pdf" && fiscal)
        options.format = Format::Pdf;
    else if (*format == "png" && fiscal)
        options.format = Format::Png;
    else
        return failure("bad --format '" + *format
                       + (fiscal ? "' (pdf, csv, text, html or png)" : "' (csv, text or html)"));
    options.chart = values.count("--chart") > 0;
    if (options.chart && options.format != Format::Pdf)
        return failure("--chart goes with --format pdf (--format png writes the chart alone)");
    if (const auto output = need("--output")) {
        if (output->empty())
            return failure("empty --output");
        options.output = *output;
    }

    if (fiscal) {
        const auto section = need("--section");
        const auto printer = need("--printer");
        if (section.has_value() == printer.has_value())
            return failure("give exactly one of --section NAME and --printer NAME");
        options.bySection = section.has_value();
        options.name = section ? *section : *printer;
        if (options.name.empty())
            return failure(std::string("empty ") + (section ? "--section" : "--printer") + " name");
        const auto year = need("--year");
        if (!year)
            return failure("missing --year");
        const auto y = parseInt(*year, 1900, 3000);
        if (!y)
            return failure("bad --year '" + *year + "' (1900 to 3000)");
        options.year = *y;
        const auto month = need("--start-month");
        if (!month)
            return failure("missing --start-month");
        const auto m = parseInt(*month, 1, 12);
        if (!m)
            return failure("bad month '" + *month + "' for --start-month (1 to 12)");
        options.startMonth = *m;
        return {options, {}};
    }

    const auto by = need("--by");
    if (!by)
        return failure("missing --by");
    if (*by == "user")
        options.by = TotalsBy::User;
    else if (*by == "printer")
        options.by = TotalsBy::Printer;
    else if (*by == "computer")
        options.by = TotalsBy::Computer;
    else if (*by == "section")
        options.by = TotalsBy::Section;
    else
        return failure("bad --by '" + *by + "' (user, printer, computer or section)");
    if (const auto level = need("--level")) {
        if (options.by != TotalsBy::Section)
            return failure("--level applies only to --by section");
        const auto l = parseInt(*level, 1, 99);
        if (!l)
            return failure("bad --level '" + *level + "' (1 to 99)");
        options.level = *l;
    }
    for (const char *name : {"--from", "--to"}) {
        const auto text = need(name);
        if (!text)
            return failure(std::string("missing ") + name);
        const auto month = parseYearMonth(*text);
        if (!month)
            return failure("bad month '" + *text + "' for " + name + " (YYYY-MM)");
        (std::string(name) == "--from" ? options.from : options.to) = *month;
    }
    if (options.from.year * 12 + options.from.month > options.to.year * 12 + options.to.month)
        return failure("--from is after --to");
    return {options, {}};
}

} // namespace hvn::report
