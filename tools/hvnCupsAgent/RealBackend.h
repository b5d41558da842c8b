#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace hvn::cupsagent {

// Where a wrapped device URI leads: "halvane:socket://h:9100" gives the URI
// "socket://h:9100" and the backend $CUPS_SERVERBIN/backend/socket. nullopt when the URI does
// not start with "halvane:" or its scheme is not a plain URI scheme (letters, digits, + - .).
struct WrappedDevice {
    std::string uri;
    std::string scheme;
    std::filesystem::path backend;
};
std::optional<WrappedDevice> unwrapDeviceUri(const std::string &uri, const std::filesystem::path &serverBin);

// The user cupsd runs unprivileged programs as: the User line of cups-files.conf in
// serverRoot, else "lp".
std::string cupsRunUser(const std::filesystem::path &serverRoot);

// The real backend of a job, running. It gets argv[0] the real URI, the job's other
// arguments, DEVICE_URI set to the real URI, our standard input, output and error, default
// signal handling and an empty signal mask. Started as root, it runs as root only when its
// file is executable by its owner alone (as cupsd decides for backends); otherwise as
// runUser, when that user exists.
// While wait() runs, a SIGTERM sent to this process is passed on to the real backend.
// One instance per process; not thread safe.
class RealBackend {
public:
    // Throws std::runtime_error when the backend cannot be started.
    RealBackend(const WrappedDevice &device, const std::vector<std::string> &jobArguments,
                const std::string &runUser);
    ~RealBackend(); // a backend never waited for is left to run; the kernel reaps it with us

    RealBackend(const RealBackend &) = delete;
    RealBackend &operator=(const RealBackend &) = delete;

    pid_t pid() const { return m_pid; }
    // Waits for the backend to end and returns its wait status (as waitpid gives it).
    int wait();

private:
    pid_t m_pid = -1;
};

} // namespace hvn::cupsagent
