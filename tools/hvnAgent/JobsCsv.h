#pragma once

#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "AgentFrame.h"

namespace hvn::agent {

// A jobs file or option value that cannot be read. what() names the line and the field.
class JobsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The header line every jobs file starts with.
inline constexpr std::string_view kJobsHeader = "time,user,printer,computer,pages,sides,sheets";

// Reads a jobs file: the header, then one job per line. Fields follow the usual CSV rules
// (a field in double quotes may hold commas, line breaks and doubled quotes); CRLF line ends
// and a UTF-8 byte order mark are accepted, blank lines are skipped. Throws JobsError for a
// wrong header, a line with another number of fields, an unterminated quote, a malformed
// time or count. Field widths are checked later, by encodeFrame.
std::vector<PrintJob> readJobsCsv(std::istream &in);

// "YYYY-MM-DD HH:MM:SS.SSS" as a valid local date and time. Throws JobsError.
DbDateTime parseJobTime(std::string_view text);

// A whole decimal number with an optional leading "-". Throws JobsError naming the field.
int parseCount(std::string_view field, std::string_view text);

} // namespace hvn::agent
