#include "ServerSocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TcpSocket.h"

namespace hvn::retriever {

namespace {

// Pause after an accept failure that would repeat at once (no descriptors or memory left),
// so the listener neither spins nor gives up.
constexpr int kAcceptBackoffMs = 100;

bool isTransientAcceptError(int error)
{
    switch (error) {
    case EINTR:
    case EAGAIN:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
        return true;
    default:
        return false;
    }
}

using Clock = std::chrono::steady_clock;

// Reads what a non-blocking connection has received, up to TServerSocket::kQueuedReadLimit
// bytes in all. True once nothing more will come: end of stream, an error or the limit.
bool readReceived(int fd, std::string &bytes)
{
    char buffer[16 * 1024];
    while (bytes.size() < TServerSocket::kQueuedReadLimit) {
        const ssize_t n =
            ::recv(fd, buffer, std::min(sizeof buffer, TServerSocket::kQueuedReadLimit - bytes.size()), 0);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            return true;
        else if (errno != EINTR)
            return errno != EAGAIN && errno != EWOULDBLOCK;
    }
    return true;
}

// Reads each connection of the batch into received, giving the unfinished ones together at
// most kQueuedGrace, and no more than graceLeft, which shrinks by the time waited.
void readBatch(const std::vector<platform::UniqueFd> &batch, std::vector<std::string> &received,
               std::chrono::milliseconds &graceLeft)
{
    std::vector<pollfd> open;
    std::vector<std::size_t> index; // open[k] is batch[index[k]]
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (!readReceived(batch[i].get(), received[i])) {
            open.push_back({batch[i].get(), POLLIN, 0});
            index.push_back(i);
        }
    }
    if (open.empty() || graceLeft.count() <= 0)
        return;
    const auto started = Clock::now();
    const auto until = started + std::min(TServerSocket::kQueuedGrace, graceLeft);
    while (!open.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            break;
        const int rc = ::poll(open.data(), open.size(), static_cast<int>(left.count()));
        if (rc < 0 && errno != EINTR)
            break;
        for (std::size_t k = open.size(); rc > 0 && k-- > 0;) {
            if (open[k].revents == 0)
                continue;
            if (readReceived(open[k].fd, received[index[k]])) {
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
                index.erase(index.begin() + static_cast<std::ptrdiff_t>(k));
            } else {
                open[k].revents = 0;
            }
        }
    }
    graceLeft -= std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - started);
}

} // namespace

TServerSocket::TServerSocket(GetThreadHandler handler, std::uint16_t port, ListenOn where)
    : m_handler(std::move(handler)), m_port(port), m_where(where)
{
    m_wakeFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_wakeFd)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TServerSocket::~TServerSocket()
{
    Close();
}

void TServerSocket::SetPort(std::uint16_t port)
{
    m_port = port;
}

std::uint16_t TServerSocket::Port() const
{
    return m_port;
}

void TServerSocket::SetMaxWorkers(std::size_t count)
{
    m_maxWorkers = std::max<std::size_t>(count, 1);
}

std::size_t TServerSocket::MaxWorkers() const
{
    return m_maxWorkers;
}

void TServerSocket::SetAllowedPeers(platform::NetworkList networks, RefusalHandler onRefused)
{
    m_allowedPeers = std::move(networks);
    m_onRefused = std::move(onRefused);
}

void TServerSocket::SetQueuedHandler(QueuedHandler onQueued)
{
    m_onQueued = std::move(onQueued);
}

void TServerSocket::Open()
{
    if (m_active)
        return;
    if (m_where == ListenOn::Loopback) {
        m_listeners = platform::listenLoopback(m_port);
    } else {
        m_listeners.clear();
        m_listeners.push_back(platform::listenTcp(m_port));
    }
    m_localPort = platform::localPort(m_listeners.front().get());
    m_stopping = false;
    m_acceptThread = std::thread(&TServerSocket::acceptLoop, this);
    m_active = true;
}

