#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "UniqueFd.h"

namespace hvn::test {

// A datagram socket standing in for systemd's notification socket (NOTIFY_SOCKET).
class NotifyListener {
public:
    explicit NotifyListener(std::filesystem::path path);
    ~NotifyListener();
    NotifyListener(const NotifyListener &) = delete;
    NotifyListener &operator=(const NotifyListener &) = delete;

    std::string environment() const; // "NOTIFY_SOCKET=<path>"
    // Waits for a notification holding the line `line` (e.g. "READY=1"); false on timeout.
    bool waitFor(std::string_view line, std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    std::filesystem::path m_path;
    platform::UniqueFd m_fd;
};

} // namespace hvn::test
