#include "PageCount.h"

#include <algorithm>
#include <limits>
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
    case ContentKind::Gzip:
        // cupsd spools a document sent with compression=gzip as it arrived.
        result.reason = "gzip-compressed document: not counted" + describedType(mimeType);
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
    // Each range as CUPS's client library reads it: "N", "N-M", "N-" (to the last page) and
    // "-M" (from page 1). cupsd refuses a job whose ranges start below 1, run backwards, overlap
    // or come out of order; those values are malformed here too. Pages past the end select
    // nothing, as in CUPS's filters.
    constexpr long long kLast = std::numeric_limits<int>::max();
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

    long long selected = 0;
    long long next = 1; // the lowest page the next range may start at
    std::string_view rest = pageRanges;
    for (;;) {
        long long lower = 1;
        long long upper = kLast;
        if (rest.starts_with('-')) {
            rest.remove_prefix(1);
            auto n = number(rest);
            if (!n)
                return std::nullopt;
            upper = *n;
        } else {
            auto n = number(rest);
            if (!n)
                return std::nullopt;
            lower = upper = *n;
            if (rest.starts_with('-')) {
                rest.remove_prefix(1);
                if (!rest.empty() && rest.front() != ',') {
                    auto m = number(rest);
                    if (!m)
                        return std::nullopt;
                    upper = *m;
                } else {
                    upper = kLast;
                }
            }
        }
        if (lower < next || upper < lower)
            return std::nullopt;
        if (lower <= total)
            selected += std::min<long long>(upper, total) - lower + 1;
        next = upper + 1;
        if (rest.empty())
            break;
        if (rest.front() != ',')
            return std::nullopt;
        rest.remove_prefix(1);
    }
    return static_cast<int>(selected);
}

} // namespace hvn::cupsagent