void TServerSocket::Close()
{
    if (m_acceptThread.joinable()) {
        m_stopping = true;
        wake();
        m_acceptThread.join();
    }
    if (m_onQueued) {
        // A backlog of none lets no further handshake complete while the queue holds a
        // connection; those already queued stay until they are taken in below.
        for (const auto &listener : m_listeners)
            ::listen(listener.get(), 0);
    } else {
        m_listeners.clear();
    }
    m_active = false;
    m_localPort = 0;

    std::vector<std::unique_ptr<TServerClientThread>> active;
    std::vector<std::unique_ptr<TServerClientThread>> cached;
    {
        std::lock_guard lock(m_mutex);
        active.swap(m_activeWorkers);
        cached.swap(m_cache);
    }
    // Every worker is asked first, so that all of them wind down together (a waiting worker
    // keeps its records and ends at once) rather than one stop after another.
    for (auto &worker : active)
        worker->Terminate();
    for (auto &worker : active) {
        worker->Shutdown();
        worker.reset();
    }
    cached.clear();

    // After the workers, whose descriptors are free again and whose records came first.
    if (!m_listeners.empty())
        takeInQueued();
    m_listeners.clear();
}

void TServerSocket::takeInQueued()
{
    std::chrono::milliseconds graceLeft = kQueuedGraceBudget;
    std::size_t takenIn = 0;
    std::vector<platform::UniqueFd> batch;
    std::vector<std::string> received;
    for (const auto &listener : m_listeners) {
        const int flags = ::fcntl(listener.get(), F_GETFL);
        if (flags < 0 || ::fcntl(listener.get(), F_SETFL, flags | O_NONBLOCK) != 0)
            continue; // an accept would block on an empty queue
        for (bool more = true; more && takenIn < kMaxQueuedTakenIn;) {
            batch.clear();
            more = acceptBatch(listener.get(), std::min(kQueuedBatch, kMaxQueuedTakenIn - takenIn), batch);
            if (batch.empty())
                break;
            takenIn += batch.size();
            received.assign(batch.size(), std::string());
            readBatch(batch, received, graceLeft);
            try {
                m_onQueued(received);
            } catch (...) {
                // The handler reports what it could not take; the next batch goes on.
            }
            // Closed once their records are kept, orderly only for the peers whose stream was
            // read to its end; the descriptors are free before the next batch.
            for (auto &connection : batch)
                platform::closeAfterPeer(connection);
            batch.clear();
        }
    }
}

bool TServerSocket::acceptBatch(int listener, std::size_t most, std::vector<platform::UniqueFd> &batch)
{
    while (batch.size() < most) {
        platform::UniqueFd connection(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!connection) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO || errno == EPERM)
                continue;
            // EAGAIN: the queue is empty. Without descriptors (EMFILE and the like), the batch
            // so far is read and closed first, then the next one is tried; with none at all,
            // nothing more can be taken in.
            return errno != EAGAIN && errno != EWOULDBLOCK && !batch.empty();
        }
        if (admits(connection.get()))
            batch.push_back(std::move(connection));
        else
            platform::closeAfterPeer(connection);
    }
    return true;
}

bool TServerSocket::admits(int connection) const
{
    if (m_allowedPeers.empty())
        return true;
    const auto peer = platform::peerAddress(connection);
    if (peer && m_allowedPeers.allows(*peer))
        return true;
    if (m_onRefused)
        m_onRefused(peer.value_or(platform::IpAddress{}));
    return false;
}

bool TServerSocket::Active() const
{
    return m_active;
}

std::uint16_t TServerSocket::LocalPort() const
{
    return m_localPort;
}

std::size_t TServerSocket::ActiveWorkers() const
{
    std::lock_guard lock(m_mutex);
    return m_activeWorkers.size();
}

std::size_t TServerSocket::CachedWorkers() const
{
    std::lock_guard lock(m_mutex);
    return m_cache.size();
}

