#include "JobCounts.h"

#include <cstdint>
#include <limits>

namespace hvn::cupsagent {

std::optional<JobCounts> computeCounts(int printedPages, int copies, int numberUp, bool duplex)
{
    if (printedPages < 0 || copies < 1 || numberUp < 1)
        return std::nullopt;
    const std::int64_t sidesPerCopy = (std::int64_t{printedPages} + numberUp - 1) / numberUp;
    const std::int64_t sheetsPerCopy = duplex ? (sidesPerCopy + 1) / 2 : sidesPerCopy;
    const std::int64_t pages = std::int64_t{printedPages} * copies;
    const std::int64_t sides = sidesPerCopy * copies;
    const std::int64_t sheets = sheetsPerCopy * copies;
    if (pages > std::numeric_limits<int>::max())
        return std::nullopt;
    return JobCounts{static_cast<int>(pages), static_cast<int>(sides), static_cast<int>(sheets)};
}

} // namespace hvn::cupsagent
