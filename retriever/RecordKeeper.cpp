#include "RecordKeeper.h"

#include <stdexcept>
#include <system_error>

#include "Dmfdatabase.h"
#include "NamedMutex.h"
#include "Newserverthread.h"
#include "RecordBody.h"

namespace hvn::retriever {

namespace {

std::string countOf(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " print record" : " print records");
}

} // namespace

RecordKeeper::RecordKeeper(TdmRegistryCtl registry, Options options)
    : m_registry(std::move(registry)), m_options(std::move(options))
{
    const std::string database = m_registry.GetRegistryString("DatabasePath");
    if (database.empty())
        throw std::runtime_error("cannot keep print records: no database path is set (DatabasePath)");
    const std::filesystem::path path = SpoolPathFor(database);
    try {
        m_spool = std::make_unique<RecordSpool>(path);
    } catch (const std::system_error &e) {
        throw std::runtime_error(std::string(e.what()) + ": " + e.code().message());
    }
    if (m_spool->discardedBytes() > 0)
        report(platform::EventSeverity::Warning,
               "the spool file " + path.string() + " ended in " + std::to_string(m_spool->discardedBytes()) +
                   " bytes that a crash had torn; they were cut off");
    if (const std::size_t kept = m_spool->size(); kept > 0) {
        m_keeping = true;
        report(platform::EventSeverity::Warning,
               countOf(kept) + " kept by an earlier run wait in " + path.string() + " to be stored");
    }
}

RecordKeeper::~RecordKeeper()
{
    stop();
}

std::filesystem::path RecordKeeper::SpoolPathFor(const std::filesystem::path &database)
{
    std::filesystem::path spool = database;
    spool += ".spool";
    return spool;
}

void RecordKeeper::start()
{
    if (!m_thread.joinable())
        m_thread = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

void RecordKeeper::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

std::unique_ptr<TdmDatabase> RecordKeeper::openDatabase() const
{
    return std::make_unique<TdmDatabase>(m_registry, m_options.busyTimeout);
}

void RecordKeeper::report(platform::EventSeverity severity, const std::string &message) const
{
    if (m_options.report)
        m_options.report(severity, message);
}

void RecordKeeper::store(const std::vector<std::string> &records, std::unique_ptr<TdmDatabase> &database)
{
    std::size_t next = 0;
    std::string reason;
    if (!m_spool->empty())
        reason = "records kept earlier are not stored yet";
    for (; reason.empty() && next < records.size(); ++next) {
        if (!database) {
            try {
                database = openDatabase();
            } catch (const std::exception &e) {
                reason = e.what();
                break;
            }
        }
        const TNewServerThread::StoreResult result = TNewServerThread::StoreRecord(*database, records[next]);
        if (result.kind == TNewServerThread::StoreResult::Kind::Unavailable) {
            reason = result.reason;
            database.reset(); // the next records open the database afresh
            break;
        }
        if (result.kind == TNewServerThread::StoreResult::Kind::Refused)
            report(platform::EventSeverity::Error, "a print record was not stored: " + result.reason);
    }
    if (next < records.size())
        keep(std::vector<std::string>(records.begin() + static_cast<std::ptrdiff_t>(next), records.end()), reason);
}

void RecordKeeper::keep(const std::vector<std::string> &records, std::string_view reason)
{
    if (records.empty())
        return;
    std::vector<std::string> bodies;
    bodies.reserve(records.size());
    for (const std::string &r : records)
        bodies.push_back(r.substr(0, record::kBodySize));
    try {
        if (!m_spool->append(bodies))
            report(platform::EventSeverity::Error,
                   countOf(bodies.size()) + " could not be flushed to " + m_spool->path().string() +
                       "; they are stored while the service runs, but a crash of the machine may lose them");
    } catch (const std::exception &e) {
        report(platform::EventSeverity::Error, countOf(bodies.size()) + " could be neither stored nor kept and are lost: " +
                                                   std::string(reason) + "; " + e.what());
        return;
    }
    std::lock_guard lock(m_mutex);
    if (!m_keeping) {
        m_keeping = true;
        m_storedFromSpool = 0;
        report(platform::EventSeverity::Warning, "print records are kept in " + m_spool->path().string() +
                                                     " until the database takes them: " + std::string(reason));
    }
    m_wake.notify_one();
}

void RecordKeeper::run(std::stop_token stop)
{
    // What an earlier run kept is stored first, without a pause.
    bool pause = false;
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        if (pause) {
            if (!m_wake.wait(lock, stop, [this] { return !m_spool->empty(); }))
                break;
            // The records were kept because the database refused them just now.
            m_wake.wait_for(lock, stop, m_options.retryInterval, [] { return false; });
            if (stop.stop_requested())
                break;
        }
        lock.unlock();
        pause = !storeKept(stop);
        lock.lock();
    }
}

bool RecordKeeper::storeKept(std::stop_token stop)
{
    if (m_spool->empty())
        return false;
    platform::NamedMutexLock ownership(platform::NamedMutex(kDatabaseMutexName), stop);
    if (!ownership.ownsLock())
        return false;
    std::unique_ptr<TdmDatabase> database;
    try {
        database = openDatabase();
    } catch (const std::exception &) {
        return false; // not there yet: the next attempt opens it again
    }
    return drain(*database, stop);
}

bool RecordKeeper::drain(TdmDatabase &database, const std::stop_token &stop)
{
    std::size_t stored = 0;
    bool interrupted = false;
    bool more = false;
    while (!stop.stop_requested()) {
        if (stored == kDrainBatch) {
            more = true;
            break;
        }
        const std::optional<RecordSpool::Kept> next = m_spool->front();
        if (!next)
            break;
        try {
            // The print-record table grows only through this service, and only here while
            // records are kept: a row past the noted one means the attempt was committed.
            const std::int64_t lastRow = database.LastPrintRow();
            if (next->attemptedAfterRow && lastRow > *next->attemptedAfterRow) {
                m_spool->markStored(next->seq);
                ++stored;
                continue;
            }
            if (next->attemptedAfterRow != lastRow)
                m_spool->noteAttempt(next->seq, lastRow);
        } catch (const std::exception &) {
            interrupted = true;
            break;
        }
        const TNewServerThread::StoreResult result = TNewServerThread::StoreRecord(database, next->body);
        if (result.kind == TNewServerThread::StoreResult::Kind::Unavailable) {
            interrupted = true;
            break;
        }
        if (result.kind == TNewServerThread::StoreResult::Kind::Refused)
            report(platform::EventSeverity::Error, "a kept print record was not stored: " + result.reason);
        try {
            m_spool->markStored(next->seq);
        } catch (const std::exception &) {
            // It has left the queue; after a crash its attempt note tells that it was stored.
        }
        ++stored;
    }

    std::lock_guard lock(m_mutex);
    m_storedFromSpool += stored;
    if (!interrupted && m_keeping && m_spool->empty()) {
        m_keeping = false;
        report(platform::EventSeverity::Information,
               countOf(m_storedFromSpool) + " kept in " + m_spool->path().string() + " have been stored in the database");
        m_storedFromSpool = 0;
    }
    return more;
}

} // namespace hvn::retriever
