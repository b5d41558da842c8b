#pragma once

#include "UniqueFd.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace hvn::platform {

// A machine-wide single-instance guard: an exclusive flock on one lock file. The kernel drops
// the lock when the holder's descriptor closes, so a crashed holder never leaves the guard
// taken. The file itself is left in place; only the lock matters.
//
// The file lives in a folder that only root and the administrators' group may write (made at
// installation), so that no other local user can take the guard first, plant a symbolic link
// or hold a lock on the file; see defaultLockFile().
//
// Not thread safe: one owner. The guard holds the file from a successful construction until
// it is destroyed.
class InstanceGuard {
public:
    enum class State { Acquired, AlreadyHeld, Failed };

    // The folder of the machine-wide guards, made at installation.
    static constexpr const char *kMachineDirectory = "/run/halvane";

    // Takes the lock on lockFile, creating the file (mode 0660) when it is missing. A symbolic
    // link or anything but a regular file there fails. An empty path fails.
    explicit InstanceGuard(std::filesystem::path lockFile);

    State state() const { return m_state; }
    bool acquired() const { return m_state == State::Acquired; }
    // The reason for State::Failed (strerror text with the failing call); empty otherwise.
    const std::string &error() const { return m_error; }
    const std::filesystem::path &lockPath() const { return m_path; }

    // "<folder>/<name>.lock" in the first usable folder of: kMachineDirectory, then the
    // user's own runtime folder $XDG_RUNTIME_DIR (a guard per user while the installation's
    // folder is missing). Empty when neither is usable.
    static std::filesystem::path defaultLockFile(std::string_view name);
    // The same choice between two candidate folders: a candidate is usable when it is a
    // folder that others may not write. Either may be empty. Empty when neither is usable.
    static std::filesystem::path chooseDirectory(const std::filesystem::path &machineDirectory,
                                                 const std::filesystem::path &runtimeDirectory);

private:
    std::filesystem::path m_path;
    UniqueFd m_fd;
    State m_state = State::Failed;
    std::string m_error;
};

} // namespace hvn::platform
