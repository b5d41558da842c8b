#include "DocumentScanner.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <limits>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace hvn::cupsagent {

namespace {

// The PJL Universal Exit Language sequence that opens and closes a printer-language job.
constexpr std::string_view kUel = "\x1b%-12345X";
// Bytes of the data looked at to tell its kind; a PDF header may sit anywhere in them.
constexpr std::size_t kSniffBytes = 1024;
// Longer lines are kept cut: every comment and request the scan looks for is shorter.
constexpr std::size_t kMaxLine = 1024;
// Copies beyond this are not a request but noise.
constexpr long long kMaxCopies = 9999;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// Leading white space, Ctrl-D job separators and UEL sequences, which carry no content.
std::size_t envelopeNoise(std::string_view data)
{
    std::size_t at = 0;
    for (;;) {
        if (at < data.size() && (isBlank(data[at]) || data[at] == '\x04'))
            ++at;
        else if (startsWith(data.substr(at), kUel))
            at += kUel.size();
        else
            return at;
    }
}

// A non-negative decimal number at the start of text (after blanks), taken off the text.
std::optional<int> leadingNumber(std::string_view &text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    long long value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0 || value > std::numeric_limits<int>::max())
        return std::nullopt;
    text.remove_prefix(digits);
    return static_cast<int>(value);
}

std::optional<int> copiesValue(std::optional<int> n)
{
    if (n && *n >= 1 && *n <= kMaxCopies)
        return n;
    return std::nullopt;
}

// PostScript delimiters end a name; anything else continues it.
bool endsName(std::string_view rest)
{
    if (rest.empty())
        return true;
    const char c = rest.front();
    return isBlank(c) || std::string_view("/<>[](){}%").find(c) != std::string_view::npos;
}

} // namespace

std::optional<int> ScanResult::structuredPages() const
{
    if (nestingBroken)
        return std::nullopt;
    std::optional<int> declared = pagesAtEnd ? trailerPages : headerPages;
    if (!pagesAtEnd && headerPages && trailerPages && *headerPages != *trailerPages)
        return std::nullopt;
    if (!declared || *declared != pageComments || *declared == 0)
        return std::nullopt;
    return declared;
}

void DocumentScanner::feed(std::string_view bytes)
{
    m_result.totalBytes += bytes.size();
    consume(bytes);
}

void DocumentScanner::consume(std::string_view bytes)
{
    while (!bytes.empty()) {
        switch (m_phase) {
        case Phase::Sniff: {
            const std::size_t take = std::min(bytes.size(), kSniffBytes - m_sniff.size());
            m_sniff.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (m_sniff.size() >= kSniffBytes)
                decideKind(false);
            break;
        }
        case Phase::Pjl: {
            // PJL command lines end with LF.
            const std::size_t lf = bytes.find('\n');
            const std::size_t take = lf == std::string_view::npos ? bytes.size() : lf + 1;
            if (m_pjlOverlong) {
                m_offset += take;
                bytes.remove_prefix(take);
                m_pjlOverlong = lf == std::string_view::npos;
                break;
            }
            m_line.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            // The length is judged before the line's end, so that a line is overlong whether it
            // arrived whole or in pieces.
            if (m_line.size() > kMaxLine) {
                // An overlong command (a long COMMENT) is passed over; overlong anything else is data.
                const std::string_view rest = std::string_view(m_line).substr(envelopeNoise(m_line));
                if (upper(rest.substr(0, 4)) == "@PJL") {
                    m_offset += m_line.size();
                    m_line.clear();
                    m_pjlOverlong = lf == std::string_view::npos;
                } else {
                    endPjlLine();
                }
            } else if (lf != std::string_view::npos) {
                endPjlLine();
            }
            break;
        }
        case Phase::PostScript:
        case Phase::SkipLines:
            consumeLines(bytes);
            break;
        case Phase::SkipBytes: {
            if (m_afterCr) {
                m_afterCr = false;
                if (bytes.front() == '\n') {
                    ++m_offset;
                    bytes.remove_prefix(1);
                    break;
                }
            }
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), m_skipLeft));
            m_offset += take;
            m_skipLeft -= take;
            bytes.remove_prefix(take);
            if (m_skipLeft == 0)
                m_phase = Phase::PostScript;
            break;
        }
        case Phase::Done:
            m_offset += bytes.size();
            return;
        }
    }
}

