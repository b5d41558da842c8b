#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "UniqueFd.h"

namespace hvn::test {

// A port that was free on every address a moment ago, chosen where outgoing connections
// never take it; never the same twice in one process.
std::uint16_t freePort();

// A loopback client connection to 127.0.0.1:port; throws std::system_error when refused.
platform::UniqueFd connectLoopback(std::uint16_t port);
// Sends all of bytes; throws std::system_error on failure.
void sendBytes(int fd, std::string_view bytes);
// What arrives within timeout ("" on silence or when the peer has closed).
std::string receiveSome(int fd, std::chrono::milliseconds timeout);
// True when the peer closes the connection within timeout (data before that is dropped).
bool peerClosed(int fd, std::chrono::milliseconds timeout);
// Half-closes the sending side and waits until the peer closes (reads and drops its bytes).
// False when the peer has not closed within timeout.
bool finishAndWaitForClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace hvn::test
