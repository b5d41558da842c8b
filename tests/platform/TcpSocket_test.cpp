// How a server's close reads to a peer that takes an orderly close as the receipt of all it sent.
#include "TcpSocket.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "Loopback.h"

namespace hvn::platform {
namespace {

using namespace std::chrono_literals;

// What the peer's read gives after the server's close: 0 for an orderly close, else -errno.
int peerSees(int fd)
{
    if (waitReadable(fd, 5000ms) != WaitResult::Ready)
        return 1; // no close at all
    char buffer[512];
    for (;;) {
        const std::ptrdiff_t n = recvSome(fd, buffer, sizeof buffer);
        if (n <= 0)
            return n == 0 ? 0 : -errno;
    }
}

struct Pair {
    UniqueFd listener = listenTcp(0);
    UniqueFd client = test::connectLoopback(localPort(listener.get()));
    UniqueFd server{::accept(listener.get(), nullptr, nullptr)};
};

// Waits until the server's side has seen the client's end of stream arrive.
void settle() { std::this_thread::sleep_for(50ms); }

TEST(CloseAfterPeer, IsOrderlyOnlyAfterThePeersWholeStreamWasRead)
{
    struct Case {
        const char *name;
        bool clientEnds;    // the client half-closes after its bytes
        bool serverReads;   // the server reads everything that arrived
        bool serverShutsRd; // a stop shut the server's reading side down first
        int expected;       // what the client's read gives
    };
    const Case cases[] = {
        {"stream ended and read", true, true, false, 0},
        {"stream ended and read after a stop", true, true, true, 0},
        {"stream still open", false, true, false, -ECONNRESET},
        {"stream still open after a stop", false, true, true, -ECONNRESET},
        {"stream ended, bytes unread", true, false, false, -ECONNRESET},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pair pair;
        test::sendBytes(pair.client.get(), std::string(320, 'x'));
        if (c.clientEnds) {
            ASSERT_EQ(::shutdown(pair.client.get(), SHUT_WR), 0);
        }
        settle();
        if (c.serverShutsRd)
            ::shutdown(pair.server.get(), SHUT_RD);
        if (c.serverReads) {
            char buffer[1024];
            while (::recv(pair.server.get(), buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
            }
        }
        closeAfterPeer(pair.server);
        EXPECT_FALSE(pair.server);
        EXPECT_EQ(peerSees(pair.client.get()), c.expected);
    }
}

} // namespace
} // namespace hvn::platform
