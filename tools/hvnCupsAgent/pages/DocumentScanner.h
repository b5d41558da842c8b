#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hvn::cupsagent {

// What the first bytes of a document (after any PJL envelope) show it to be.
enum class ContentKind { Empty, PostScript, Pdf, Pcl, PclXl, Gzip, Text, Binary };

// What one pass over a document's bytes found: its PJL envelope, its kind, and, for PostScript,
// its document structure comments and the duplex and copies it asks for.
struct ScanResult {
    ContentKind kind = ContentKind::Empty;
    bool pjlEnvelope = false;
    std::string pjlLanguage;         // ENTER LANGUAGE=..., upper case; empty when not given
    std::uint64_t dataStart = 0;     // offset of the document inside the envelope
    std::uint64_t totalBytes = 0;

    std::optional<bool> duplex;      // PostScript's request wins over the PJL header's
    std::optional<int> copies;

    // PostScript structure, counted outside embedded documents and declared binary data.
    std::optional<int> headerPages;  // %%Pages: N before %%Trailer
    bool pagesAtEnd = false;         // %%Pages: (atend)
    std::optional<int> trailerPages; // %%Pages: N after %%Trailer
    int pageComments = 0;            // %%Page: comments
    bool nestingBroken = false;      // %%EndDocument without a begin, or a begin never ended

    // The page count the structure comments give when they are present and agree with each
    // other; nullopt when they are missing, contradict themselves, or claim no pages at all
    // (a claim that only running the document can confirm).
    std::optional<int> structuredPages() const;
};

// Scans a document fed to it in pieces of any size, in one pass, keeping no more than a few
// kilobytes: a document of any length is streamed through it. Parses untrusted bytes; never
// throws for what they hold. Not thread safe; one scanner per document.
class DocumentScanner {
public:
    void feed(std::string_view bytes);
    // Ends the document. Call once, after the last feed().
    ScanResult finish();

private:
    enum class Phase { Sniff, Pjl, PostScript, SkipBytes, SkipLines, Done };

    void consume(std::string_view bytes);
    void decideKind(bool final);
    void endPjlLine();
    void consumeLines(std::string_view &bytes);
    void endLine();
    void postScriptLine(std::string_view line);
    void requestsIn(std::string_view line);

    Phase m_phase = Phase::Sniff;
    ScanResult m_result;
    bool m_kindKnown = false;
    std::uint64_t m_offset = 0;       // offset of the next byte the line machine takes
    std::string m_sniff;              // the first bytes of the data, until its kind is known

    std::string m_line;               // the current line (PostScript: cut at kMaxLine bytes)
    bool m_pjlOverlong = false;       // passing over the rest of an overlong PJL command
    bool m_afterCr = false;           // a CR ended the last line; an LF right after belongs to it
    std::uint64_t m_skipLeft = 0;     // bytes or lines of declared binary data still to pass over

    int m_depth = 0;                  // %%BeginDocument nesting
    bool m_inTrailer = false;
    std::optional<bool> m_pjlDuplex;
    std::optional<int> m_pjlCopies;
    std::optional<int> m_pjlQty;
    std::optional<bool> m_psDuplex;
    std::optional<int> m_psCopies;
};

// The same scan, over a file read in blocks. Throws std::system_error when it cannot be read.
ScanResult scanDocumentFile(const std::string &path);

} // namespace hvn::cupsagent
