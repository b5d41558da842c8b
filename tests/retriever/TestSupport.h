#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Dmregistry.h"
#include "Loopback.h"
#include "RecordBody.h"
#include "RecordKeeper.h"
#include "TempDir.h"
#include "WaitUntil.h"

namespace hvn::retriever::test {

// The shared helpers, under the names these tests use.
using hvn::test::connectLoopback;
using hvn::test::finishAndWaitForClose;
using hvn::test::peerClosed;
using hvn::test::receiveSome;
using hvn::test::sendBytes;
using hvn::test::waitUntil;

// A database file with the four tables and a settings file whose DatabasePath names it, with
// PortNumber and PortNumberConsole 0 (free ports).
class TestDatabase {
public:
    TestDatabase();
    const std::filesystem::path &databasePath() const { return m_databasePath; }
    TdmRegistryCtl registry() const { return TdmRegistryCtl(m_registryPath); }
    // A settings file in the same folder whose DatabasePath names a file that does not exist.
    TdmRegistryCtl brokenRegistry() const;

    // Runs SQL on a connection of its own.
    void exec(const std::string &sql) const;
    // Every row of the query, each as its columns joined by '|' (NULL as "NULL").
    std::vector<std::string> rows(const std::string &sql) const;
    std::int64_t count(const std::string &table) const;

private:
    hvn::test::TempDir m_dir;
    std::filesystem::path m_databasePath;
    std::filesystem::path m_registryPath;
};

// Builds record bodies and frames. Texts are given in UTF-8 and put on the wire in CP932.
class Frame {
public:
    // A valid record: 2004-04-01 09:30:15.250, 10 pages, 10 sides, 5 sheets.
    Frame(std::string_view user = "alice", std::string_view printer = "LP1",
          std::string_view computer = "PC01");

    Frame &user(std::string_view utf8);
    Frame &printer(std::string_view utf8);
    Frame &computer(std::string_view utf8);
    // Raw bytes for a field, put as they are (blank-padded on the right when short).
    Frame &raw(record::Field field, std::string_view bytes);

    const std::string &body() const { return m_body; }
    std::string frame() const; // STX + body + ETX

private:
    std::string m_body;
};

// Bytes of the frames, back to back.
std::string frames(const std::vector<Frame> &list);

// True while some thread owns the named mutex hvnDatabase.
bool databaseMutexBusy();

// The event log of a RecordKeeper under test, with its times shortened. Must outlive the
// keepers it configures. Thread safe.
class KeeperLog {
public:
    RecordKeeper::Options options(std::chrono::milliseconds busyTimeout = std::chrono::milliseconds(200),
                                  std::chrono::milliseconds retryInterval = std::chrono::milliseconds(50));
    // Every entry so far, in order.
    std::vector<std::string> entries() const;
    // Polls until an entry contains part.
    bool waitFor(std::string_view part, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries; // guarded by m_mutex
};

// A started RecordKeeper for the test database, logging into log.
std::shared_ptr<RecordKeeper> startedKeeper(const TdmRegistryCtl &registry, KeeperLog &log);

} // namespace hvn::retriever::test
