// Cutting the agents' byte stream into records: ExtractRecord, the carry-over between reads,
// and the field parsing of a record body.
#include "Newserverthread.h"

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RecordBody.h"

namespace hvn::retriever {
namespace {

const std::string kStx = "\x02";
const std::string kEtx = "\x03";

// Feeds the reads one after another and returns every record handed on, in order.
std::vector<std::string> cut(const std::vector<std::string> &reads, std::string *carryOut = nullptr)
{
    std::string carry;
    std::vector<std::string> records;
    for (const std::string &read : reads)
        TNewServerThread::CutRecords(carry, read, [&](std::string_view body) { records.emplace_back(body); });
    if (carryOut)
        *carryOut = carry;
    return records;
}

std::string body(char fill, std::size_t size = record::kBodySize)
{
    return std::string(size, fill);
}

TEST(ExtractRecord, ReturnsPositionAfterEtxOrZeroWithTheUnterminatedStart)
{
    struct Case {
        std::string text;
        int length;
        int start;
        int expectedResult;
        std::string expectedRecord;
    };
    const std::vector<Case> cases = {
        {"\x02" "abc" "\x03" "zz", 6, 1, 6, "abc"},
        {"xx\x02" "abc" "\x03", 7, 1, 8, "abc"},              // junk before the STX
        {"\x02" "ab" "\x02" "cd" "\x03", 7, 1, 8, "cd"},      // a second STX starts again
        {"\x02" "ab" "\x03" "\x02" "cd" "\x03", 8, 5, 9, "cd"}, // scanning from a later position
        {"\x02" "abc", 4, 1, 0, "\x02" "abc"},                // unterminated: kept with its STX
        {"junk", 4, 1, 0, ""},                                // nothing open, nothing kept
        {"\x03", 1, 1, 2, ""},                                // stray ETX: an empty record
        {"\x02" "ab", 9, 1, 0, "\x02" "ab"},                  // length past the text's end
        {"\x02" "abc" "\x03", 3, 1, 0, "\x02" "ab"},          // length stops before the ETX
    };
    for (const Case &c : cases) {
        std::string record;
        EXPECT_EQ(TNewServerThread::ExtractRecord(c.text, c.length, c.start, record), c.expectedResult)
            << "text " << testing::PrintToString(c.text);
        EXPECT_EQ(record, c.expectedRecord) << "text " << testing::PrintToString(c.text);
    }
}

TEST(CutRecords, TwoFramesSplitAtEveryOffsetGiveBothBodiesOnce)
{
    const std::string first = body('a');
    const std::string second = body('b');
    const std::string stream = kStx + first + kEtx + kStx + second + kEtx;
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        const auto records = cut({stream.substr(0, split), stream.substr(split)});
        EXPECT_EQ(records, (std::vector<std::string>{first, second})) << "split at " << split;
    }
}

TEST(CutRecords, JunkStrayEtxAndRestartedRecordsAreNotStored)
{
    const std::string stream = "noise" + kEtx + kStx + kEtx + kStx + "partial" + kStx + body('c') + kEtx +
                               "between" + kStx + body('d') + kEtx + "tail";
    EXPECT_EQ(cut({stream}), (std::vector<std::string>{body('c'), body('d')}));
}

TEST(CutRecords, NulLosesTheRestOfItsReadOnly)
{
    const std::string frame = kStx + body('e') + kEtx;
    // The NUL cuts the first frame's end off; the carry-over is broken and is replaced by the
    // next read's STX.
    const std::string firstRead = frame.substr(0, 50) + std::string(1, '\0') + frame.substr(51);
    EXPECT_EQ(cut({firstRead, frame}), std::vector<std::string>{body('e')});
    // A NUL after a complete frame loses nothing of it.
    EXPECT_EQ(cut({frame + std::string(1, '\0') + frame}), std::vector<std::string>{body('e')});
}

TEST(CutRecords, CarryOverOfAnEndlessRecordStaysBounded)
{
    std::string carry;
    std::vector<std::string> records;
    auto collect = [&](std::string_view b) { records.emplace_back(b); };
    TNewServerThread::CutRecords(carry, kStx + body('s', 999), collect);
    for (int i = 0; i < 2000; ++i) { // 2 MB without an ETX
        TNewServerThread::CutRecords(carry, body('s', 1000), collect);
        ASSERT_LE(carry.size(), TNewServerThread::kMaxCarryOver);
    }
    EXPECT_TRUE(records.empty());
    // Its ETX ends it with the fields at the front intact, and the stream goes on.
    TNewServerThread::CutRecords(carry, kEtx + kStx + body('t') + kEtx, collect);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].substr(0, record::kBodySize), body('s'));
    EXPECT_EQ(records[1], body('t'));
    EXPECT_TRUE(carry.empty());
}

