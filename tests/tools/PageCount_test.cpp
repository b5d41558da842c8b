#include "PageCount.h"

#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "DocumentScanner.h"
#include "TempDir.h"

namespace hvn::cupsagent {
namespace {

using namespace std::chrono_literals;

const std::string kUel = "\x1b%-12345X";

// A structurally valid PDF with the given number of empty pages, cross-reference offsets exact.
std::string makePdf(int pages)
{
    std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<std::size_t> offsets;
    auto object = [&](const std::string &body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < pages; ++i)
        kids += std::to_string(3 + i) + " 0 R ";
    object("<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int i = 0; i < pages; ++i)
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// A PostScript job with structure comments; each page draws and shows itself.
std::string dscDocument(int pages, const std::string &pagesComment, const std::string &trailer = {})
{
    std::string ps = "%!PS-Adobe-3.0\n%%Pages: " + pagesComment + "\n%%EndComments\n";
    for (int i = 1; i <= pages; ++i)
        ps += "%%Page: " + std::to_string(i) + " " + std::to_string(i) + "\nnewpath 0 0 moveto 10 10 lineto stroke showpage\n";
    if (!trailer.empty())
        ps += "%%Trailer\n" + trailer + "\n";
    return ps + "%%EOF\n";
}

std::string pjlWrapped(const std::string &language, const std::string &body, const std::string &settings = {})
{
    return kUel + "@PJL JOB NAME=\"report\"\r\n" + settings + "@PJL ENTER LANGUAGE=" + language + "\r\n" + body +
           kUel + "@PJL EOJ\r\n" + kUel;
}

class PageCountTest : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string &name, const std::string &content)
    {
        const std::filesystem::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    test::TempDir m_dir{"halvane-pages"};
};

struct DocumentCase {
    const char *name;
    std::string content;
    std::string mimeType;
    DocumentLanguage language;
    std::optional<int> pages;
    // The structure comments alone must give the count: the interpreter is made unavailable.
    bool withoutInterpreter = false;
    std::optional<bool> duplex = std::nullopt;
    std::optional<int> copies = std::nullopt;
    const char *reasonHas = "";
};

// Every document kind the agent meets, each with the count CUPS's printer would output.
TEST_F(PageCountTest, CountsEachDocumentKindAsItPrints)
{
    const std::string nested = "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n%%Page: 1 1\n"
                               "%%BeginDocument: logo.eps\n%!PS-Adobe-3.0 EPSF-3.0\n%%Pages: 3\n"
                               "%%Page: 1 1\n%%Page: 2 2\n%%Page: 3 3\n%%Trailer\n%%Pages: 3\n%%EOF\n"
                               "%%EndDocument\nshowpage\n%%Page: 2 2\nshowpage\n%%Trailer\n%%EOF\n";
    const std::string binaryData = std::string("%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n") +
                                   "%%BeginBinary: 20\n%%Page: 9 9\n%%Page: X\n\nshowpage\n%%EOF\n";
    const std::string windowsDriver = "\x04%!PS-Adobe-3.0\r\n%%Pages: (atend)\r\n%%Requirements: duplex\r\n"
                                      "%%EndComments\r\n%%BeginSetup\r\n%%BeginFeature: *Duplex DuplexNoTumble\r\n"
                                      "<</Duplex true /Tumble false>> setpagedevice\r\n%%EndFeature\r\n"
                                      "<< /NumCopies 4 >> setpagedevice\r\n%%EndSetup\r\n"
                                      "%%Page: 1 1\r\nshowpage\r\n%%Page: 2 2\r\nshowpage\r\n%%Trailer\r\n%%Pages: 2\r\n%%EOF\r\n";
    const std::string longHeader = [] {
        std::string comments;
        for (int i = 0; i < 60; ++i)
            comments += "@PJL COMMENT padding line " + std::to_string(i) + " of a long driver header\r\n";
        return comments;
    }();

    const DocumentCase cases[] = {
        {"consistent comments", dscDocument(3, "3"), "application/postscript", DocumentLanguage::PostScript, 3, true},
        {"pages at end", dscDocument(4, "(atend)", "%%Pages: 4"), "", DocumentLanguage::PostScript, 4, true},
        {"embedded document's pages", nested, "application/postscript", DocumentLanguage::PostScript, 2, true},
        {"page comments inside declared binary data", binaryData, "", DocumentLanguage::PostScript, 1, true},
        {"Windows driver requests", windowsDriver, "application/vnd.cups-raw", DocumentLanguage::PostScript, 2, true,
         true, 4},
        {"comments that lie", dscDocument(2, "5"), "application/postscript", DocumentLanguage::PostScript, 2},
        {"trailer that contradicts the header", dscDocument(2, "2", "%%Pages: 3"), "", DocumentLanguage::PostScript, 2},
        {"atend never resolved", dscDocument(2, "(atend)"), "", DocumentLanguage::PostScript, 2},
        {"no comments", "%!\nshowpage\nshowpage\nshowpage\n", "", DocumentLanguage::PostScript, 3},
        {"no pages at all", "%!PS-Adobe-3.0\n%%Pages: 0\n%%EOF\n", "", DocumentLanguage::PostScript, 0},
        {"copies are not pages", "%!\n<< /NumCopies 3 >> setpagedevice\nshowpage\n/#copies 2 def showpage\n", "",
         DocumentLanguage::PostScript, 2, false, std::nullopt, 2},
        {"copypage outputs a page", "%!\nshowpage copypage\n", "", DocumentLanguage::PostScript, 2},
        {"job's own EndPage", "%!\n<< /EndPage { exch pop 2 ne } >> setpagedevice showpage showpage\n", "",
         DocumentLanguage::PostScript, 2},
        {"job that quits", "%!\nshowpage quit showpage\n", "", DocumentLanguage::PostScript, 1},
        {"PostScript error", "%!\nshowpage nosuchoperator showpage\n", "", DocumentLanguage::PostScript, std::nullopt,
         false, std::nullopt, std::nullopt, "undefined"},
        {"PJL-wrapped PostScript", pjlWrapped("POSTSCRIPT", dscDocument(2, "2"), "@PJL SET DUPLEX=ON\r\n@PJL SET QTY=3\r\n"),
         "application/octet-stream", DocumentLanguage::PostScript, 2, true, true, 3},
        {"PJL-wrapped PostScript without comments", pjlWrapped("POSTSCRIPT", "%!\nshowpage showpage\n",
                                                               "@pjl set duplex = off\r\n@PJL SET COPIES=2\r\n"),
         "application/vnd.cups-raw", DocumentLanguage::PostScript, 2, false, false, 2},
        {"PJL-wrapped PDF", pjlWrapped("PDF", makePdf(3)), "application/vnd.cups-raw", DocumentLanguage::Pdf, 3, true},
        {"PDF behind a long PJL header", pjlWrapped("PDF", makePdf(2), longHeader), "", DocumentLanguage::Pdf, 2, true},
        {"PDF", makePdf(5), "application/pdf", DocumentLanguage::Pdf, 5, true},
        {"PDF the type calls PostScript", makePdf(1), "application/postscript", DocumentLanguage::Pdf, 1, true},
        {"empty file", "", "application/pdf", DocumentLanguage::Unknown, 0, true},
        {"envelope around nothing", kUel + "@PJL ENTER LANGUAGE=POSTSCRIPT\n" + kUel, "", DocumentLanguage::Unknown, 0,
         true},
        {"PCL", "\x1b" "E\x1b&l0O\x1b(s0p12h10v0s0b3T Hello\f\x1b" "E", "application/vnd.cups-raw",
         DocumentLanguage::Unknown, std::nullopt, true, std::nullopt, std::nullopt, "PCL document"},
        {"PJL-wrapped PCL", pjlWrapped("PCL", "\x1b" "E text \f"), "", DocumentLanguage::Unknown, std::nullopt, true,
         std::nullopt, std::nullopt, "PCL document"},
        {"PCL XL", pjlWrapped("PCLXL", ") HP-PCL XL;2;0\r\n\xc0\x00\xf8\x86"), "", DocumentLanguage::Unknown,
         std::nullopt, true, std::nullopt, std::nullopt, "PCL XL"},
        {"gzip-compressed", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10), "application/pdf",
         DocumentLanguage::Unknown, std::nullopt, true, std::nullopt, std::nullopt, "gzip"},
        {"text", "Quarterly figures\nline two\n", "text/plain", DocumentLanguage::Unknown, std::nullopt, true,
         std::nullopt, std::nullopt, "plain text"},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10), "application/octet-stream",
         DocumentLanguage::Unknown, std::nullopt, true, std::nullopt, std::nullopt, "unrecognised"},
    };
    for (const DocumentCase &c : cases) {
        SCOPED_TRACE(c.name);
        CountOptions options;
        if (c.withoutInterpreter)
            options.ghostscript = (m_dir / "no-such-gs").string();
        const DocumentPages result = countDocumentPages(write("d00001-001", c.content), c.mimeType, options);
        EXPECT_EQ(result.language, c.language);
        EXPECT_EQ(result.pages, c.pages) << result.reason;
        if (c.duplex) {
            EXPECT_EQ(result.duplex, c.duplex);
        }
        if (c.copies) {
            EXPECT_EQ(result.copies, c.copies);
        }
        EXPECT_NE(result.reason.find(c.reasonHas), std::string::npos) << result.reason;
        EXPECT_EQ(result.pages.has_value(), result.reason.empty()) << result.reason;
    }
}

