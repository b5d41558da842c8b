#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ServerClientThread.h"
#include "UniqueFd.h"

namespace hvn::retriever {

// A thread-blocking TCP listener: accepts on a thread of its own and serves each accepted
// connection on a worker thread (TServerClientThread). Workers whose connection has ended are
// kept, up to kThreadCacheSize, and reused before the handler is asked for a new one.
//
// SetPort/Open/Close and the destructor belong to one owner thread; the observers are thread
// safe. The handler runs on the accepting thread; a handler that throws or returns null drops
// that connection and nothing else.
class TServerSocket {
public:
    using GetThreadHandler = std::function<std::unique_ptr<TServerClientThread>()>;
    static constexpr std::size_t kThreadCacheSize = 10;

    TServerSocket(GetThreadHandler handler, std::uint16_t port);
    ~TServerSocket(); // Close()

    TServerSocket(const TServerSocket &) = delete;
    TServerSocket &operator=(const TServerSocket &) = delete;

    // Before Open.
    void SetPort(std::uint16_t port);
    std::uint16_t Port() const;

    // Listens on every interface and starts accepting. Throws std::system_error when it cannot
    // listen (the listener then stays inactive). No effect while active.
    void Open();

    // Stops accepting, asks every active worker to stop, then waits for each, and ends the
    // cached ones. Idempotent.
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

    GetThreadHandler m_handler;
    std::uint16_t m_port;
    std::atomic<std::uint16_t> m_localPort{0};
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_stopping{false};
    platform::UniqueFd m_listener;
    platform::UniqueFd m_wakeFd; // eventfd: Close() and ended workers wake the accepting thread
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<TServerClientThread>> m_activeWorkers; // guarded by m_mutex
    std::vector<std::unique_ptr<TServerClientThread>> m_cache;          // guarded by m_mutex
};

} // namespace hvn::retriever
