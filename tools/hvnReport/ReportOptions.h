#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hvn::report {

// The command line of hvnReport, checked before anything is read:
//   hvnReport fiscal (--section NAME | --printer NAME) --year Y --start-month S
//             --format pdf|csv|text|html|png [--chart] [--output FILE]
//   hvnReport totals --by user|printer|computer|section [--level L] --from YYYY-MM --to YYYY-MM
//             --format csv|text|html [--output FILE]
// Options take their value as the next argument or after "="; --chart (a second PDF page with
// the table's chart) takes none and goes with --format pdf only; --format png is the chart
// alone.

enum class Command { Fiscal, Totals, Help };
enum class Format { Pdf, Csv, Text, Html, Png };
enum class TotalsBy { User, Printer, Computer, Section };

struct YearMonthArg {
    int year = 0;
    int month = 0;
};

struct ReportOptions {
    Command command = Command::Help;
    Format format = Format::Csv;
    std::string output; // empty: standard output

    // fiscal
    bool bySection = true;
    bool chart = false;
    std::string name;
    int year = 0;
    int startMonth = 0;

    // totals
    TotalsBy by = TotalsBy::User;
    int level = 1;
    YearMonthArg from;
    YearMonthArg to;
};

struct ParseResult {
    std::optional<ReportOptions> options;
    std::string error; // one line, when options is empty
};

ParseResult parseReportOptions(const std::vector<std::string> &args);

const char *usageText();

} // namespace hvn::report
