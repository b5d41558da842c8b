#include "RealBackend.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "UniqueFd.h"

extern char **environ;

namespace hvn::cupsagent {

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t g_backendPid = 0;

extern "C" void forwardTerm(int)
{
    const pid_t pid = g_backendPid;
    if (pid > 0)
        ::kill(pid, SIGTERM);
}

bool validScheme(std::string_view scheme)
{
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0])))
        return false;
    for (const char c : scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

struct Identity {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// The identity the backend runs under when root starts it; nullopt: stay as we are.
std::optional<Identity> identityFor(const fs::path &backend, const std::string &runUser)
{
    if (::geteuid() != 0)
        return std::nullopt;
    struct stat st {};
    if (::stat(backend.c_str(), &st) == 0 && (st.st_mode & 0077) == 0)
        return std::nullopt;
    const passwd *pw = ::getpwnam(runUser.c_str());
    if (!pw)
        return std::nullopt;
    Identity identity{pw->pw_uid, pw->pw_gid, {}};
    int count = 64;
    identity.groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(pw->pw_name, pw->pw_gid, identity.groups.data(), &count) < 0) {
        identity.groups.resize(static_cast<std::size_t>(count));
        ::getgrouplist(pw->pw_name, pw->pw_gid, identity.groups.data(), &count);
    }
    identity.groups.resize(static_cast<std::size_t>(count));
    return identity;
}

} // namespace

std::optional<WrappedDevice> unwrapDeviceUri(const std::string &uri, const fs::path &serverBin)
{
    constexpr std::string_view kPrefix = "halvane:";
    if (uri.rfind(kPrefix, 0) != 0)
        return std::nullopt;
    WrappedDevice device;
    device.uri = uri.substr(kPrefix.size());
    const auto colon = device.uri.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    device.scheme = device.uri.substr(0, colon);
    if (!validScheme(device.scheme) || device.scheme == "halvane")
        return std::nullopt;
    device.backend = serverBin / "backend" / device.scheme;
    return device;
}

std::string cupsRunUser(const fs::path &serverRoot)
{
    std::ifstream in(serverRoot / "cups-files.conf");
    std::string line;
    std::string user = "lp";
    while (std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 5, "User ") != 0)
            continue;
        const auto value = line.find_first_not_of(" \t", start + 5);
        if (value != std::string::npos)
            user = line.substr(value, line.find_last_not_of(" \t\r") + 1 - value);
    }
    return user;
}

RealBackend::RealBackend(const WrappedDevice &device, const std::vector<std::string> &jobArguments,
                         const std::string &runUser)
{
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> args;
    args.push_back(device.uri);
    args.insert(args.end(), jobArguments.begin(), jobArguments.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string deviceUri = "DEVICE_URI=" + device.uri;
    std::vector<char *> envp;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "DEVICE_URI=", 11) != 0)
            envp.push_back(*e);
    envp.push_back(const_cast<char *>(deviceUri.c_str()));
    envp.push_back(nullptr);

    const std::optional<Identity> identity = identityFor(device.backend, runUser);
    const std::string path = device.backend.string();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot start the backend: ") + std::strerror(errno));
    platform::UniqueFd readEnd(pipeFds[0]);
    platform::UniqueFd writeEnd(pipeFds[1]);

    struct sigaction forward {};
    forward.sa_handler = forwardTerm;
    sigemptyset(&forward.sa_mask);
    ::sigaction(SIGTERM, &forward, nullptr);

    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int sig = 1; sig < NSIG; ++sig)
            ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
        int error = 0;
        if (identity && (::setgroups(identity->groups.size(), identity->groups.data()) != 0 ||
                         ::setgid(identity->gid) != 0 || ::setuid(identity->uid) != 0))
            error = errno;
        if (error == 0) {
            ::execve(path.c_str(), argv.data(), envp.data());
            error = errno;
        }
        [[maybe_unused]] const ssize_t n = ::write(writeEnd.get(), &error, sizeof error);
        ::_exit(127);
    }
    const int forkError = errno;
    if (pid > 0)
        g_backendPid = pid;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0)
        throw std::runtime_error(std::string("cannot start the backend: ") + std::strerror(forkError));
    writeEnd.reset();
    int childError = 0;
    ssize_t n;
    do
        n = ::read(readEnd.get(), &childError, sizeof childError);
    while (n < 0 && errno == EINTR);
    if (n == sizeof childError) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        g_backendPid = 0;
        throw std::runtime_error("cannot run " + path + ": " + std::strerror(childError));
    }
    m_pid = pid;
}

RealBackend::~RealBackend()
{
    g_backendPid = 0;
}

int RealBackend::wait()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR) {
            status = W_EXITCODE(1, 0);
            break;
        }
    }
    g_backendPid = 0;
    return status;
}

} // namespace hvn::cupsagent