// The scan is streamed: splitting a document anywhere (CR LF, the UEL, a comment keyword)
// must not change what it finds.
TEST(DocumentScanner, FindsTheSameWhereverTheBytesAreSplit)
{
    const std::string documents[] = {
        pjlWrapped("POSTSCRIPT",
                   "%!PS-Adobe-3.0\r\n%%Pages: (atend)\r\n%%BeginBinary: 9\r\n%%Page: 1\r\n%%Page: 1 1\r\n"
                   "<< /Duplex true >> setpagedevice\r\n%%Trailer\r\n%%Pages: 1\r\n",
                   "@PJL SET COPIES=2\r\n"),
        pjlWrapped("PDF", makePdf(1)),
        // A command line longer than the scanner keeps is passed over, split or not.
        pjlWrapped("POSTSCRIPT", "%!\nshowpage\n", "@PJL SET COPIES=3" + std::string(1100, '\f') + "\r\n"),
    };
    for (const std::string &document : documents) {
        DocumentScanner whole;
        whole.feed(document);
        const ScanResult expected = whole.finish();
        for (std::size_t at = 0; at <= document.size(); ++at) {
            DocumentScanner split;
            split.feed(std::string_view(document).substr(0, at));
            split.feed(std::string_view(document).substr(at));
            const ScanResult got = split.finish();
            ASSERT_EQ(got.kind, expected.kind) << "split at " << at;
            ASSERT_EQ(got.dataStart, expected.dataStart) << "split at " << at;
            ASSERT_EQ(got.structuredPages(), expected.structuredPages()) << "split at " << at;
            ASSERT_EQ(got.duplex, expected.duplex) << "split at " << at;
            ASSERT_EQ(got.copies, expected.copies) << "split at " << at;
        }
    }
    DocumentScanner first;
    first.feed(documents[0]);
    const ScanResult scanned = first.finish();
    EXPECT_EQ(scanned.structuredPages(), 1);
    EXPECT_EQ(scanned.duplex, true);
    EXPECT_EQ(scanned.copies, 2);
}

