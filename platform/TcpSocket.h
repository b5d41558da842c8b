#pragma once

#include "UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sys/socket.h>

namespace hvn::platform {

// Thin POSIX TCP helpers shared by the service, the console's lock client and the tools.
// All functions are thread safe (they touch only the descriptors passed in).

enum class WaitResult { Ready, Timeout, Error };

// Waits until fd is readable (data, end of stream or error pending), up to timeout.
// Timeout comes only after the whole timeout has passed. A negative timeout waits without
// limit. EINTR restarts the wait with the time left.
WaitResult waitReadable(int fd, std::chrono::milliseconds timeout);

// recv() that restarts on EINTR. Returns bytes read, 0 at end of stream, -1 on error (errno set).
std::ptrdiff_t recvSome(int fd, void *buffer, std::size_t size);

// Sends all of data (MSG_NOSIGNAL, restarting on EINTR and short writes). False on failure.
bool sendAll(int fd, std::string_view data);

// Closes a connection whose peer may still be sending. The close is orderly (FIN) only when the
// peer has ended its stream and every byte it sent has been read; otherwise it is an abort
// (RST). A peer that takes the orderly close as the receipt of everything it sent is therefore
// never told so for bytes that were not read. Leaves fd empty.
void closeAfterPeer(UniqueFd &fd);

// Connects a TCP stream socket to host:port (numeric address or name). Throws std::system_error
// with the failing call's errno on failure.
UniqueFd connectTcp(const std::string &host, std::uint16_t port);

// Opens a listening socket on every interface: IPv6 dual-stack where the machine has IPv6,
// IPv4 otherwise. SO_REUSEADDR is set. Port 0 picks a free port. The backlog is the kernel's
// largest, so that connections beyond what the server accepts wait in the kernel's queue.
// Throws std::system_error.
UniqueFd listenTcp(std::uint16_t port, int backlog = SOMAXCONN);

// Opens listening sockets on the loopback addresses only: 127.0.0.1, and ::1 where the machine
// has IPv6, both on the same port (port 0 picks one that is free on both). Throws
// std::system_error.
std::vector<UniqueFd> listenLoopback(std::uint16_t port, int backlog = SOMAXCONN);

// The local port a bound socket listens on.
std::uint16_t localPort(int fd);

} // namespace hvn::platform
