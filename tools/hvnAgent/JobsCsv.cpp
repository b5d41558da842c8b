#include "JobsCsv.h"

#include <charconv>
#include <iterator>
#include <optional>

namespace hvn::agent {

namespace {

struct Row {
    std::size_t line = 0; // line on which the row starts
    std::vector<std::string> fields;
};

// Splits the whole text into rows of fields. A quote opens a quoted field only at the start
// of a field; inside one, a doubled quote is a literal quote.
std::vector<Row> splitRows(std::string_view text)
{
    std::vector<Row> rows;
    Row row;
    std::string field;
    bool quoted = false;      // inside a quoted field
    bool wasQuoted = false;   // the current field was quoted (only a separator may follow)
    bool rowStarted = false;  // something has been seen on this row
    std::size_t line = 1;
    row.line = 1;

    auto endField = [&] {
        row.fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        if (rowStarted) {
            endField();
            rows.push_back(std::move(row));
        }
        row = Row{};
        row.line = line;
        rowStarted = false;
        field.clear();
        wasQuoted = false;
    };

    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (c == '\n') {
            ++line;
            endRow();
            continue;
        }
        rowStarted = true;
        if (c == ',') {
            endField();
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = true;
        } else if (wasQuoted) {
            throw JobsError("line " + std::to_string(line) + ": text after a closing quote");
        } else {
            field += c;
        }
    }
    if (quoted)
        throw JobsError("line " + std::to_string(row.line) + ": a quoted field is not closed");
    endRow();
    return rows;
}

std::string joined(const std::vector<std::string> &fields)
{
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i)
        s += (i ? "," : "") + fields[i];
    return s;
}

} // namespace

DbDateTime parseJobTime(std::string_view text)
{
    const std::optional<DbDateTime> time = DbDateTime::fromText(text);
    if (!time)
        throw JobsError("time \"" + std::string(text) +
                        "\" is not a valid date and time of the form YYYY-MM-DD HH:MM:SS.SSS");
    return *time;
}

int parseCount(std::string_view field, std::string_view text)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw JobsError(std::string(field) + " \"" + std::string(text) + "\" is not a whole number");
    return value;
}

std::vector<PrintJob> readJobsCsv(std::istream &in)
{
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw JobsError("cannot read the jobs file");
    std::string_view view = text;
    if (view.substr(0, 3) == "\xEF\xBB\xBF")
        view.remove_prefix(3);

    const std::vector<Row> rows = splitRows(view);
    if (rows.empty() || joined(rows.front().fields) != kJobsHeader)
        throw JobsError("line 1: the header must be \"" + std::string(kJobsHeader) + "\"");

    std::vector<PrintJob> jobs;
    jobs.reserve(rows.size() - 1);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const Row &row = rows[r];
        const std::string where = "line " + std::to_string(row.line) + ": ";
        if (row.fields.size() != 7)
            throw JobsError(where + std::to_string(row.fields.size()) + " fields; a job has 7");
        try {
            PrintJob job;
            job.time = parseJobTime(row.fields[0]);
            job.user = row.fields[1];
            job.printer = row.fields[2];
            job.computer = row.fields[3];
            job.pages = parseCount("pages", row.fields[4]);
            job.sides = parseCount("sides", row.fields[5]);
            job.sheets = parseCount("sheets", row.fields[6]);
            jobs.push_back(std::move(job));
        } catch (const JobsError &e) {
            throw JobsError(where + e.what());
        }
    }
    return jobs;
}

} // namespace hvn::agent
