// Keeping records that the database cannot take, on real files: a crash in the middle of
// storing a kept record, and a disk that fills up.
#include "RecordKeeper.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "Connection.h"
#include "DatabaseRows.h"
#include "Dmfdatabase.h"
#include "NamedMutex.h"
#include "Newserverthread.h"
#include "Schema.h"
#include "ServerSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

namespace fs = std::filesystem;
using test::Frame;
using test::waitUntil;

// The run before ended right after it noted the attempt, with or without the commit: the next
// run stores the record exactly once.
TEST(RecordKeeper, RecordCaughtBetweenItsAttemptNoteAndItsStoredNoteIsStoredExactlyOnce)
{
    for (const bool committed : {false, true}) {
        test::TestDatabase files;
        files.exec("INSERT INTO tblPrintingData (UserID, dbDateTime) VALUES (9, '2001-01-01 00:00:00.000')");
        {
            RecordSpool spool(RecordKeeper::SpoolPathFor(files.databasePath()));
            ASSERT_TRUE(spool.append({Frame("crash").body(), Frame("after").body()}));
            TdmDatabase database(files.registry());
            spool.noteAttempt(spool.front()->seq, database.LastPrintRow());
            if (committed) {
                ASSERT_EQ(TNewServerThread::StoreRecord(database, Frame("crash").body()).kind,
                          TNewServerThread::StoreResult::Kind::Stored);
            }
        }
        test::KeeperLog log;
        const auto keeper = test::startedKeeper(files.registry(), log);
        ASSERT_TRUE(waitUntil([&] { return keeper->keptRecords() == 0; })) << "committed " << committed;
        EXPECT_EQ(files.rows("SELECT u.UserName FROM tblPrintingData d JOIN tblUserInfo u ON u.UserID = d.UserID"
                             " ORDER BY d.rowid"),
                  (std::vector<std::string>{"crash", "after"}))
            << "committed " << committed;
    }
}

// A long spool is stored a batch per hold of the mutex: a console that asks meanwhile gets it
// after one batch, not after the whole spool.
TEST(RecordKeeper, LongSpoolIsStoredABatchPerHoldOfTheMutex)
{
    test::TestDatabase files;
    const std::size_t kKept = RecordKeeper::kDrainBatch + 50;
    {
        RecordSpool spool(RecordKeeper::SpoolPathFor(files.databasePath()));
        ASSERT_TRUE(spool.append(std::vector<std::string>(kKept, Frame().body())));
    }
    platform::NamedMutex mutex(kDatabaseMutexName);
    auto held = std::make_unique<platform::NamedMutexLock>(mutex);
    test::KeeperLog log;
    const auto keeper = test::startedKeeper(files.registry(), log);
    ASSERT_TRUE(waitUntil([&] { return mutex.waiters() == 1; }));
    std::size_t keptWhenGranted = 0;
    std::thread console([&] {
        platform::NamedMutexLock lock{platform::NamedMutex(kDatabaseMutexName)};
        keptWhenGranted = keeper->keptRecords();
    });
    ASSERT_TRUE(waitUntil([&] { return mutex.waiters() == 2; }));
    held.reset();
    console.join();
    EXPECT_EQ(keptWhenGranted, kKept - RecordKeeper::kDrainBatch);
    ASSERT_TRUE(waitUntil([&] { return keeper->keptRecords() == 0; }));
    EXPECT_EQ(files.count("tblPrintingData"), static_cast<std::int64_t>(kKept));
}

// Takes away the small file system a test mounted.
struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
};

TEST(RecordKeeper, FullDiskKeepsRecordsInTheReservedSpoolUntilSpaceReturns)
{
    hvn::test::TempDir dir;
    const fs::path small = dir.path() / "small";
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=6m") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    const Unmount unmount{small};
    const fs::path database = small / "hvnDatabase.db";
    {
        SQLite::Database db(database.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db::applyDurability(db);
        schema::createSchema(db);
    }
    const TdmRegistryCtl registry(dir.path() / "registry.reg");
    ASSERT_TRUE(registry.SetRegistryString("DatabasePath", database.string()));
    test::KeeperLog log;
    const auto keeper = test::startedKeeper(registry, log);
    TServerSocket server([&] { return std::make_unique<TNewServerThread>(keeper); }, 0);
    server.Open();
    SQLite::Database reader(database.string(), SQLite::OPEN_READONLY);
    reader.exec("SELECT COUNT(*) FROM tblPrintingData");

    const fs::path filler = small / "filler";
    {
        const platform::UniqueFd fd(::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        const std::string block(4096, 'f');
        while (::write(fd.get(), block.data(), block.size()) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
    }
    // More than the spool's first page holds, so that keeping them needs the reserve.
    constexpr int kRecords = 60;
    std::vector<Frame> jobs;
    for (int i = 0; i < kRecords; ++i)
        jobs.emplace_back("u" + std::to_string(i));
    const auto agent = test::connectLoopback(server.LocalPort());
    test::sendBytes(agent.get(), test::frames(jobs));
    ASSERT_TRUE(test::finishAndWaitForClose(agent.get()));
    EXPECT_EQ(keeper->keptRecords(), static_cast<std::size_t>(kRecords));
    EXPECT_TRUE(log.waitFor("print records are kept in"));
    EXPECT_EQ(hvn::test::countRows(database, "tblPrintingData"), 0);

    fs::remove(filler);
    ASSERT_TRUE(waitUntil([&] { return keeper->keptRecords() == 0; }));
    EXPECT_EQ(hvn::test::countRows(database, "tblPrintingData"), kRecords);
    EXPECT_TRUE(log.waitFor(std::to_string(kRecords) + " print records kept in"));
}

} // namespace
} // namespace hvn::retriever
