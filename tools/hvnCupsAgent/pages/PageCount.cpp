#include "PageCount.h"

namespace hvn::cupsagent {

DocumentPages countDocumentPages(const std::filesystem::path &, std::string_view, const CountOptions &)
{
    DocumentPages result;
    result.reason = "page counting is not available in this build";
    return result;
}

std::optional<int> pagesInRanges(int, std::string_view)
{
    return std::nullopt;
}

} // namespace hvn::cupsagent
