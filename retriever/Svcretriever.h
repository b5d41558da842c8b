#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "Consolethread.h"
#include "Dmregistry.h"
#include "Newserverthread.h"
#include "ServerSocket.h"

namespace hvn::retriever {

// The service object: the print-record listener ServerSocket1 and the console lock listener
// ConsoleSocket, each serving every accepted connection on a worker of its own (a
// TNewServerThread or a TConsoleSocket), both on every interface.
//
// ServiceStart, ServiceStop and the destructor belong to one control thread; the listeners
// call the GetThread handlers on their accepting threads. The idle limits are how long a
// silent connection is kept; tests shorten them.
class TRetriever {
public:
    static constexpr std::string_view Name = "Retriever";
    static constexpr std::string_view DisplayName = "hvnRetriever";
    // The ports the listeners carry until ServiceStart replaces them with the settings.
    static constexpr std::uint16_t kDesignPort = 1033;
    static constexpr std::uint16_t kDesignConsolePort = 1034;

    explicit TRetriever(TdmRegistryCtl registry = TdmRegistryCtl(),
                        std::chrono::milliseconds agentIdleLimit = TNewServerThread::kDefaultIdleLimit,
                        std::chrono::milliseconds consoleIdleLimit = TConsoleSocket::kDefaultIdleLimit);
    ~TRetriever(); // ServiceStop()

    TRetriever(const TRetriever &) = delete;
    TRetriever &operator=(const TRetriever &) = delete;

    // Sets the listeners' ports to PortNumber and PortNumberConsole from the settings (a
    // missing value gives 0, a free port) and opens ServerSocket1, then ConsoleSocket. Throws
    // std::system_error when a listener cannot listen and std::invalid_argument for a setting
    // that is no TCP port; the console port is then not opened, and nothing stays open.
    void ServiceStart();

    // Closes ServerSocket1, then ConsoleSocket; each close waits for that listener's workers
    // to end, which lasts as long as a worker waits for the database mutex. Idempotent.
    void ServiceStop();

    // Thread handlers of the two listeners: a new worker for an accepted connection.
    std::unique_ptr<TServerClientThread> ServerSocket1GetThread();
    std::unique_ptr<TServerClientThread> ConsoleSocketGetThread();

private:
    TdmRegistryCtl m_registry;
    std::chrono::milliseconds m_agentIdleLimit;
    std::chrono::milliseconds m_consoleIdleLimit;

public:
    // Declared after what the handlers use, so that the listeners close first.
    TServerSocket ServerSocket1;
    TServerSocket ConsoleSocket;
};

} // namespace hvn::retriever
