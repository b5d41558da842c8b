#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "UniqueFd.h"

namespace hvn::retriever {

// A durable queue of print-record bodies that could not be stored yet, in a file of its own
// beside the database. Records leave it in the order they entered, each once.
//
// The file is a header followed by append-only entries, each framed by its length and closed
// by a CRC-32, so a tail torn by a crash is recognised and cut off when the file is opened.
// Three kinds of entry: a kept record (with its sequence number), the note that a record is
// about to be stored on top of a given last print row, and the note that it has been stored.
// The note before storing is flushed first: after a crash, a record whose storing was under
// way is known to be in the database when the print-record table has grown past the noted
// row (bodies whose date is invalid add no row, and storing one of them again only finds its
// user and printer again). Once every record has left, the file is cut back to its header.
//
// Space is reserved for the file beforehand, so that records can still be kept on a disk
// that has filled up. The file is locked while open: one service per database.
//
// Thread safe. append() may be called from any thread at any time; concurrent appends share
// one flush to disk. front(), noteAttempt() and markStored() belong to whoever stores the
// records, one at a time (the holder of the database mutex).
class RecordSpool {
public:
    static constexpr std::size_t kReservedBytes = 1024 * 1024; // some 5,000 records

    struct Kept {
        std::uint64_t seq = 0;
        std::string body;
        // Set when an earlier run was storing this record when it ended: the last rowid of
        // tblPrintingData before that attempt.
        std::optional<std::int64_t> attemptedAfterRow;
    };

    // Opens the spool file at path, creating it when missing, and recovers what it holds.
    // Throws std::system_error when it cannot be opened, locked or read, and
    // std::runtime_error when it is not a spool file.
    explicit RecordSpool(std::filesystem::path path);
    ~RecordSpool();

    RecordSpool(const RecordSpool &) = delete;
    RecordSpool &operator=(const RecordSpool &) = delete;

    const std::filesystem::path &path() const { return m_path; }

    // Keeps the bodies, in order, and returns once they are on disk. Throws std::system_error
    // when they could not be written: the file then holds none of them and they are not kept.
    // False when they could not be flushed: they stay queued and are stored while the service
    // runs, but a crash of the machine may lose them.
    [[nodiscard]] bool append(const std::vector<std::string> &bodies);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // The oldest record not yet stored.
    std::optional<Kept> front() const;

    // Durably notes that the front record seq is about to be stored on a print-record table
    // whose last rowid is lastRow. Throws std::system_error; the record must then not be
    // stored.
    void noteAttempt(std::uint64_t seq, std::int64_t lastRow);
    // Removes the front record seq as stored (or as one the database refuses for good).
    // Throws std::system_error when the note cannot be written; the record has left the queue
    // all the same, and a crash before the next flush is covered by its attempt note.
    void markStored(std::uint64_t seq);

    // Bytes cut off the end of the file when it was opened: a torn or damaged tail.
    std::uintmax_t discardedBytes() const { return m_discarded; }

private:
    enum class Kind : std::uint8_t { Record = 1, Attempt = 2, Stored = 3 };

    void recover();
    void reserveSpace();
    static void encode(std::string &out, Kind kind, std::uint64_t seq, std::string_view data);
    // Writes at the end of the file; on failure the file is cut back and the error thrown.
    // Returns the number of the write, for syncThrough(). m_mutex held.
    std::uint64_t writeLocked(const std::string &bytes);
    // Returns once every write up to number `write` is on disk; one caller flushes for all.
    void syncThrough(std::unique_lock<std::mutex> &lock, std::uint64_t write);

    const std::filesystem::path m_path;
    platform::UniqueFd m_fd;
    std::uintmax_t m_discarded = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_synced;  // guarded by m_mutex; a flush ended
    std::deque<Kept> m_kept;           // guarded by m_mutex
    std::uint64_t m_nextSeq = 1;       // guarded by m_mutex
    std::uint64_t m_size = 0;          // guarded by m_mutex; bytes of valid entries
    std::uint64_t m_writes = 0;        // guarded by m_mutex; writes made
    std::uint64_t m_syncedWrites = 0;  // guarded by m_mutex; writes known to be on disk
    bool m_syncing = false;            // guarded by m_mutex
};

} // namespace hvn::retriever
