#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "UniqueFd.h"

namespace hvn::console {

// The client side of the console lock protocol, shared by the console's bracket
// (TMainForm::SocketMutexOn) and by the tools that read the database without a window:
// "DBREAD\n" on 127.0.0.1:PortNumberConsole asks for the lock, any reply but one starting
// with "NG" (either case) grants it, "END\n" gives it back. Thread safe (no shared state).

inline constexpr std::size_t kLockReplySize = 1025;

// connect() to 127.0.0.1:port that sees an interrupted connect through to its end.
// 0 on success, else the errno (EINVAL for a port outside 0..65535).
int connectLockPort(int fd, std::int32_t port);

// True when the service's reply refuses the lock.
bool isLockRefusal(const char *reply, std::ptrdiff_t size);

// One lock bracket for a program without a window: acquire() connects, asks and waits
// without limit for the answer; the destructor gives a granted lock back. Move-only.
class LockSession {
public:
    enum class Outcome { Granted, Refused, Unreachable, SocketFailed };

    static LockSession acquire(std::int32_t port);

    LockSession(LockSession &&) noexcept = default;
    LockSession &operator=(LockSession &&) = delete;
    LockSession(const LockSession &) = delete;
    LockSession &operator=(const LockSession &) = delete;
    ~LockSession();

    Outcome outcome() const { return m_outcome; }
    bool granted() const { return m_outcome == Outcome::Granted; }
    // The reason of a failed socket() or connect() (strerror text); empty otherwise.
    const std::string &error() const { return m_error; }
    // Gives a granted lock back now ("END", then the channel closes); the destructor then
    // has nothing left to do. Never throws.
    void release();

private:
    LockSession(Outcome outcome, platform::UniqueFd channel, std::string error);

    Outcome m_outcome;
    platform::UniqueFd m_channel;
    std::string m_error;
};

} // namespace hvn::console
