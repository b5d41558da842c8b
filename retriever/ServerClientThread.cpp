#include "ServerClientThread.h"

#include <stdexcept>
#include <utility>

#include <sys/socket.h>

#include "TcpSocket.h"

namespace hvn::retriever {

TServerClientThread::TServerClientThread() = default;

TServerClientThread::~TServerClientThread()
{
    Shutdown();
}

void TServerClientThread::Serve(platform::UniqueFd connection)
{
    std::lock_guard lock(m_mutex);
    if (m_hasConnection)
        throw std::logic_error("worker is already serving a connection");
    if (m_stop.stop_requested())
        throw std::logic_error("worker has been terminated");
    m_connection = std::move(connection);
    m_hasConnection = true;
    if (m_thread.joinable())
        m_wake.notify_one();
    else
        m_thread = std::thread(&TServerClientThread::run, this);
}

bool TServerClientThread::Idle() const
{
    std::lock_guard lock(m_mutex);
    return !m_hasConnection;
}

void TServerClientThread::Terminate()
{
    std::lock_guard lock(m_mutex);
    m_stop.request_stop();
    // Shutting the reading side down (rather than closing the socket) wakes a blocked poll or
    // recv on the worker thread without letting the descriptor number be reused under it. What
    // has arrived can still be read, and the peer sees no close before the worker has dealt
    // with it.
    if (m_connection)
        ::shutdown(m_connection.get(), SHUT_RD);
    m_wake.notify_one();
}

void TServerClientThread::Shutdown()
{
    Terminate();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

int TServerClientThread::ClientSocket() const
{
    std::lock_guard lock(m_mutex);
    return m_connection.get();
}

void TServerClientThread::CloseConnection()
{
    std::lock_guard lock(m_mutex);
    m_connection.reset();
}

void TServerClientThread::CloseAfterPeer()
{
    std::lock_guard lock(m_mutex);
    platform::closeAfterPeer(m_connection);
}

bool TServerClientThread::Terminated() const
{
    return m_stop.stop_requested();
}

void TServerClientThread::setIdleHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_idleHandler = std::move(handler);
}

void TServerClientThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_hasConnection || m_stop.stop_requested(); });
        if (!m_hasConnection)
            return;
        lock.unlock();
        try {
            ClientExecute();
        } catch (...) {
            // A failure inside one connection ends that connection, never the service.
        }
        lock.lock();
        m_connection.reset();
        m_hasConnection = false;
        const std::function<void()> idleHandler = m_idleHandler;
        lock.unlock();
        if (idleHandler)
            idleHandler();
        lock.lock();
    }
}

} // namespace hvn::retriever
