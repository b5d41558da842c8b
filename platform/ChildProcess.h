#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace hvn::platform {

// How to start a program. argv[0] is a path, or a bare name looked up in PATH.
struct SpawnOptions {
    std::vector<std::string> argv;
    // "NAME=value" entries that add to or replace the parent's environment.
    std::vector<std::string> setEnv;
    // Names removed from the inherited environment.
    std::vector<std::string> unsetEnv;
    // Files that receive the child's output (created or truncated); empty inherits ours.
    std::filesystem::path stdoutPath;
    std::filesystem::path stderrPath;
    // Open descriptors that become the child's input and output (stdoutFd instead of
    // stdoutPath); -1 inherits ours. The caller keeps and closes them.
    int stdinFd = -1;
    int stdoutFd = -1;
};

// One started program. The child starts with an empty signal mask and default signal
// dispositions, whatever the parent blocks. The owner must wait() for it; a child still
// running when its ChildProcess is destroyed is killed (SIGKILL) and reaped, so nothing
// outlives its owner. Move-only; not thread safe (one owner thread at a time).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess &&other) noexcept;
    ChildProcess &operator=(ChildProcess &&other) noexcept;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Throws std::system_error when the program cannot be started (not found, not executable,
    // an output file cannot be opened).
    static ChildProcess spawn(const SpawnOptions &options);

    pid_t pid() const { return m_pid; }
    bool running() const { return m_pid > 0 && !m_status; }

    // Sends a signal to a child that has not been reaped yet. False when it has.
    bool signal(int signalNumber);

    // Waits up to timeout (negative: no limit) for the child to end. The exit status, or
    // 128 + the signal number when a signal ended it; nullopt when it is still running.
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    void killAndReap() noexcept;

    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Starts the program with our environment and output, and waits for it without limit.
// Its exit status as wait() gives it. Throws std::system_error when it cannot be started.
int runProgram(const std::vector<std::string> &argv);

// The first executable file of that name in PATH, or an empty path.
std::filesystem::path findInPath(const std::string &name);

} // namespace hvn::platform
