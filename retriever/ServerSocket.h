#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "NetworkList.h"
#include "ServerClientThread.h"
#include "UniqueFd.h"

namespace hvn::retriever {

// Which addresses a listener binds.
enum class ListenOn { AllInterfaces, Loopback };

// A thread-blocking TCP listener: accepts on a thread of its own and serves each accepted
// connection on a worker thread (TServerClientThread). Workers whose connection has ended are
// kept, up to kThreadCacheSize, and reused before the handler is asked for a new one.
//
// At most MaxWorkers() connections are served at once. While that many are open the listener
// accepts nothing, so further connections wait, with whatever they send, in the kernel's
// queue, and no descriptor is spent on them. A failing accept (no descriptor left) pauses the
// accepting for a moment rather than spinning or dropping anything: the connection stays
// queued.
//
// At Close, a listener with a queued-connection handler takes in what still waits in the
// kernel's queue before it stops listening: no further connection completes, the queued ones
// are accepted a batch at a time and what each has already sent is read (waiting only a few
// milliseconds for bytes in flight, and not at all once kQueuedGraceBudget has been spent),
// then handed to the handler. Without a handler, closing resets the queued connections.
//
// The setters, Open/Close and the destructor belong to one owner thread; the observers are
// thread safe. The handlers run on the accepting thread; a thread handler that throws or
// returns null drops that connection and nothing else.
class TServerSocket {
public:
    using GetThreadHandler = std::function<std::unique_ptr<TServerClientThread>()>;
    // Told of each connection closed because its peer is not allowed.
    using RefusalHandler = std::function<void(const platform::IpAddress &peer)>;
    // Given a batch of queued connections at Close, in the order they were queued: the bytes
    // each had sent (at most kQueuedReadLimit). Runs on the thread that calls Close.
    using QueuedHandler = std::function<void(const std::vector<std::string> &received)>;
    static constexpr std::size_t kThreadCacheSize = 10;
    static constexpr std::size_t kDefaultMaxWorkers = 256;
    // Taking in the queue at Close: connections open at once, bytes read from each, the wait
    // for bytes in flight per batch and in all, and the most connections taken in (the queue
    // refills by at most one connection while it is being emptied).
    static constexpr std::size_t kQueuedBatch = 32;
    static constexpr std::size_t kQueuedReadLimit = 1024 * 1024;
    static constexpr std::chrono::milliseconds kQueuedGrace{20};
    static constexpr std::chrono::milliseconds kQueuedGraceBudget{500};
    static constexpr std::size_t kMaxQueuedTakenIn = 2 * SOMAXCONN;

    TServerSocket(GetThreadHandler handler, std::uint16_t port, ListenOn where = ListenOn::AllInterfaces);
    ~TServerSocket(); // Close()

    TServerSocket(const TServerSocket &) = delete;
    TServerSocket &operator=(const TServerSocket &) = delete;

    // Before Open.
    void SetPort(std::uint16_t port);
    std::uint16_t Port() const;
    // At least 1.
    void SetMaxWorkers(std::size_t count);
    std::size_t MaxWorkers() const;
    // Connections from addresses outside networks are closed as soon as they are accepted,
    // before a byte is read, and reported to onRefused. An empty list allows every peer.
    void SetAllowedPeers(platform::NetworkList networks, RefusalHandler onRefused);
    void SetQueuedHandler(QueuedHandler onQueued);

    // Listens on the addresses that ListenOn names and starts accepting. Throws
    // std::system_error when it cannot listen (the listener then stays inactive). No effect
    // while active.
    void Open();

    // Stops accepting, asks every active worker to stop, then waits for each, and ends the
    // cached ones; then takes in the queued connections (see above) and stops listening.
    // Idempotent.
    void Close();

    bool Active() const;

    // The bound port while active (the chosen one when opened on port 0), else 0.
    std::uint16_t LocalPort() const;

    // Workers serving a connection. Thread safe.
    std::size_t ActiveWorkers() const;
    // Ended workers kept for reuse, at most kThreadCacheSize. Thread safe.
    std::size_t CachedWorkers() const;

private:
    void acceptLoop();
    void serveAccepted(platform::UniqueFd connection);
    void collectIdleWorkers();
    void wake();

    bool atWorkerLimit() const;
    // Close: accepts what waits in the listeners' queues and hands it to m_onQueued.
    void takeInQueued();
    // Accepts up to most connections into batch; false once the queue is empty or nothing
    // more can be accepted.
    bool acceptBatch(int listener, std::size_t most, std::vector<platform::UniqueFd> &batch);
    // False for a peer outside the allowed networks, which is then reported.
    bool admits(int connection) const;

    GetThreadHandler m_handler;
    std::uint16_t m_port;
    ListenOn m_where;
    std::size_t m_maxWorkers = kDefaultMaxWorkers;
    platform::NetworkList m_allowedPeers;
    RefusalHandler m_onRefused;
    QueuedHandler m_onQueued;
    std::atomic<std::uint16_t> m_localPort{0};
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_stopping{false};
    std::vector<platform::UniqueFd> m_listeners; // owner thread opens; accepting thread polls
    platform::UniqueFd m_wakeFd; // eventfd: Close() and ended workers wake the accepting thread
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<TServerClientThread>> m_activeWorkers; // guarded by m_mutex
    std::vector<std::unique_ptr<TServerClientThread>> m_cache;          // guarded by m_mutex
};

} // namespace hvn::retriever
