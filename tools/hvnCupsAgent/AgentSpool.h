#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "UniqueFd.h"

namespace hvn::cupsagent {

// The records a job's agent has made and not yet seen delivered: one file in the spool folder,
// "cupsagent.spool", one record a line (the frame in hex and a check value), appended and
// fsync'ed under an exclusive flock on "cupsagent.lock". Lines that do not check out (the torn
// tail of an append that a crash cut short) are skipped, and dropped with the next removal.
// Delivered records are removed by replacing the file atomically (temporary file, fsync,
// rename) under the same lock, so an appender never waits for a delivery and a kill at any
// point leaves every record either in the file or delivered.
//
// Thread safe and process safe: every call opens, locks and closes the files on its own.
class AgentSpool {
public:
    // The folder is created (mode 0750) on first write.
    explicit AgentSpool(std::filesystem::path folder);

    std::filesystem::path spoolPath() const { return m_folder / "cupsagent.spool"; }
    std::filesystem::path lockPath() const { return m_folder / "cupsagent.lock"; }
    std::filesystem::path deliveryLockPath() const { return m_folder / "cupsagent.deliver.lock"; }

    // Appends one frame and fsyncs it. Throws std::runtime_error with the reason.
    void append(std::string_view frame) const;

    struct Contents {
        std::vector<std::string> frames; // in spool order
        std::uint64_t end = 0;           // byte offset after the last complete line read
    };
    // The records now in the spool; an absent spool is empty. Throws std::runtime_error.
    Contents read() const;

    // Removes the lines before offset `end` of an earlier read(); lines appended since stay.
    // Precondition: the caller holds the delivery lock since that read(), so the prefix is
    // unchanged. Throws std::runtime_error; the spool is then as it was.
    void removeThrough(std::uint64_t end) const;

    // Exclusive right to deliver and remove records, released when the returned descriptor
    // closes (also when the holder dies). While another process holds it: blocks when wait,
    // else returns an empty descriptor. Throws std::runtime_error, also when the spool folder
    // does not exist.
    platform::UniqueFd lockForDelivery(bool wait = true) const;

    // The line that stands for a frame, and the frame a line stands for ("" when the line
    // does not check out). Exposed for tests.
    static std::string encodeLine(std::string_view frame);
    static std::string decodeLine(std::string_view line);

private:
    std::filesystem::path m_folder;
};

// Jobs that printed but could not be counted: "uncounted.log" in the spool folder, one
// tab-separated line each (time, queue, job id, user, document format, reason), appended
// under the spool's lock. Thread safe and process safe.
struct UncountedJob {
    std::string time;
    std::string queue;
    std::string jobId;
    std::string user;
    std::string format;
    std::string reason;
};

class UncountedJournal {
public:
    explicit UncountedJournal(std::filesystem::path folder);

    std::filesystem::path path() const { return m_folder / "uncounted.log"; }

    // Throws std::runtime_error with the reason.
    void append(const UncountedJob &job) const;
    // Every entry, oldest first; an absent journal is empty. Throws std::runtime_error.
    std::vector<UncountedJob> entries() const;

private:
    std::filesystem::path m_folder;
};

} // namespace hvn::cupsagent