void DocumentScanner::endPjlLine()
{
    std::string raw = std::move(m_line);
    m_line.clear();
    const std::size_t noise = envelopeNoise(raw);
    const std::string_view rest = std::string_view(raw).substr(noise);
    if (rest.empty()) {
        m_offset += raw.size();
        return;
    }
    if (upper(rest.substr(0, 4)) != "@PJL") {
        // The document starts here, after whatever separators precede it.
        m_offset += noise;
        m_result.dataStart = m_offset;
        m_phase = Phase::Sniff;
        consume(rest);
        return;
    }
    m_offset += raw.size();
    // "@PJL SET DUPLEX = ON" and "@pjl set duplex=on" alike: upper case, without blanks.
    std::string command;
    for (char c : upper(rest.substr(4)))
        if (!isBlank(c))
            command.push_back(c);
    auto valueAfter = [&command](std::string_view key) -> std::optional<std::string_view> {
        if (!startsWith(command, key))
            return std::nullopt;
        return std::string_view(command).substr(key.size());
    };
    if (auto v = valueAfter("SETDUPLEX=")) {
        if (*v == "ON")
            m_pjlDuplex = true;
        else if (*v == "OFF")
            m_pjlDuplex = false;
    } else if (auto v = valueAfter("SETCOPIES=")) {
        m_pjlCopies = copiesValue(leadingNumber(*v));
    } else if (auto v = valueAfter("SETQTY=")) {
        m_pjlQty = copiesValue(leadingNumber(*v));
    } else if (auto v = valueAfter("ENTERLANGUAGE=")) {
        m_result.pjlLanguage = std::string(*v);
        m_result.dataStart = m_offset;
        m_phase = Phase::Sniff;
    }
}

void DocumentScanner::decideKind(bool final)
{
    std::string data = std::move(m_sniff);
    m_sniff.clear();
    const std::size_t noise = envelopeNoise(data);
    const std::string_view body = std::string_view(data).substr(noise);

    if (const std::size_t uel = data.find(kUel); uel != std::string::npos && uel < noise) {
        m_result.pjlEnvelope = true;
        m_phase = Phase::Pjl;
        consume(data);
        return;
    }
    ContentKind kind;
    if (body.empty())
        kind = final ? ContentKind::Empty : ContentKind::Text;
    else if (startsWith(body, "%!"))
        kind = ContentKind::PostScript;
    else if (data.find("%PDF-") != std::string::npos)
        kind = ContentKind::Pdf;
    else if (startsWith(data, "\x1f\x8b"))
        kind = ContentKind::Gzip;
    else if (startsWith(body, ") HP-PCL XL"))
        kind = ContentKind::PclXl;
    else if (body.front() == '\x1b')
        kind = ContentKind::Pcl;
    else {
        const bool text = std::all_of(body.begin(), body.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u >= 0x20 || u == '\t' || u == '\r' || u == '\n' || u == '\f';
        });
        kind = text ? ContentKind::Text : ContentKind::Binary;
        // A job its envelope declares PostScript may do without the %! line.
        if (text && m_result.pjlLanguage == "POSTSCRIPT")
            kind = ContentKind::PostScript;
    }
    m_result.kind = kind;
    m_kindKnown = true;
    if (kind == ContentKind::PostScript) {
        m_phase = Phase::PostScript;
        consume(data);
    } else {
        m_phase = Phase::Done;
        m_offset += data.size();
    }
}

void DocumentScanner::consumeLines(std::string_view &bytes)
{
    while (!bytes.empty() && (m_phase == Phase::PostScript || m_phase == Phase::SkipLines)) {
        if (m_afterCr) {
            m_afterCr = false;
            if (bytes.front() == '\n') {
                ++m_offset;
                bytes.remove_prefix(1);
                continue;
            }
        }
        const std::size_t end = bytes.find_first_of("\r\n");
        const std::size_t take = end == std::string_view::npos ? bytes.size() : end;
        if (m_line.size() < kMaxLine)
            m_line.append(bytes.substr(0, std::min(take, kMaxLine - m_line.size())));
        m_offset += take;
        bytes.remove_prefix(take);
        if (end == std::string_view::npos)
            return;
        m_afterCr = bytes.front() == '\r';
        ++m_offset;
        bytes.remove_prefix(1);
        endLine();
    }
}

void DocumentScanner::endLine()
{
    const std::string line = std::move(m_line);
    m_line.clear();
    if (m_phase == Phase::SkipLines) {
        if (--m_skipLeft == 0)
            m_phase = Phase::PostScript;
        return;
    }
    postScriptLine(line);
}

