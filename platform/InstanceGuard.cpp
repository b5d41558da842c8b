#include "InstanceGuard.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>

namespace hvn::platform {

std::filesystem::path InstanceGuard::lockDirectory()
{
    // One folder that every user of the machine shares, so that the guard holds across
    // sessions and users, not per login.
    return "/tmp";
}

InstanceGuard::InstanceGuard(std::string_view name)
    : m_path(lockDirectory() / (std::string(name) + ".lock"))
{
    // The file may belong to another user of a shared /tmp; a read-only descriptor is
    // enough for flock, so fall back to it when it cannot be opened for writing.
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = "open " + m_path.string() + ": " + std::strerror(errno);
        return;
    }
    m_fd.reset(fd);

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
