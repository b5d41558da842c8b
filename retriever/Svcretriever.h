#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "Consolethread.h"
#include "Dmregistry.h"
#include "NetworkList.h"
#include "Newserverthread.h"
#include "RecordKeeper.h"
#include "ServerSocket.h"

namespace hvn::retriever {

// What the service reads from the settings at its start.
struct ServiceSettings {
    std::uint16_t port = 0;        // PortNumber
    std::uint16_t consolePort = 0; // PortNumberConsole
    platform::NetworkList agentNetworks; // AgentNetworks; empty: every address
};

// Reads and checks the settings. Throws std::runtime_error with a one-line message naming
// the settings file when it cannot be read or is malformed, when a port is missing, is not a
// REG_DWORD or is no TCP port number (0 is allowed and picks a free port), and when
// AgentNetworks is not a REG_SZ list of networks. Blank AgentNetworks means every address.
ServiceSettings readServiceSettings(const TdmRegistryCtl &registry);

// How many connections each listener serves at once, from the process's descriptor limit
// (RLIMIT_NOFILE): every print-record worker can always open its settings and its database,
// so no accepted connection is dropped for want of a descriptor. Throws std::runtime_error
// when the limit leaves no room for a single print-record worker.
struct WorkerLimits {
    std::size_t agentWorkers;
    std::size_t consoleWorkers;
};
WorkerLimits workerLimits(std::uint64_t descriptorLimit);
WorkerLimits workerLimitsOfThisProcess();

// Writes "refused ..." to the event log for a peer outside AgentNetworks, at most once per
// interval; the next entry counts the refusals left out. Thread safe.
class RefusalLog {
public:
    explicit RefusalLog(std::chrono::milliseconds interval = std::chrono::minutes(1));
    void note(const platform::IpAddress &peer, const platform::NetworkList &allowed);

private:
    std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_lastEntry; // guarded by m_mutex
    bool m_logged = false;                              // guarded by m_mutex
    std::size_t m_leftOut = 0;                          // guarded by m_mutex
};

// The service object: the print-record listener ServerSocket1 on every interface and the
// console lock listener ConsoleSocket on the loopback addresses only, each serving every
// accepted connection on a worker of its own (a TNewServerThread or a TConsoleSocket).
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

    // Reads the settings (readServiceSettings), opens the spool of kept records beside the
    // database and starts storing what it holds, sets the listeners' ports to PortNumber and
    // PortNumberConsole, limits their workers (workerLimitsOfThisProcess), lets ServerSocket1
    // accept only the AgentNetworks, and opens ServerSocket1, then ConsoleSocket. Throws
    // std::runtime_error for settings that cannot be used or records that could not be kept,
    // and std::system_error when a listener cannot listen; the console port is then not
    // opened, and nothing stays open.
    void ServiceStart();

    // Closes ServerSocket1, then ConsoleSocket, and ends the storing of kept records. Workers
    // waiting for the database mutex stop at once and have their records kept; a close waits
    // for the worker that holds the mutex to finish the records of its read. The complete
    // records of agent connections still waiting in the kernel's queue (beyond the worker
    // limit) are kept too, after those of the workers. Idempotent.
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
    RefusalLog m_refusals;

public:
    // Declared after what the handlers use, so that the listeners close first.
    TServerSocket ServerSocket1;
    TServerSocket ConsoleSocket;
};

} // namespace hvn::retriever
