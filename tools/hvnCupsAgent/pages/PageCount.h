#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hvn::cupsagent {

enum class DocumentLanguage { Pdf, PostScript, Unknown };

// What one spooled document says about itself.
struct DocumentPages {
    DocumentLanguage language = DocumentLanguage::Unknown;
    std::optional<int> pages;    // empty: the document cannot be counted (PCL, unknown, damaged)
    std::optional<bool> duplex;  // what the document itself asks for (PJL, setpagedevice, DSC), if it says
    std::optional<int> copies;   // likewise
    std::string reason;          // when pages is empty: why, one line for the log
};

struct CountOptions {
    std::string ghostscript = "gs";                        // the interpreter to run
    std::chrono::milliseconds interpreterTimeout{60000};
    // The interpreter's address space: a job that takes more becomes uncountable instead of
    // starving the print server.
    std::uint64_t interpreterMemoryBytes = std::uint64_t{1} << 30;
};

// Counts the pages of one spooled document file; mimeType is the document's format as CUPS knows
// it (may be empty or application/octet-stream / application/vnd.cups-raw); content decides.
// Never throws for what the file holds: a document that cannot be counted comes back with pages
// empty and a reason. The file is streamed, never read whole into memory. PostScript whose
// structure comments are missing or inconsistent is run through the interpreter (without a
// shell, -dSAFER, null device), which is killed when it outlasts options.interpreterTimeout:
// a call may block that long, so a caller that must not hold a job up counts beside it.
// The interpreter runs with the caller's user; run as root, so does it. Thread safe.
DocumentPages countDocumentPages(const std::filesystem::path &document, std::string_view mimeType,
                                 const CountOptions &options = {});

// How many of the pages 1..total a page-ranges value ("1-3,7,10-") selects; nullopt when malformed.
// Comma-separated "N", "N-M", "N-" (to the end) and "-M" (from 1), as CUPS reads them; pages past
// the end select nothing. Malformed, as cupsd refuses them: page 0, a reversed range ("5-3"),
// ranges that overlap or come out of order ("1-5,3-8", "7,1-2"), anything that is not a range.
// Thread safe.
std::optional<int> pagesInRanges(int total, std::string_view pageRanges);

} // namespace hvn::cupsagent
