#pragma once

#include <optional>

namespace hvn::cupsagent {

// What one job used, as the print record carries it.
struct JobCounts {
    int pages = 0;  // document pages printed, all copies
    int sides = 0;  // sides of paper printed on, all copies
    int sheets = 0; // sheets of paper, all copies

    bool operator==(const JobCounts &) const = default;
};

// The counts of a job that prints `printedPages` document pages (after page ranges), `copies`
// times, `numberUp` pages to a side, on both sides of each sheet when duplex:
// pages = P x C, sides = ceil(P / N) x C, sheets = ceil(ceil(P / N) / 2) x C when duplex, else
// the sides. nullopt when an input is out of range (P < 0, C < 1, N < 1) or a result would
// overflow an int. Thread safe.
std::optional<JobCounts> computeCounts(int printedPages, int copies, int numberUp, bool duplex);

} // namespace hvn::cupsagent
