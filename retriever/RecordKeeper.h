#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Connection.h"
#include "Dmregistry.h"
#include "EventLog.h"
#include "RecordSpool.h"

namespace hvn::retriever {

class TdmDatabase;

// How a RecordKeeper keeps and stores; tests shorten the times and collect the event log.
struct RecordKeepingOptions {
    std::chrono::milliseconds busyTimeout = db::kDefaultBusyTimeout;
    // Pause between attempts to store kept records while the database refuses them.
    std::chrono::milliseconds retryInterval{1000};
    std::function<void(platform::EventSeverity, std::string_view)> report = platform::reportEvent;
};

// Where the print records of every agent connection go: into the database when it takes
// them, otherwise into a spool file beside it ("<DatabasePath>.spool"), from which a thread
// of its own stores them, in arrival order, as soon as the database takes writes again.
// While records are kept, new ones join them rather than overtake them. The event log says
// when records begin to be kept and when the kept ones have been stored; nothing that could
// be neither stored nor kept goes without an entry.
//
// Shared by the workers of one service run; thread safe. store() and the thread's storing
// run under the database mutex hvnDatabase; keep() needs no mutex.
class RecordKeeper {
public:
    using Options = RecordKeepingOptions;

    // Reads DatabasePath and opens the spool beside it. Throws std::runtime_error with the
    // reason when no database path is set or the spool cannot be used.
    explicit RecordKeeper(TdmRegistryCtl registry, Options options = Options());
    ~RecordKeeper(); // stop()

    RecordKeeper(const RecordKeeper &) = delete;
    RecordKeeper &operator=(const RecordKeeper &) = delete;

    static std::filesystem::path SpoolPathFor(const std::filesystem::path &database);

    // Starts the thread that stores kept records, beginning with any an earlier run kept.
    void start();
    // Ends that thread; its wait for the database mutex ends at once. Idempotent.
    void stop();

    // Stores a connection's complete records, in order, each in a transaction of its own, on
    // that connection's database module, which is opened here on first use and dropped after
    // a failure that leaves it in doubt. A record the database cannot take now is kept with
    // all that follow it. Precondition: the caller owns hvnDatabase.
    void store(const std::vector<std::string> &records, std::unique_ptr<TdmDatabase> &database);

    // Keeps records without touching the database: for a worker that stops before it owns
    // hvnDatabase. reason goes to the event log when keeping begins.
    void keep(const std::vector<std::string> &records, std::string_view reason);

    // A database module of this service, as the workers use.
    std::unique_ptr<TdmDatabase> openDatabase() const;

    std::size_t keptRecords() const { return m_spool->size(); }
    const std::filesystem::path &spoolPath() const { return m_spool->path(); }

    // Kept records stored under one hold of hvnDatabase; then the thread queues for the mutex
    // again, behind the console and the agents that came meanwhile.
    static constexpr std::size_t kDrainBatch = 200;

private:
    void run(std::stop_token stop);
    // One hold of hvnDatabase; true when kept records are left that the database would take.
    bool storeKept(std::stop_token stop);
    // Stores kept records until none is left, the database refuses or kDrainBatch have been
    // stored (true); hvnDatabase held.
    bool drain(TdmDatabase &database, const std::stop_token &stop);
    void report(platform::EventSeverity severity, const std::string &message) const;

    const TdmRegistryCtl m_registry;
    const Options m_options;
    std::unique_ptr<RecordSpool> m_spool;

    std::mutex m_mutex;
    std::condition_variable_any m_wake; // guarded by m_mutex; records were kept
    bool m_keeping = false;             // guarded by m_mutex; keeping began and was reported
    std::size_t m_storedFromSpool = 0;  // guarded by m_mutex; since keeping began
    std::jthread m_thread;              // start() and stop() only
};

} // namespace hvn::retriever
