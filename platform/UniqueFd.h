#pragma once

#include <utility>

namespace hvn::platform {

// Owns one file descriptor and closes it on destruction. Move-only.
// Not thread safe: one owner at a time; shutdown() of a socket may be called from any
// thread through ShutdownSocket() on the raw descriptor while the owner blocks in it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(m_fd, -1); }
    // Closes the owned descriptor (if any) and takes ownership of fd.
    void reset(int fd = -1) noexcept;

private:
    int m_fd = -1;
};

} // namespace hvn::platform
