#include "InstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace hvn::platform {

namespace {

bool usableDirectory(const std::filesystem::path &directory)
{
    struct stat info{};
    return !directory.empty() && ::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
        && (info.st_mode & S_IWOTH) == 0;
}

} // namespace

std::filesystem::path InstanceGuard::chooseDirectory(const std::filesystem::path &machineDirectory,
                                                     const std::filesystem::path &runtimeDirectory)
{
    if (usableDirectory(machineDirectory))
        return machineDirectory;
    if (usableDirectory(runtimeDirectory))
        return runtimeDirectory;
    return {};
}

std::filesystem::path InstanceGuard::defaultLockFile(std::string_view name)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path directory = chooseDirectory(kMachineDirectory, runtime ? runtime : "");
    if (directory.empty())
        return {};
    return directory / (std::string(name) + ".lock");
}

InstanceGuard::InstanceGuard(std::filesystem::path lockFile)
    : m_path(std::move(lockFile))
{
    if (m_path.empty()) {
        m_error = std::string("no folder for the guard: ") + kMachineDirectory
                + " is missing and XDG_RUNTIME_DIR names no private folder";
        return;
    }
    // O_NONBLOCK: a planted FIFO must not hang the open; it is refused below. The file may
    // belong to another administrator; a read-only descriptor is enough for flock.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | kFlags, 0660);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(m_path.c_str(), O_RDONLY | kFlags);
    if (fd < 0) {
        m_error = "open " + m_path.string() + ": " + std::strerror(errno);
        return;
    }
    m_fd.reset(fd);
    struct stat info{};
    if (::fstat(m_fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = "open " + m_path.string() + ": not a regular file";
        m_fd.reset();
        return;
    }

    int rc;
    do {
        rc = ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_state = State::Acquired;
        return;
    }
    if (errno == EWOULDBLOCK) {
        m_state = State::AlreadyHeld;
    } else {
        m_error = "flock " + m_path.string() + ": " + std::strerror(errno);
    }
    m_fd.reset();
}

} // namespace hvn::platform
