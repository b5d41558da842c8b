#include "E2eSupport.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "TcpSocket.h"

namespace hvn::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path retrieverProgram() { return HVN_RETRIEVER_PROGRAM; }
fs::path agentProgram() { return HVN_AGENT_PROGRAM; }
fs::path setupProgram() { return HVN_SETUP_PROGRAM; }

std::uint16_t freePort()
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    return platform::localPort(fd.get());
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Installation::Installation() : m_port(freePort()), m_consolePort(freePort())
{
    while (m_consolePort == m_port)
        m_consolePort = freePort();
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
    SQLite::Database db(database().string(), SQLite::OPEN_READONLY);
    db.setBusyTimeout(10000);
    SQLite::Statement query(db, sql);
    std::vector<std::string> result;
    while (query.executeStep()) {
        std::string row;
        for (int i = 0; i < query.getColumnCount(); ++i) {
            const SQLite::Column column = query.getColumn(i);
            row += (i ? "|" : "") + (column.isNull() ? std::string("NULL") : column.getString());
        }
        result.push_back(std::move(row));
    }
    return result;
}

std::int64_t Installation::count(const std::string &table) const
{
    return std::stoll(rows("SELECT COUNT(*) FROM " + table).at(0));
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

NotifyListener::NotifyListener(fs::path path) : m_path(std::move(path))
{
    m_fd.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string p = m_path.string();
    if (!m_fd || p.size() >= sizeof addr.sun_path)
        throw std::runtime_error("cannot create the notification socket " + p);
    p.copy(addr.sun_path, p.size());
    if (::bind(m_fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind " + p);
}

NotifyListener::~NotifyListener()
{
    std::error_code ec;
    fs::remove(m_path, ec);
}

std::string NotifyListener::environment() const
{
    return "NOTIFY_SOCKET=" + m_path.string();
}

bool NotifyListener::waitFor(std::string_view line, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || platform::waitReadable(m_fd.get(), left) != platform::WaitResult::Ready)
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            continue;
        const std::string message = "\n" + std::string(buffer, static_cast<std::size_t>(n)) + "\n";
        if (message.find("\n" + std::string(line) + "\n") != std::string::npos)
            return true;
    }
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

platform::UniqueFd connectLoopback(std::uint16_t port)
{
    return platform::connectTcp("127.0.0.1", port);
}

void sendBytes(int fd, std::string_view bytes)
{
    if (!platform::sendAll(fd, bytes))
        throw std::system_error(errno, std::generic_category(), "send");
}

std::string receiveSome(int fd, std::chrono::milliseconds timeout)
{
    if (platform::waitReadable(fd, timeout) != platform::WaitResult::Ready)
        return {};
    char buffer[256];
    const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool peerClosed(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[256];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || platform::waitReadable(fd, left) != platform::WaitResult::Ready)
            return false;
        if (platform::recvSome(fd, buffer, sizeof buffer) <= 0)
            return true;
    }
}

} // namespace hvn::e2e
