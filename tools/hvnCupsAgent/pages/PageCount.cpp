#include "PageCount.h"

#include <algorithm>
#include <vector>
#include <system_error>

#include "CountParts.h"
#include "DocumentScanner.h"

namespace hvn::cupsagent {

namespace {

DocumentPages uncountable(DocumentLanguage language, std::string reason)
{
    DocumentPages result;
    result.language = language;
    result.reason = std::move(reason);
    return result;
}

std::string describedType(std::string_view mimeType)
{
    return mimeType.empty() ? std::string() : " (CUPS type " + std::string(mimeType) + ")";
}

} // namespace

DocumentPages countDocumentPages(const std::filesystem::path &document, std::string_view mimeType,
                                 const CountOptions &options)
{
    ScanResult scan;
    try {
        scan = scanDocumentFile(document.string());
    } catch (const std::system_error &e) {
        return uncountable(DocumentLanguage::Unknown, e.what());
    }

    DocumentPages result;
    result.duplex = scan.duplex;
    result.copies = scan.copies;
    switch (scan.kind) {
    case ContentKind::Empty:
        result.pages = 0;
        return result;
    case ContentKind::Pdf: {
        result.language = DocumentLanguage::Pdf;
        Counted counted = countPdfPages(document.string(), scan.dataStart);
        result.pages = counted.pages;
        result.reason = std::move(counted.reason);
        return result;
    }
    case ContentKind::PostScript: {
        result.language = DocumentLanguage::PostScript;
        if (std::optional<int> pages = scan.structuredPages()) {
            result.pages = pages;
            return result;
        }
        Counted counted = countWithInterpreter(document.string(), scan.dataStart, scan.pjlEnvelope, options);
        result.pages = counted.pages;
        result.reason = std::move(counted.reason);
        return result;
    }
    case ContentKind::Pcl:
        result.reason = "PCL document: not counted" + describedType(mimeType);
        return result;
    case ContentKind::PclXl:
        result.reason = "PCL XL document: not counted" + describedType(mimeType);
        return result;
    case ContentKind::Text:
        // CUPS lays text out by the queue's and the job's options (page size, margins, cpi, lpi,
        // columns, wrapping); the spooled file alone does not say how many pages it makes.
        result.reason = "plain text: its pages depend on how CUPS lays it out" + describedType(mimeType);
        return result;
    case ContentKind::Binary:
        break;
    }
    result.reason = "unrecognised document format" + describedType(mimeType);
    return result;
}

std::optional<int> pagesInRanges(int total, std::string_view pageRanges)
{
    // Each range as CUPS's filters read it: "N", "N-M", "N-" (to the last page), "-M" (from 1).
    struct Range {
        long long lower;
        long long upper;
    };
    constexpr long long kLast = 1LL << 40;
    auto number = [](std::string_view &text) -> std::optional<long long> {
        long long value = 0;
        std::size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + (text[digits] - '0');
            if (value > kLast)
                return std::nullopt;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        text.remove_prefix(digits);
        return value;
    };

    std::vector<Range> ranges;
    std::string_view rest = pageRanges;
    for (;;) {
        Range range{1, kLast};
        if (rest.starts_with('-')) {
            rest.remove_prefix(1);
            auto upper = number(rest);
            if (!upper)
                return std::nullopt;
            range.upper = *upper;
        } else {
            auto lower = number(rest);
            if (!lower)
                return std::nullopt;
            range.lower = *lower;
            range.upper = *lower;
            if (rest.starts_with('-')) {
                rest.remove_prefix(1);
                if (rest.empty() || rest.front() == ',') {
                    range.upper = kLast;
                } else {
                    auto upper = number(rest);
                    if (!upper)
                        return std::nullopt;
                    range.upper = *upper;
                }
            }
        }
        if (range.lower < 1 || range.upper < range.lower)
            return std::nullopt;
        ranges.push_back(range);
        if (rest.empty())
            break;
        if (rest.front() != ',')
            return std::nullopt;
        rest.remove_prefix(1);
    }

    // Overlapping ranges select a page once: count the union, clipped to 1..total.
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.lower < b.lower; });
    long long selected = 0;
    long long next = 1; // the first page not yet counted
    for (const Range &range : ranges) {
        const long long from = std::max(range.lower, next);
        const long long to = std::min<long long>(range.upper, total);
        if (from <= to) {
            selected += to - from + 1;
            next = to + 1;
        }
    }
    return static_cast<int>(selected);
}

} // namespace hvn::cupsagent
