#pragma once

#include "UniqueFd.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace hvn::platform {

// A machine-wide single-instance guard found by name: an exclusive flock on the file
// "/tmp/<name>.lock".
// The kernel drops the lock when the holder's descriptor closes, so a crashed holder never
// leaves the name taken. The file itself is left in place; only the lock matters.
//
// Not thread safe: one owner. The guard holds the name from a successful construction until
// it is destroyed.
class InstanceGuard {
public:
    enum class State { Acquired, AlreadyHeld, Failed };

    explicit InstanceGuard(std::string_view name);

    State state() const { return m_state; }
    bool acquired() const { return m_state == State::Acquired; }
    // The reason for State::Failed (strerror text with the failing call); empty otherwise.
    const std::string &error() const { return m_error; }
    const std::filesystem::path &lockPath() const { return m_path; }

    static std::filesystem::path lockDirectory();

private:
    std::filesystem::path m_path;
    UniqueFd m_fd;
    State m_state = State::Failed;
    std::string m_error;
};

} // namespace hvn::platform