void DocumentScanner::postScriptLine(std::string_view line)
{
    // A UEL ends the PostScript job; what follows is the envelope's trailer.
    if (line.find(kUel) != std::string_view::npos) {
        m_phase = Phase::Done;
        return;
    }
    if (!startsWith(line, "%%")) {
        if (m_depth == 0)
            requestsIn(line);
        return;
    }
    auto keyword = [line](std::string_view key) {
        return startsWith(line, key) && endsName(line.substr(key.size()));
    };
    if (keyword("%%BeginDocument") || startsWith(line, "%%BeginDocument:")) {
        ++m_depth;
    } else if (keyword("%%EndDocument")) {
        if (m_depth == 0)
            m_result.nestingBroken = true;
        else
            --m_depth;
    } else if (startsWith(line, "%%BeginBinary:")) {
        std::string_view rest = line.substr(14);
        if (auto n = leadingNumber(rest); n && *n > 0) {
            m_skipLeft = static_cast<std::uint64_t>(*n);
            m_phase = Phase::SkipBytes;
        }
    } else if (startsWith(line, "%%BeginData:")) {
        // %%BeginData: count [type [Bytes|Lines]]; bytes unless it says lines.
        std::string_view rest = line.substr(12);
        if (auto n = leadingNumber(rest); n && *n > 0) {
            m_skipLeft = static_cast<std::uint64_t>(*n);
            m_phase = rest.find("Lines") != std::string_view::npos ? Phase::SkipLines : Phase::SkipBytes;
        }
    } else if (m_depth > 0) {
        return;
    } else if (startsWith(line, "%%Pages:")) {
        std::string_view rest = line.substr(8);
        const bool atend = rest.find("(atend)") != std::string_view::npos;
        const std::optional<int> n = atend ? std::nullopt : leadingNumber(rest);
        if (m_inTrailer) {
            if (n)
                m_result.trailerPages = n;
        } else if (!m_result.headerPages && !m_result.pagesAtEnd) {
            m_result.pagesAtEnd = atend;
            m_result.headerPages = n;
        }
    } else if (startsWith(line, "%%Page:")) {
        if (m_result.pageComments < std::numeric_limits<int>::max())
            ++m_result.pageComments;
    } else if (keyword("%%Trailer")) {
        m_inTrailer = true;
    } else if (startsWith(line, "%%Requirements:")) {
        std::string lower(line.substr(15));
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        if (lower.find("duplex") != std::string::npos)
            m_psDuplex = true;
        if (const std::size_t at = lower.find("numcopies("); at != std::string::npos) {
            std::string_view rest = std::string_view(lower).substr(at + 10);
            if (auto n = copiesValue(leadingNumber(rest)))
                m_psCopies = n;
        }
    }
}

// setpagedevice and #copies requests written out literally, as drivers emit them:
// "<< /Duplex true /Tumble false >> setpagedevice", "<< /NumCopies 2 >>", "/#copies 3 def".
void DocumentScanner::requestsIn(std::string_view line)
{
    const std::size_t comment = line.find('%');
    if (comment != std::string_view::npos)
        line = line.substr(0, comment);
    for (std::size_t at = line.find('/'); at != std::string_view::npos; at = line.find('/', at + 1)) {
        std::string_view rest = line.substr(at);
        if (startsWith(rest, "/Duplex") && endsName(rest.substr(7))) {
            rest.remove_prefix(7);
            while (!rest.empty() && isBlank(rest.front()))
                rest.remove_prefix(1);
            if (startsWith(rest, "true") && endsName(rest.substr(4)))
                m_psDuplex = true;
            else if (startsWith(rest, "false") && endsName(rest.substr(5)))
                m_psDuplex = false;
        } else if (startsWith(rest, "/NumCopies") && endsName(rest.substr(10))) {
            rest.remove_prefix(10);
            if (auto n = copiesValue(leadingNumber(rest)); n && endsName(rest))
                m_psCopies = n;
        } else if (startsWith(rest, "/#copies") && endsName(rest.substr(8))) {
            rest.remove_prefix(8);
            if (auto n = copiesValue(leadingNumber(rest)); n && endsName(rest))
                m_psCopies = n;
        }
    }
}

ScanResult DocumentScanner::finish()
{
    // Each round takes bytes out of a buffer, so this ends.
    for (;;) {
        if (m_phase == Phase::Pjl && !m_line.empty())
            endPjlLine();
        else if (m_phase == Phase::Sniff && !m_sniff.empty())
            decideKind(true);
        else
            break;
    }
    if (!m_kindKnown)
        m_result.kind = ContentKind::Empty;
    if (m_phase == Phase::PostScript && !m_line.empty())
        endLine();
    if (m_depth != 0)
        m_result.nestingBroken = true;
    m_result.duplex = m_psDuplex ? m_psDuplex : m_pjlDuplex;
    // QTY (copies of the whole job) wins over COPIES when a header gives both.
    m_result.copies = m_psCopies ? m_psCopies : (m_pjlQty ? m_pjlQty : m_pjlCopies);
    return m_result;
}

ScanResult scanDocumentFile(const std::string &path)
{
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    DocumentScanner scanner;
    std::vector<char> block(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd.get(), block.data(), block.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "cannot read " + path);
        }
        if (n == 0)
            break;
        scanner.feed(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
    return scanner.finish();
}

} // namespace hvn::cupsagent
