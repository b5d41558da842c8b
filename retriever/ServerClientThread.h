#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "UniqueFd.h"

namespace hvn::retriever {

// Worker thread of a thread-blocking listener; serves one accepted connection at a time on a
// thread of its own and can be reused for a later connection. The thread starts with the first
// Serve() and lives until Terminate()/Shutdown(); between connections it sleeps.
//
// Derived classes call Shutdown() first in their destructor, so ClientExecute never runs on a
// half-destroyed object.
class TServerClientThread {
public:
    TServerClientThread();
    virtual ~TServerClientThread(); // Shutdown()

    TServerClientThread(const TServerClientThread &) = delete;
    TServerClientThread &operator=(const TServerClientThread &) = delete;

    // Hands the worker a connection and starts or wakes its thread. Listener thread only.
    // Precondition: Idle() and not Terminated(); throws std::logic_error otherwise.
    void Serve(platform::UniqueFd connection);

    // No connection being served. Thread safe.
    bool Idle() const;

    // Asks the worker to stop and shuts its connection down, so that a blocking wait on it
    // returns. A worker that has been terminated serves no further connection. Thread safe.
    void Terminate();

    // Terminate() and join the thread. Idempotent. Never from the worker thread.
    void Shutdown();

protected:
    // Serves the connection until it ends. Worker thread only. An exception that escapes it
    // ends the connection and is otherwise dropped.
    virtual void ClientExecute() = 0;

    // The connection's descriptor, -1 once closed. Worker thread only.
    int ClientSocket() const;

    // Closes the connection. Worker thread only; safe against a concurrent Terminate().
    void CloseConnection();
    // Closes the connection as platform::closeAfterPeer does: orderly only after the peer's end
    // of stream was read, else by an abort. Worker thread only.
    void CloseAfterPeer();

    // Thread safe.
    bool Terminated() const;
    // Stopped by Terminate(): ends the worker's waits for the database mutex at once.
    std::stop_token StopToken() const { return m_stop.get_token(); }

private:
    friend class TServerSocket;

    void run();
    // Called on the worker thread each time a connection has ended; set by the listener
    // while the worker is idle.
    void setIdleHandler(std::function<void()> handler);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;         // guarded by m_mutex
    platform::UniqueFd m_connection;        // guarded by m_mutex
    bool m_hasConnection = false;           // guarded by m_mutex
    std::function<void()> m_idleHandler;    // guarded by m_mutex
    std::thread m_thread;                   // started by Serve(), joined by Shutdown()
    std::stop_source m_stop; // requested by Terminate(); thread safe in itself
};

} // namespace hvn::retriever
