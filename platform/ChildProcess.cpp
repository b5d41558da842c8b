#include "ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "UniqueFd.h"

extern char **environ;

namespace hvn::platform {

namespace {

std::string_view nameOf(std::string_view entry)
{
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> childEnvironment(const SpawnOptions &options)
{
    std::vector<std::string> env;
    for (char **e = environ; e && *e; ++e)
        env.emplace_back(*e);
    auto drop = [&env](std::string_view name) {
        std::erase_if(env, [name](const std::string &entry) { return nameOf(entry) == name; });
    };
    for (const std::string &name : options.unsetEnv)
        drop(name);
    // A later entry for the same name wins.
    for (const std::string &entry : options.setEnv) {
        drop(nameOf(entry));
        env.push_back(entry);
    }
    return env;
}

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

int statusOf(int rawStatus)
{
    if (WIFEXITED(rawStatus))
        return WEXITSTATUS(rawStatus);
    if (WIFSIGNALED(rawStatus))
        return 128 + WTERMSIG(rawStatus);
    return 255;
}

// RAII for the two posix_spawn attribute objects.
class SpawnSetup {
public:
    SpawnSetup()
    {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attr);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

} // namespace

ChildProcess::~ChildProcess()
{
    killAndReap();
}

ChildProcess::ChildProcess(ChildProcess &&other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_status(std::exchange(other.m_status, std::nullopt))
{
}

ChildProcess &ChildProcess::operator=(ChildProcess &&other) noexcept
{
    if (this != &other) {
        killAndReap();
        m_pid = std::exchange(other.m_pid, -1);
        m_status = std::exchange(other.m_status, std::nullopt);
    }
    return *this;
}

ChildProcess ChildProcess::spawn(const SpawnOptions &options)
{
    if (options.argv.empty())
        throw std::system_error(EINVAL, std::generic_category(), "spawn: no program given");

    SpawnSetup setup;
    // The service host blocks its stop signals in every thread; a child must not inherit that.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGPIPE, SIGCHLD})
        sigaddset(&defaults, s);
    ::posix_spawnattr_setsigmask(&setup.attr, &none);
    ::posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    ::posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // Output files are opened here, not in the child, so that a bad path reaches the caller.
    std::vector<UniqueFd> outputFds;
    auto openOutput = [&](const std::filesystem::path &path, int targetFd) {
        if (path.empty())
            return;
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd)
            throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
        // dup2 onto the target clears FD_CLOEXEC on the copy; the original closes at exec.
        ::posix_spawn_file_actions_adddup2(&setup.actions, fd.get(), targetFd);
        outputFds.push_back(std::move(fd));
    };
    if (options.stdinFd >= 0)
        ::posix_spawn_file_actions_adddup2(&setup.actions, options.stdinFd, STDIN_FILENO);
    if (options.stdoutFd >= 0)
        ::posix_spawn_file_actions_adddup2(&setup.actions, options.stdoutFd, STDOUT_FILENO);
    else
        openOutput(options.stdoutPath, STDOUT_FILENO);
    openOutput(options.stderrPath, STDERR_FILENO);

    std::vector<std::string> argvStrings = options.argv;
    std::vector<std::string> envStrings = childEnvironment(options);
    std::vector<char *> argv = pointersTo(argvStrings);
    std::vector<char *> envp = pointersTo(envStrings);

    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), envp.data());
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "cannot start " + options.argv[0]);
    return ChildProcess(pid);
}

bool ChildProcess::signal(int signalNumber)
{
    if (!running())
        return false;
    return ::kill(m_pid, signalNumber) == 0;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (m_status || m_pid <= 0)
        return m_status;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int raw = 0;
        const pid_t rc = ::waitpid(m_pid, &raw, timeout.count() < 0 ? 0 : WNOHANG);
        if (rc == m_pid) {
            m_status = statusOf(raw);
            return m_status;
        }
        if (rc < 0 && errno != EINTR) {
            // Reaped elsewhere (or never ours): nothing left to wait for.
            m_status = 255;
            return m_status;
        }
        if (rc == 0) {
            if (Clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(20));
        }
    }
}

void ChildProcess::killAndReap() noexcept
{
    if (!running())
        return;
    ::kill(m_pid, SIGKILL);
    int raw = 0;
    while (::waitpid(m_pid, &raw, 0) < 0 && errno == EINTR) {
    }
    m_status = statusOf(raw);
}

int runProgram(const std::vector<std::string> &argv)
{
    SpawnOptions options;
    options.argv = argv;
    ChildProcess child = ChildProcess::spawn(options);
    return *child.wait(std::chrono::milliseconds(-1));
}

std::filesystem::path findInPath(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(dir) / name;
            std::error_code ec;
            if (::access(candidate.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(candidate, ec))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

} // namespace hvn::platform