void TServerSocket::wake()
{
    const std::uint64_t one = 1;
    // The counter only needs to be non-zero; a full counter (EAGAIN) is already a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd.get(), &one, sizeof one);
}

bool TServerSocket::atWorkerLimit() const
{
    std::lock_guard lock(m_mutex);
    return m_activeWorkers.size() >= m_maxWorkers;
}

void TServerSocket::acceptLoop()
{
    // The wake-up descriptor first, then the listeners.
    std::vector<pollfd> fds{{m_wakeFd.get(), POLLIN, 0}};
    for (const auto &listener : m_listeners)
        fds.push_back({listener.get(), POLLIN, 0});
    int timeoutMs = -1;
    while (!m_stopping) {
        for (auto &p : fds)
            p.revents = 0;
        // While backing off after an accept failure, or while the worker limit is reached,
        // only the wake-up descriptor is watched; an ending worker wakes the loop.
        const bool accepting = timeoutMs < 0 && !atWorkerLimit();
        const int rc = ::poll(fds.data(), accepting ? fds.size() : 1, timeoutMs);
        timeoutMs = -1;
        if (rc < 0 && errno != EINTR) {
            timeoutMs = kAcceptBackoffMs;
            continue;
        }
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd.get(), &count, sizeof count);
            collectIdleWorkers();
        }
        for (std::size_t i = 1; accepting && i < fds.size() && !m_stopping; ++i) {
            if (!(fds[i].revents & POLLIN) || atWorkerLimit())
                continue;
            platform::UniqueFd connection(::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection) {
                if (!isTransientAcceptError(errno))
                    timeoutMs = kAcceptBackoffMs; // EMFILE, ENFILE, ENOBUFS, ENOMEM and the like
                continue;
            }
            if (!admits(connection.get())) {
                platform::closeAfterPeer(connection); // unread: an abort, never a receipt
                continue;
            }
            serveAccepted(std::move(connection));
        }
    }
}

void TServerSocket::serveAccepted(platform::UniqueFd connection)
{
    collectIdleWorkers();
    std::unique_ptr<TServerClientThread> worker;
    {
        std::lock_guard lock(m_mutex);
        if (!m_cache.empty()) {
            worker = std::move(m_cache.back());
            m_cache.pop_back();
        }
    }
    if (!worker) {
        try {
            worker = m_handler();
        } catch (...) {
            platform::closeAfterPeer(connection);
            return;
        }
        if (!worker) {
            platform::closeAfterPeer(connection);
            return;
        }
        worker->setIdleHandler([this] { wake(); });
    }
    TServerClientThread *raw = worker.get();
    {
        std::lock_guard lock(m_mutex);
        m_activeWorkers.push_back(std::move(worker));
    }
    try {
        raw->Serve(std::move(connection));
    } catch (...) {
        // A worker that cannot serve (a handler that gave one already terminated) is dropped
        // with the connection.
        std::unique_ptr<TServerClientThread> dropped;
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_activeWorkers.begin(), m_activeWorkers.end(),
                               [raw](const auto &w) { return w.get() == raw; });
        dropped = std::move(*it);
        m_activeWorkers.erase(it);
    }
}

void TServerSocket::collectIdleWorkers()
{
    std::vector<std::unique_ptr<TServerClientThread>> surplus;
    {
        std::lock_guard lock(m_mutex);
        auto idle = std::stable_partition(m_activeWorkers.begin(), m_activeWorkers.end(),
                                          [](const auto &w) { return !w->Idle(); });
        for (auto it = idle; it != m_activeWorkers.end(); ++it) {
            if (m_cache.size() < kThreadCacheSize && !(*it)->Terminated())
                m_cache.push_back(std::move(*it));
            else
                surplus.push_back(std::move(*it));
        }
        m_activeWorkers.erase(idle, m_activeWorkers.end());
    }
    // Ending a surplus worker joins its thread, which is idle: this returns at once.
}

} // namespace hvn::retriever
