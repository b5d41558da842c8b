#pragma once

#include <chrono>
#include <cstddef>

#include "ServerClientThread.h"

namespace hvn::retriever {

// Worker of the console lock listener. On "DBREAD" it takes the named mutex hvnDatabase
// (waiting without limit, unless the worker is asked to stop) and answers "OK\n"; it gives the mutex back on the client's next
// non-empty read, on disconnection or after idleLimit of silence. Anything else is answered
// "NG\n" and the connection is closed. Several grants may follow on one connection.
//
// Created on the listener thread; serves on its own thread, which alone takes and releases
// the mutex.
class TConsoleSocket : public TServerClientThread {
public:
    static constexpr std::chrono::milliseconds kDefaultIdleLimit{60000};
    static constexpr std::size_t kReadSize = 1000;

    explicit TConsoleSocket(std::chrono::milliseconds idleLimit = kDefaultIdleLimit);
    ~TConsoleSocket() override;

    // Serves the connection until it ends; the connection is then closed. Worker thread only.
    void ServeConsole();

protected:
    void ClientExecute() override;

private:
    std::chrono::milliseconds m_idleLimit;
};

} // namespace hvn::retriever
