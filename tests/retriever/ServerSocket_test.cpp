#include "ServerSocket.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "TcpSocket.h"
#include "TestSupport.h"

namespace hvn::retriever {
namespace {

using namespace std::chrono_literals;
using test::connectLoopback;
using test::peerClosed;
using test::receiveSome;
using test::sendBytes;
using test::waitUntil;

// Echoes every read back until the peer closes or the worker is terminated; waits without
// limit, so only Terminate() can end an idle connection.
class EchoWorker : public TServerClientThread {
public:
    ~EchoWorker() override { Shutdown(); }

protected:
    void ClientExecute() override
    {
        char buffer[256];
        while (!Terminated()) {
            if (platform::waitReadable(ClientSocket(), -1ms) != platform::WaitResult::Ready)
                break;
            const auto n = platform::recvSome(ClientSocket(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            platform::sendAll(ClientSocket(), std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        CloseConnection();
    }
};

class ServerSocketTest : public ::testing::Test {
protected:
    ServerSocketTest()
        : server([this]() -> std::unique_ptr<TServerClientThread> {
              ++created;
              return std::make_unique<EchoWorker>();
          },
                 0)
    {
    }

    bool echoes(int fd, const std::string &text)
    {
        sendBytes(fd, text);
        return receiveSome(fd, 5s) == text;
    }

    std::atomic<int> created{0};
    TServerSocket server;
};

TEST_F(ServerSocketTest, EndedWorkerIsReusedInsteadOfAskingTheHandler)
{
    server.Open();
    for (int round = 0; round < 3; ++round) {
        auto client = connectLoopback(server.LocalPort());
        EXPECT_TRUE(echoes(client.get(), "ping"));
        client.reset();
        ASSERT_TRUE(waitUntil([&] { return server.ActiveWorkers() == 0 && server.CachedWorkers() == 1; }));
    }
    EXPECT_EQ(created, 1);
}

TEST_F(ServerSocketTest, CacheKeepsAtMostTenEndedWorkers)
{
    server.Open();
    std::vector<platform::UniqueFd> clients;
    for (int i = 0; i < 12; ++i) {
        clients.push_back(connectLoopback(server.LocalPort()));
        ASSERT_TRUE(echoes(clients.back().get(), "x"));
    }
    EXPECT_EQ(server.ActiveWorkers(), 12u);
    clients.clear();
    ASSERT_TRUE(waitUntil([&] { return server.ActiveWorkers() == 0; }));
    EXPECT_EQ(server.CachedWorkers(), TServerSocket::kThreadCacheSize);
    EXPECT_EQ(created, 12);
}

TEST_F(ServerSocketTest, CloseEndsOpenConnectionsPromptlyAndIsIdempotent)
{
    server.Open();
    std::vector<platform::UniqueFd> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(connectLoopback(server.LocalPort()));
        ASSERT_TRUE(echoes(clients.back().get(), "x"));
    }
    const auto started = std::chrono::steady_clock::now();
    server.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.ActiveWorkers(), 0u);
    EXPECT_EQ(server.CachedWorkers(), 0u);
    for (auto &client : clients)
        EXPECT_TRUE(peerClosed(client.get(), 2s));
    server.Close();
}

TEST(ServerSocket, HandlerFailureDropsOnlyThatConnection)
{
    std::atomic<int> calls{0};
    TServerSocket server(
        [&]() -> std::unique_ptr<TServerClientThread> {
            switch (++calls) {
            case 1:
                throw std::runtime_error("no worker");
            case 2:
                return nullptr;
            default:
                return std::make_unique<EchoWorker>();
            }
        },
        0);
    server.Open();
    auto refused1 = connectLoopback(server.LocalPort());
    EXPECT_TRUE(peerClosed(refused1.get(), 5s));
    auto refused2 = connectLoopback(server.LocalPort());
    EXPECT_TRUE(peerClosed(refused2.get(), 5s));
    auto served = connectLoopback(server.LocalPort());
    sendBytes(served.get(), "ok");
    EXPECT_EQ(receiveSome(served.get(), 5s), "ok");
}

TEST(ServerSocket, OpenOnAPortInUseThrowsAndStaysInactive)
{
    TServerSocket first([] { return std::make_unique<EchoWorker>(); }, 0);
    first.Open();
    TServerSocket second([] { return std::make_unique<EchoWorker>(); }, first.LocalPort());
    EXPECT_THROW(second.Open(), std::system_error);
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.Port(), first.LocalPort());
}

TEST_F(ServerSocketTest, ConnectionsBeyondTheWorkerLimitWaitUnacceptedUntilAWorkerIsFree)
{
    server.SetMaxWorkers(2);
    server.Open();
    auto first = connectLoopback(server.LocalPort());
    auto second = connectLoopback(server.LocalPort());
    ASSERT_TRUE(echoes(first.get(), "1"));
    ASSERT_TRUE(echoes(second.get(), "2"));

    // The third connection is complete in the kernel's queue and what it sends waits there.
    auto third = connectLoopback(server.LocalPort());
    sendBytes(third.get(), "3");
    EXPECT_EQ(receiveSome(third.get(), 300ms), "");
    EXPECT_EQ(server.ActiveWorkers(), 2u);

    first.reset();
    EXPECT_EQ(receiveSome(third.get(), 5s), "3");
    EXPECT_EQ(server.ActiveWorkers(), 2u);
}

// With no descriptor left, accept fails (EMFILE) while the connection waits in the backlog.
// The listener must survive that and serve the connection once descriptors are free again.
TEST(ServerSocket, ListenerSurvivesRunningOutOfDescriptors)
{
    TServerSocket server([] { return std::make_unique<EchoWorker>(); }, 0);
    server.Open();

    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = std::min<rlim_t>(original.rlim_cur, 256);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    std::vector<platform::UniqueFd> filler;
    for (;;) {
        platform::UniqueFd fd(::dup(0));
        if (!fd)
            break;
        filler.push_back(std::move(fd));
    }
    ASSERT_EQ(errno, EMFILE);
    filler.pop_back(); // exactly one descriptor left, for the client
    auto client = connectLoopback(server.LocalPort());
    std::this_thread::sleep_for(300ms); // several failing accepts
    EXPECT_EQ(server.ActiveWorkers(), 0u);
    filler.clear();
    ::setrlimit(RLIMIT_NOFILE, &original);

    sendBytes(client.get(), "alive");
    EXPECT_EQ(receiveSome(client.get(), 5s), "alive");
    EXPECT_TRUE(server.Active());
}

} // namespace
} // namespace hvn::retriever