TEST_F(PageCountTest, PdfEncryptedWithoutUserPasswordCountsButWithOneIsUncountable)
{
    const std::filesystem::path plain = write("plain.pdf", makePdf(4));
    const std::filesystem::path open = m_dir / "open.pdf";
    const std::filesystem::path locked = m_dir / "locked.pdf";
    ASSERT_EQ(platform::runProgram({"qpdf", "--encrypt", "", "owner", "256", "--", plain.string(), open.string()}), 0);
    ASSERT_EQ(platform::runProgram({"qpdf", "--encrypt", "secret", "owner", "256", "--", plain.string(), locked.string()}),
              0);

    EXPECT_EQ(countDocumentPages(open, "application/pdf").pages, 4);
    const DocumentPages result = countDocumentPages(locked, "application/pdf");
    EXPECT_EQ(result.language, DocumentLanguage::Pdf);
    EXPECT_FALSE(result.pages);
    EXPECT_NE(result.reason.find("password"), std::string::npos) << result.reason;
}

// A damaged PDF counts only when the repaired file still holds every page it declares.
TEST_F(PageCountTest, DamagedPdfIsRepairedOrUncountableNeverUndercounted)
{
    std::string badXref = makePdf(3);
    badXref.replace(badXref.rfind("startxref\n") + 10, 3, "999"); // cross-reference table not where it says
    EXPECT_EQ(countDocumentPages(write("badxref.pdf", badXref), "application/pdf").pages, 3);

    const std::string whole = makePdf(3);
    // Cut inside the last page object: the page tree still lists three pages.
    const std::string truncated = whole.substr(0, whole.find("5 0 obj") + 12);
    const DocumentPages cut = countDocumentPages(write("cut.pdf", truncated), "application/pdf");
    EXPECT_FALSE(cut.pages) << *cut.pages;
    EXPECT_FALSE(cut.reason.empty());

    const DocumentPages garbage = countDocumentPages(write("garbage.pdf", "%PDF-1.7\nnothing here\n"), "");
    EXPECT_EQ(garbage.language, DocumentLanguage::Pdf);
    EXPECT_FALSE(garbage.pages);
}

