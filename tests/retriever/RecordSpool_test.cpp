// The spool of kept print records: what survives the end of a run, a torn tail, a damaged file.
#include "RecordSpool.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace hvn::retriever {
namespace {

namespace fs = std::filesystem;

// Empties the spool as a drain would, returning the bodies in the order they left.
std::vector<std::string> drainAll(RecordSpool &spool)
{
    std::vector<std::string> bodies;
    while (auto next = spool.front()) {
        bodies.push_back(next->body);
        spool.markStored(next->seq);
    }
    return bodies;
}

class RecordSpoolTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path path = dir.path() / "hvnDatabase.db.spool";
};

TEST_F(RecordSpoolTest, KeptRecordsSurviveReopeningInOrderAndLeaveOnceStored)
{
    std::uintmax_t emptySize = 0;
    {
        RecordSpool spool(path);
        emptySize = fs::file_size(path);
        ASSERT_TRUE(spool.append({"first", "second"}));
        ASSERT_TRUE(spool.append({std::string(158, 'x')}));
        spool.markStored(spool.front()->seq);
    }
    {
        RecordSpool spool(path);
        EXPECT_EQ(spool.size(), 2u);
        EXPECT_EQ(spool.discardedBytes(), 0u);
        ASSERT_TRUE(spool.append({"fourth"}));
        EXPECT_EQ(drainAll(spool), (std::vector<std::string>{"second", std::string(158, 'x'), "fourth"}));
        EXPECT_EQ(fs::file_size(path), emptySize) << "an empty spool keeps stored entries";
    }
    EXPECT_TRUE(RecordSpool(path).empty());
}

// A crash may end the file anywhere inside its last entry, or leave garbage there: the entry
// is cut off, those before it stay, and records kept afterwards are found again.
TEST_F(RecordSpoolTest, TornOrDamagedTailIsCutOffAndLaterRecordsAreKeptAgain)
{
    std::uintmax_t before = 0;
    std::uintmax_t after = 0;
    {
        RecordSpool spool(path);
        ASSERT_TRUE(spool.append({"kept"}));
        before = fs::file_size(path);
        ASSERT_TRUE(spool.append({"torn"}));
        after = fs::file_size(path);
    }
    std::string whole;
    {
        std::ifstream in(path, std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::pair<std::string, std::string>> variants;
    for (std::uintmax_t size = before; size < after; ++size)
        variants.emplace_back("cut to " + std::to_string(size), whole.substr(0, size));
    for (std::uintmax_t at = before; at < after; at += 3) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        variants.emplace_back("byte " + std::to_string(at) + " flipped", damaged);
    }
    for (const auto &[what, bytes] : variants) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        {
            RecordSpool spool(path);
            EXPECT_EQ(spool.discardedBytes(), bytes.size() - before) << what;
            ASSERT_EQ(spool.size(), 1u) << what;
            ASSERT_TRUE(spool.append({"later"}));
        }
        RecordSpool spool(path);
        EXPECT_EQ(spool.discardedBytes(), 0u) << what;
        EXPECT_EQ(drainAll(spool), (std::vector<std::string>{"kept", "later"})) << what;
    }
}

TEST_F(RecordSpoolTest, AttemptNoteOfTheOldestRecordSurvivesTheEndOfARun)
{
    {
        RecordSpool spool(path);
        ASSERT_TRUE(spool.append({"a", "b"}));
        spool.noteAttempt(spool.front()->seq, 41);
    }
    RecordSpool spool(path);
    EXPECT_EQ(spool.front()->attemptedAfterRow, 41);
    spool.markStored(spool.front()->seq);
    EXPECT_EQ(spool.front()->body, "b");
    EXPECT_EQ(spool.front()->attemptedAfterRow, std::nullopt);
}

TEST_F(RecordSpoolTest, ForeignFileOrOneInUseIsRefused)
{
    {
        RecordSpool spool(path);
        EXPECT_THROW(RecordSpool second(path), std::system_error) << "two services on one spool";
    }
    const fs::path foreign = dir.path() / "foreign";
    std::ofstream(foreign, std::ios::binary) << "SQLite format 3";
    EXPECT_THROW(RecordSpool spool(foreign), std::runtime_error);
    // A file that a run created but never wrote is a fresh spool.
    fs::resize_file(path, 0);
    EXPECT_TRUE(RecordSpool(path).empty());
}

} // namespace
} // namespace hvn::retriever
