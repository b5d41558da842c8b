#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RecordBody.h"
#include "ServerClientThread.h"

namespace hvn::retriever {

class RecordKeeper;
class TdmDatabase;

// Name of the process-wide mutex that serialises all database work of the service.
inline constexpr std::string_view kDatabaseMutexName = "hvnDatabase";

// Worker of the print-record listener. It cuts the agent's byte stream into framed records and,
// once a read has completed some, takes the named mutex hvnDatabase, has them stored, each in
// its own transaction, and gives the mutex back; so a connection that trickles or idles holds
// back neither the other agents nor the console. Its TdmDatabase opens with the first records
// and lives as long as the connection. It never sends a byte.
//
// Created on the listener thread; serves on its own thread (TServerClientThread). A reused
// worker starts each connection afresh. A worker asked to stop while it waits for the mutex
// stops waiting at once; it reads what has already arrived for its connection, and every
// complete record it has read is stored or kept.
class TNewServerThread : public TServerClientThread {
public:
    static constexpr std::chrono::milliseconds kDefaultIdleLimit{60000};
    static constexpr std::size_t kReadSize = 1000;
    // The carry-over of an unterminated record is its STX and the first bytes of its body, as
    // many as a record uses: the fields end at body position 158, so later bytes would never
    // reach the database, and each read would only scan them again.
    static constexpr std::size_t kMaxCarryOver = 1 + record::kBodySize;

    // At a stop, at most this much that has already arrived is still read.
    static constexpr std::size_t kReadOnStopLimit = 16 * 1024 * 1024;

    using RecordHandler = std::function<void(std::string_view body)>;

    // keeper stores the records (it is shared by the workers of one service run); idleLimit is
    // how long a silent connection is kept.
    explicit TNewServerThread(std::shared_ptr<RecordKeeper> keeper,
                              std::chrono::milliseconds idleLimit = kDefaultIdleLimit);
    ~TNewServerThread() override;

    // Serves the whole connection; the connection is closed when it returns. Worker thread only.
    void ServeConnection();

    // Scans text from the 1-based position start up to position length (positions past the end
    // of text match nothing) for the next record. Returns the position just after its ETX, with
    // the body appended to record, or 0 when no further record is complete; an unterminated
    // record is then appended to record as STX + its bytes so far. Bytes outside a record are
    // dropped; an STX inside a record starts it again.
    static int ExtractRecord(std::string_view text, int length, int start, std::string &record);

    // One read: the bytes before the first NUL are appended to carryOver, every complete record
    // is handed to onRecord in order, cut to record::kBodySize (empty bodies are skipped: they
    // carry no data), and carryOver is left holding the unterminated record, at most
    // kMaxCarryOver bytes.
    static void CutRecords(std::string &carryOver, std::string_view read,
                           const RecordHandler &onRecord);

    // The records of bytes a connection sent, cut as the worker's reads of kReadSize would cut
    // them; an unterminated record at the end is dropped.
    static std::vector<std::string> RecordsOf(std::string_view received);

    struct StoreResult {
        enum class Kind {
            Stored,      // committed (a body with an invalid date commits its names alone)
            Refused,     // the database refuses this record; later records go on
            Unavailable, // the database cannot take writes now (StorageUnavailable)
        };
        Kind kind = Kind::Stored;
        std::string reason; // the failure's text, unless stored
    };

    // Stores one record body in a transaction of its own: user, printer, print row. On a
    // failure the record is rolled back, so the next record starts a transaction of its own.
    static StoreResult StoreRecord(TdmDatabase &database, std::string_view body) noexcept;

protected:
    void ClientExecute() override;

private:
    // Has the records stored under hvnDatabase, or kept when the worker is asked to stop
    // before it owns the mutex, and empties the list.
    void storeRecords(std::vector<std::string> &records, std::unique_ptr<TdmDatabase> &database);

    std::shared_ptr<RecordKeeper> m_keeper;
    std::chrono::milliseconds m_idleLimit;
};

} // namespace hvn::retriever
