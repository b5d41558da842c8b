#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Dmregistry.h"
#include "RecordBody.h"
#include "UniqueFd.h"

namespace hvn::retriever::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A database file with the four tables and a settings file whose DatabasePath names it.
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
    TempDir m_dir;
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

// A loopback client connection to 127.0.0.1:port.
platform::UniqueFd connectLoopback(std::uint16_t port);
void sendBytes(int fd, std::string_view bytes);
// Half-closes the sending side and waits until the peer closes (reads and drops its bytes).
// False when the peer has not closed within timeout.
bool finishAndWaitForClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Reads what arrives within timeout, up to the peer closing; "" on silence.
std::string receiveSome(int fd, std::chrono::milliseconds timeout);
// True when the peer has closed the connection within timeout.
bool peerClosed(int fd, std::chrono::milliseconds timeout);

// Polls predicate until true or timeout; returns its last value.
bool waitUntil(const std::function<bool()> &predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// True while some thread owns the named mutex hvnDatabase.
bool databaseMutexBusy();

} // namespace hvn::retriever::test
