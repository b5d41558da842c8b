#include "E2eSupport.h"

#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "DatabaseRows.h"

namespace hvn::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path retrieverProgram() { return HVN_RETRIEVER_PROGRAM; }
fs::path agentProgram() { return HVN_AGENT_PROGRAM; }
fs::path setupProgram() { return HVN_SETUP_PROGRAM; }

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Installation::Installation() : m_port(test::freePort()), m_consolePort(test::freePort())
{
    fs::create_directory(unitDirectory());
    const RunResult setup = run({setupProgram().string(), "init", "--database", database().string(), "--port",
                                 std::to_string(m_port), "--console-port", std::to_string(m_consolePort)});
    if (setup.status != 0)
        throw std::runtime_error("hvnSetup init failed: " + setup.err);
}

std::vector<std::string> Installation::environment() const
{
    return {"HALVANE_REGISTRY=" + registry().string(), "HALVANE_SYSTEMD_DIR=" + unitDirectory().string()};
}

RunResult Installation::run(std::vector<std::string> argv, std::vector<std::string> extraEnv,
                            std::chrono::milliseconds timeout) const
{
    static int serial = 0;
    const std::string tag = std::to_string(++serial);
    platform::SpawnOptions options;
    options.argv = std::move(argv);
    options.setEnv = environment();
    options.setEnv.insert(options.setEnv.end(), extraEnv.begin(), extraEnv.end());
    options.unsetEnv = {"NOTIFY_SOCKET"};
    options.stdoutPath = dir() / ("run" + tag + ".out");
    options.stderrPath = dir() / ("run" + tag + ".err");
    platform::ChildProcess child = platform::ChildProcess::spawn(options);
    RunResult result;
    result.status = child.wait(timeout).value_or(-1);
    result.out = readFile(options.stdoutPath);
    result.err = readFile(options.stderrPath);
    return result;
}

RunResult Installation::agent(std::vector<std::string> options) const
{
    std::vector<std::string> argv = {agentProgram().string(), "--host", "127.0.0.1", "--port",
                                     std::to_string(m_port)};
    argv.insert(argv.end(), options.begin(), options.end());
    return run(std::move(argv));
}

std::vector<std::string> Installation::rows(const std::string &sql) const
{
    return test::queryRows(database(), sql);
}

std::int64_t Installation::count(const std::string &table) const
{
    return test::countRows(database(), table);
}

bool Installation::waitForCount(const std::string &table, std::int64_t n,
                                std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (count(table) < n) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

RetrieverProcess::RetrieverProcess(const Installation &installation, std::vector<std::string> extraEnv)
    : m_errPath(installation.dir() / "retriever.err"), m_notify(installation.dir() / "notify.sock")
{
    platform::SpawnOptions options;
    options.argv = {retrieverProgram().string()};
    options.setEnv = installation.environment();
    options.setEnv.push_back(m_notify.environment());
    options.setEnv.insert(options.setEnv.end(), extraEnv.begin(), extraEnv.end());
    options.stdoutPath = installation.dir() / "retriever.out";
    options.stderrPath = m_errPath;
    m_child = platform::ChildProcess::spawn(options);
}

std::optional<int> RetrieverProcess::stop(std::chrono::milliseconds timeout)
{
    m_child.signal(SIGTERM);
    return m_child.wait(timeout);
}

std::string RetrieverProcess::errText() const
{
    return readFile(m_errPath);
}

} // namespace hvn::e2e
