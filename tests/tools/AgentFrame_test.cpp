#include "AgentFrame.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "JobsCsv.h"
#include "RecordBody.h"

namespace hvn::agent {
namespace {

namespace record = hvn::retriever::record;

PrintJob sampleJob()
{
    PrintJob job;
    job.time = *DbDateTime::make(2004, 4, 1, 9, 30, 15, 250);
    job.user = "alice";
    job.printer = "LP-1 3F";
    job.computer = "PC01";
    job.pages = 10;
    job.sides = 10;
    job.sheets = 5;
    return job;
}

std::string bodyOf(const std::string &frame)
{
    return frame.substr(1, frame.size() - 2);
}

TEST(AgentFrame, FieldsLandAtTheirWirePositionsBetweenStxAndEtx)
{
    const std::string frame = encodeFrame(sampleJob());
    ASSERT_EQ(frame.size(), kFrameSize);
    EXPECT_EQ(frame.front(), '\x02');
    EXPECT_EQ(frame.back(), '\x03');

    const std::string body = bodyOf(frame);
    const struct {
        record::Field field;
        std::string expected;
    } cases[] = {
        {record::kYear, "2004"},
        {record::kMonth, "04"},
        {record::kDay, "01"},
        {record::kHour, "09"},
        {record::kMinute, "30"},
        {record::kSecond, "15"},
        {record::kMillisecond, "0250"},
        {record::kDocumentPages, "0010"},
        {record::kSidesOfPaper, "0010"},
        {record::kSheetsOfPaper, "0005"},
        {record::kPrinterName, "LP-1 3F" + std::string(57, ' ')},
        {record::kUserName, "alice" + std::string(27, ' ')},
        {record::kComputerName, "PC01" + std::string(28, ' ')},
    };
    for (const auto &c : cases)
        EXPECT_EQ(record::raw(body, c.field), c.expected) << "at body position " << c.field.position;
}

// The agent and the service must agree on the layout: what one writes the other reads back.
TEST(AgentFrame, ServiceParserReadsBackEveryValueTheAgentWrote)
{
    PrintJob job = sampleJob();
    job.user = "山田　太郎";
    job.printer = "ｶﾗｰ複合機 ３階";
    job.computer = "経理-PC";
    job.pages = 9999;
    job.sides = -999;
    job.sheets = 0;
    job.time = *DbDateTime::make(1, 12, 31, 23, 59, 59, 999);

    const std::string body = bodyOf(encodeFrame(job));
    ASSERT_EQ(body.size(), record::kBodySize);
    EXPECT_EQ(record::text(body, record::kUserName), job.user);
    EXPECT_EQ(record::text(body, record::kPrinterName), job.printer);
    EXPECT_EQ(record::text(body, record::kComputerName), job.computer);
    EXPECT_EQ(record::number(record::raw(body, record::kDocumentPages)), 9999);
    EXPECT_EQ(record::number(record::raw(body, record::kSidesOfPaper)), -999);
    EXPECT_EQ(record::number(record::raw(body, record::kSheetsOfPaper)), 0);
    EXPECT_EQ(record::dateTime(body), job.time);
}

TEST(AgentFrame, TextWidthCountsCp932BytesNotCharacters)
{
    const struct {
        const char *what;
        std::string user;
        bool fits;
    } cases[] = {
        {"32 ASCII letters", std::string(32, 'a'), true},
        {"33 ASCII letters", std::string(33, 'a'), false},
        {"16 kanji (32 bytes)", [] { std::string s; for (int i = 0; i < 16; ++i) s += "山"; return s; }(), true},
        {"17 kanji (34 bytes)", [] { std::string s; for (int i = 0; i < 17; ++i) s += "山"; return s; }(), false},
        {"32 half-width katakana (1 byte each)", [] { std::string s; for (int i = 0; i < 32; ++i) s += "ｱ"; return s; }(), true},
        {"31 letters and a kanji (33 bytes)", std::string(31, 'a') + "山", false},
    };
    for (const auto &c : cases) {
        PrintJob job = sampleJob();
        job.user = c.user;
        if (c.fits)
            EXPECT_NO_THROW(encodeFrame(job)) << c.what;
        else
            EXPECT_THROW(encodeFrame(job), FrameError) << c.what;
    }
    PrintJob job = sampleJob();
    job.printer = std::string(64, 'p');
    EXPECT_NO_THROW(encodeFrame(job));
    job.printer += 'p';
    EXPECT_THROW(encodeFrame(job), FrameError);
}

TEST(AgentFrame, CountsAreZeroPaddedAndRejectedBeyondFourPositions)
{
    const struct {
        int value;
        const char *wire; // nullptr: does not fit
    } cases[] = {
        {0, "0000"}, {7, "0007"}, {9999, "9999"}, {10000, nullptr},
        {-5, "-005"}, {-999, "-999"}, {-1000, nullptr},
    };
    for (const auto &c : cases) {
        PrintJob job = sampleJob();
        job.sheets = c.value;
        if (!c.wire) {
            EXPECT_THROW(encodeFrame(job), FrameError) << c.value;
            continue;
        }
        const std::string body = bodyOf(encodeFrame(job));
        EXPECT_EQ(record::raw(body, record::kSheetsOfPaper), c.wire) << c.value;
    }
}

TEST(AgentFrame, TextsTheWireCannotCarryAreRejected)
{
    const struct {
        const char *what;
        std::string computer;
    } cases[] = {
        {"emoji outside CP932", "PC\xF0\x9F\x96\xA8"},
        {"invalid UTF-8", "PC\xFF"},
        {"STX would cut the frame", "PC\x02"},
        {"ETX would end the frame", "PC\x03"},
        {"NUL would cut the read", std::string("PC\0X", 4)},
        {"tab would be trimmed away", "PC\t01"},
    };
    for (const auto &c : cases) {
        PrintJob job = sampleJob();
        job.computer = c.computer;
        EXPECT_THROW(encodeFrame(job), FrameError) << c.what;
    }
}

TEST(AgentFrame, InvalidTimeIsRejected)
{
    PrintJob job = sampleJob();
    job.time = DbDateTime{2003, 2, 29, 0, 0, 0, 0};
    EXPECT_THROW(encodeFrame(job), FrameError);
}

TEST(JobsCsv, ReadsQuotedFieldsCrLfLinesByteOrderMarkAndBlankLines)
{
    std::istringstream in("\xEF\xBB\xBFtime,user,printer,computer,pages,sides,sheets\r\n"
                          "2004-04-01 09:30:15.250,山田,\"LP, 3F \"\"color\"\"\",PC01,10,10,5\r\n"
                          "\r\n"
                          "2005-01-31 23:59:59.999,\"\",P2,,1,2,-3\n");
    const std::vector<PrintJob> jobs = readJobsCsv(in);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].time, *DbDateTime::make(2004, 4, 1, 9, 30, 15, 250));
    EXPECT_EQ(jobs[0].user, "山田");
    EXPECT_EQ(jobs[0].printer, "LP, 3F \"color\"");
    EXPECT_EQ(jobs[0].computer, "PC01");
    EXPECT_EQ(jobs[0].pages, 10);
    EXPECT_EQ(jobs[0].sides, 10);
    EXPECT_EQ(jobs[0].sheets, 5);
    EXPECT_EQ(jobs[1].user, "");
    EXPECT_EQ(jobs[1].computer, "");
    EXPECT_EQ(jobs[1].sheets, -3);
}

