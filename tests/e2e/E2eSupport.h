#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Loopback.h"
#include "NotifyListener.h"
#include "TempDir.h"

namespace hvn::e2e {

// The built programs under test.
std::filesystem::path retrieverProgram();
std::filesystem::path agentProgram();
std::filesystem::path setupProgram();

// The shared helpers, under the names these tests use.
using hvn::test::connectLoopback;
using hvn::test::peerClosed;
using hvn::test::receiveSome;
using hvn::test::sendBytes;

struct RunResult {
    int status = -1; // -1: did not end within its time and was killed
    std::string out;
    std::string err;
};

// A temporary folder holding a settings file and a database made by hvnSetup, with free
// ports. Every program started through it gets HALVANE_REGISTRY for these settings and
// HALVANE_SYSTEMD_DIR for a unit folder of its own, so no test reaches the machine's
// service manager.
class Installation {
public:
    Installation();

    const std::filesystem::path &dir() const { return m_dir.path(); }
    std::filesystem::path registry() const { return m_dir.path() / "registry.reg"; }
    std::filesystem::path database() const { return m_dir.path() / "hvnDatabase.db"; }
    std::filesystem::path unitDirectory() const { return m_dir.path() / "units"; }
    std::uint16_t port() const { return m_port; }
    std::uint16_t consolePort() const { return m_consolePort; }

    std::vector<std::string> environment() const;

    // Runs a program to its end with this installation's environment plus extraEnv.
    RunResult run(std::vector<std::string> argv, std::vector<std::string> extraEnv = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // hvnAgent with --host 127.0.0.1 --port <port> and the given options.
    RunResult agent(std::vector<std::string> options) const;

    // Every row of the query, columns joined by '|' (NULL as "NULL").
    std::vector<std::string> rows(const std::string &sql) const;
    std::int64_t count(const std::string &table) const;
    // Polls until the table holds at least n rows; false after timeout.
    bool waitForCount(const std::string &table, std::int64_t n,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    test::TempDir m_dir;
    std::uint16_t m_port = 0;
    std::uint16_t m_consolePort = 0;
};

// hvnRetriever serving in the foreground for one test; killed if the test leaves it running.
class RetrieverProcess {
public:
    explicit RetrieverProcess(const Installation &installation, std::vector<std::string> extraEnv = {});

    test::NotifyListener &notifications() { return m_notify; }
    bool waitReady() { return m_notify.waitFor("READY=1"); }
    bool signal(int signalNumber) { return m_child.signal(signalNumber); }
    std::optional<int> wait(std::chrono::milliseconds timeout) { return m_child.wait(timeout); }
    // SIGTERM, then the exit status; nullopt when it has not ended within timeout.
    std::optional<int> stop(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::string errText() const;

private:
    std::filesystem::path m_errPath;
    test::NotifyListener m_notify;
    platform::ChildProcess m_child;
};

std::string readFile(const std::filesystem::path &path);

} // namespace hvn::e2e