// The carry-over keeps only what a record can use, yet whatever the reads, the records handed
// on are those of the whole stream cut at once, with the fields a body uses.
TEST(CutRecords, BoundedCarryOverGivesTheRecordsOfTheWholeStreamWhateverTheReads)
{
    std::mt19937 random(12);
    for (int trial = 0; trial < 40; ++trial) {
        std::string stream;
        for (int piece = 0; piece < 12; ++piece) {
            stream += std::string(random() % 50, 'j');
            stream += kStx + std::string(random() % 3000, static_cast<char>('a' + random() % 26));
            if (random() % 4 != 0)
                stream += kEtx;
        }
        std::vector<std::string> expected;
        std::string record;
        for (int position = 1;;) {
            const int next = TNewServerThread::ExtractRecord(stream, static_cast<int>(stream.size()), position, record);
            if (next == 0)
                break;
            if (!record.empty())
                expected.push_back(record.substr(0, record::kBodySize));
            record.clear();
            position = next;
        }

        std::string carry;
        std::vector<std::string> records;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t size = std::min<std::size_t>(1 + random() % TNewServerThread::kReadSize, stream.size() - at);
            TNewServerThread::CutRecords(carry, stream.substr(at, size),
                                         [&](std::string_view body) { records.emplace_back(body); });
            ASSERT_LE(carry.size(), TNewServerThread::kMaxCarryOver);
            at += size;
        }
        ASSERT_EQ(records, expected) << "trial " << trial;
    }
}

TEST(RecordBody, NumbersAreRightAlignedWithOptionalSign)
{
    const std::vector<std::pair<std::string, std::optional<int>>> cases = {
        {"   7", 7},  {"0007", 7},   {"  -3", -3},  {"+012", 12},  {"2004", 2004},
        {"7   ", {}}, {"  7 ", {}},  {"ab12", {}},  {"12ab", {}},  {"    ", {}},
        {"", {}},     {" - 7", {}},  {"--7", {}},   {"1 2", {}},   {"\t7", {}},
        {"7", 7},     {"-", {}},
    };
    for (const auto &[field, expected] : cases)
        EXPECT_EQ(record::number(field), expected) << "field '" << field << "'";
}

TEST(RecordBody, TextFieldsAreTrimmedOfControlBytesAndDecodedFromCp932)
{
    std::string body(record::kBodySize, ' ');
    body.replace(94, 12, "\t\x01 \x8e\x52\x93\x63 x\x1f  "); // "山田 x" in CP932 between control bytes
    EXPECT_EQ(record::text(body, record::kUserName), "山田 x");
    body.replace(94, 4, "\xff\x81 a"); // 0xFF is not CP932; 0x81 is a lead byte without its trail
    EXPECT_EQ(record::text(body, record::kUserName).substr(0, 6), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // A short body: a field partly present takes what is there, one wholly missing is empty.
    EXPECT_EQ(record::text(std::string(100, 'n'), record::kUserName), "nnnnnn");
    EXPECT_EQ(record::text(std::string(90, 'n'), record::kUserName), "");
}

TEST(RecordBody, DateTimeRejectsImpossibleValues)
{
    auto dateOf = [](const std::string &first18) {
        std::string body(record::kBodySize, ' ');
        body.replace(0, first18.size(), first18);
        return record::dateTime(body);
    };
    EXPECT_EQ(dateOf("200404010930150250")->toText(), "2004-04-01 09:30:15.250");
    EXPECT_EQ(dateOf("2004 4 1 9 1 2   7")->toText(), "2004-04-01 09:01:02.007");
    EXPECT_EQ(dateOf("200002291200000000")->toText(), "2000-02-29 12:00:00.000");
    for (const char *invalid : {"200413010930150250", "200400010930150250", "200404320930150250",
                                "190002290930150250", "200404012430150250", "200404010960150250",
                                "200404010930601000", "000004010930150250", "20x404010930150250",
                                "2004040109301502  ", ""})
        EXPECT_FALSE(dateOf(invalid)) << invalid;
}

} // namespace
} // namespace hvn::retriever