TEST(JobsCsv, MalformedFilesAreRejectedNamingTheLine)
{
    const std::string header = "time,user,printer,computer,pages,sides,sheets\n";
    const struct {
        const char *what;
        std::string text;
        const char *mentions;
    } cases[] = {
        {"empty file", "", "line 1"},
        {"wrong header", "time,user,printer\n", "line 1"},
        {"too few fields", header + "2004-04-01 09:30:15.250,u,p,c,1,1\n", "line 2"},
        {"too many fields", header + "2004-04-01 09:30:15.250,u,p,c,1,1,1,1\n", "line 2"},
        {"time without milliseconds", header + "2004-04-01 09:30:15,u,p,c,1,1,1\n", "line 2"},
        {"impossible date", header + "2004-02-30 09:30:15.000,u,p,c,1,1,1\n", "line 2"},
        {"count with letters", header + "2004-04-01 09:30:15.250,u,p,c,1x,1,1\n", "line 2"},
        {"empty count", header + "2004-04-01 09:30:15.250,u,p,c,,1,1\n", "line 2"},
        {"count beyond int", header + "2004-04-01 09:30:15.250,u,p,c,99999999999,1,1\n", "line 2"},
        {"unterminated quote", header + "\n2004-04-01 09:30:15.250,\"u,p,c,1,1,1\n", "line 3"},
        {"text after closing quote", header + "2004-04-01 09:30:15.250,\"u\"x,p,c,1,1,1\n", "line 2"},
    };
    for (const auto &c : cases) {
        std::istringstream in(c.text);
        try {
            readJobsCsv(in);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const JobsError &e) {
            EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
}

} // namespace
} // namespace hvn::agent