TEST_F(PageCountTest, InterpreterThatNeverFinishesIsKilledAtTheTimeout)
{
    CountOptions options;
    options.interpreterTimeout = 1500ms;
    const auto start = std::chrono::steady_clock::now();
    const DocumentPages result = countDocumentPages(write("loop.ps", "%!\nshowpage { } loop\n"), "", options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result.pages);
    EXPECT_NE(result.reason.find("did not finish"), std::string::npos) << result.reason;
    EXPECT_LT(took, 10s);
}

// A job that takes memory without end must not take the print server's: the interpreter is
// held to a bounded address space and the job becomes uncountable.
TEST_F(PageCountTest, InterpreterMemoryIsBounded)
{
    CountOptions options;
    options.interpreterMemoryBytes = 200 << 20;
    const std::string hog = "%!\n/a [ 1 1 8 { pop 15000000 array } for ] def showpage\n";
    const DocumentPages result = countDocumentPages(write("hog.ps", hog), "", options);
    EXPECT_FALSE(result.pages);
    EXPECT_FALSE(result.reason.empty());
}

// A job that fills its output with lines of its own, mark-like ones among them, counts what it
// prints.
TEST_F(PageCountTest, JobOutputIsNotTakenForPages)
{
    const std::string chatter = "%!\n1 1 5000 { pop (HVN page\\n) print (page\\n) print } for showpage\n";
    EXPECT_EQ(countDocumentPages(write("chatter.ps", chatter), "").pages, 1);
}

