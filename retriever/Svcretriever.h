#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "Consolethread.h"
#include "Dmregistry.h"
#include "Newserverthread.h"
#include "RecordKeeper.h"
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

    // keeping: how records that the database cannot take are kept (RecordKeeper).
    explicit TRetriever(TdmRegistryCtl registry = TdmRegistryCtl(),
                        std::chrono::milliseconds agentIdleLimit = TNewServerThread::kDefaultIdleLimit,
                        std::chrono::milliseconds consoleIdleLimit = TConsoleSocket::kDefaultIdleLimit,
                        RecordKeeper::Options keeping = RecordKeeper::Options());
    ~TRetriever(); // ServiceStop()

    TRetriever(const TRetriever &) = delete;
    TRetriever &operator=(const TRetriever &) = delete;

    // Opens the spool of kept records beside the database and starts storing what it holds,
    // sets the listeners' ports to PortNumber and PortNumberConsole from the settings (a
    // missing value gives 0, a free port) and opens ServerSocket1, then ConsoleSocket. Throws
    // std::runtime_error when records could not be kept, std::system_error when a listener
    // cannot listen and std::invalid_argument for a setting that is no TCP port; the console
    // port is then not opened, and nothing stays open.
    void ServiceStart();

    // Closes ServerSocket1, then ConsoleSocket, and ends the storing of kept records. Workers
    // waiting for the database mutex stop at once and have their records kept; a close waits
    // for the worker that holds the mutex to finish the records of its read. Idempotent.
    void ServiceStop();

    // The keeper of the current run; null while stopped. Control thread only.
    const RecordKeeper *Keeper() const { return m_keeper.get(); }

    // Thread handlers of the two listeners: a new worker for an accepted connection.
    std::unique_ptr<TServerClientThread> ServerSocket1GetThread();
    std::unique_ptr<TServerClientThread> ConsoleSocketGetThread();

private:
    TdmRegistryCtl m_registry;
    std::chrono::milliseconds m_agentIdleLimit;
    std::chrono::milliseconds m_consoleIdleLimit;
    RecordKeeper::Options m_keeping;
    // Set by ServiceStart before a listener opens, reset by ServiceStop once they have closed;
    // the workers share it, so it outlives the last of them.
    std::shared_ptr<RecordKeeper> m_keeper;

public:
    // Declared after what the handlers use, so that the listeners close first.
    TServerSocket ServerSocket1;
    TServerSocket ConsoleSocket;
};

} // namespace hvn::retriever
