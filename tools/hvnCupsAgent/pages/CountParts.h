#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "PageCount.h"

namespace hvn::cupsagent {

// A page count, or why there is none (one line).
struct Counted {
    std::optional<int> pages;
    std::string reason;
};

// Counts a PDF that starts at byte offset of the file, through qpdf. Opens documents encrypted
// with an empty user password; trusts a repaired file only when its page tree agrees with the
// page count it declares.
Counted countPdfPages(const std::string &path, std::uint64_t offset);

// Runs the PostScript job that starts at byte offset of the file through the interpreter and
// counts the pages it outputs. When inEnvelope, the job ends at the next PJL UEL sequence.
Counted countWithInterpreter(const std::string &path, std::uint64_t offset, bool inEnvelope,
                             const CountOptions &options);

} // namespace hvn::cupsagent