// The interpreter opens the document by name: a name PostScript would read as syntax, and a
// PJL envelope (the job starts at an offset), must still reach it whole.
TEST_F(PageCountTest, InterpreterReadsDocumentsWhateverTheirName)
{
    for (const char *name : {"d00007-001", "job (7) \\ 50% [draft].ps", "\xe5\x8d\xb0\xe5\x88\xb7.ps"}) {
        SCOPED_TRACE(name);
        const DocumentPages result = countDocumentPages(
            write(name, pjlWrapped("POSTSCRIPT", "%!\nshowpage showpage showpage\n")), "");
        EXPECT_EQ(result.pages, 3) << result.reason;
    }
}

// Run by root, the interpreter takes the print server's filter account: a document it cannot
// read as that account stays uncountable, one it can read counts.
TEST_F(PageCountTest, InterpreterRunsAsTheGivenAccountNotAsRoot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to change accounts";
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
    const std::filesystem::path secret = write("secret.ps", "%!\nshowpage showpage\n");
    std::filesystem::permissions(secret, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::filesystem::path open = write("open.ps", "%!\nshowpage showpage\n");
    std::filesystem::permissions(open, std::filesystem::perms::owner_read | std::filesystem::perms::others_read);
    CountOptions options;
    EXPECT_EQ(countDocumentPages(secret, "", options).pages, 2);
    options.interpreterUser = "nobody";
    EXPECT_FALSE(countDocumentPages(secret, "", options).pages);
    EXPECT_EQ(countDocumentPages(open, "", options).pages, 2);
    options.interpreterUser = "no-such-account-here";
    const DocumentPages unknown = countDocumentPages(open, "", options);
    EXPECT_FALSE(unknown.pages);
    EXPECT_NE(unknown.reason.find("no-such-account-here"), std::string::npos) << unknown.reason;
}

TEST_F(PageCountTest, MissingInterpreterOrDocumentIsUncountableWithAReason)
{
    CountOptions options;
    options.ghostscript = (m_dir / "bin" / "gs").string();
    const DocumentPages noGs = countDocumentPages(write("plain.ps", "%!\nshowpage\n"), "", options);
    EXPECT_EQ(noGs.language, DocumentLanguage::PostScript);
    EXPECT_FALSE(noGs.pages);
    EXPECT_NE(noGs.reason.find("interpreter"), std::string::npos) << noGs.reason;

    const DocumentPages noFile = countDocumentPages(m_dir / "d99999-001", "application/pdf");
    EXPECT_FALSE(noFile.pages);
    EXPECT_FALSE(noFile.reason.empty());
}

// Values cupsd accepts select what its filters print; values it refuses are malformed.
TEST(PagesInRanges, SelectsWhatCupsPrintsAndRefusesWhatCupsRefuses)
{
    struct Case {
        int total;
        const char *ranges;
        std::optional<int> selected;
    };
    const Case cases[] = {
        {10, "1-3,7,10-", 5},   {10, "2-", 9},          {10, "-3", 3},        {10, "5", 1},
        {10, "1-5,6-8", 8},     {10, "1-2147483647", 10}, {10, "8-20", 3},    {10, "11-", 0},
        {10, "12", 0},          {0, "1-3", 0},          {1, "1-1", 1},        {10, "1-2,4-", 9},
        {10, "", std::nullopt}, {10, "0", std::nullopt}, {10, "0-3", std::nullopt}, {10, "5-3", std::nullopt},
        {10, "1-5,3-8", std::nullopt}, {10, "7,1-2", std::nullopt}, {10, "2,2", std::nullopt},
        {10, "2-,5", std::nullopt}, {10, "1,,3", std::nullopt}, {10, "1-3,", std::nullopt}, {10, "a-b", std::nullopt}, {10, " 1", std::nullopt},
        {10, "-", std::nullopt}, {10, "1-2-3", std::nullopt}, {10, "99999999999999999999", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(pagesInRanges(c.total, c.ranges), c.selected) << c.total << " \"" << c.ranges << "\"";
}

} // namespace
} // namespace hvn::cupsagent
