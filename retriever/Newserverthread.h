#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "Dmregistry.h"
#include "ServerClientThread.h"

namespace hvn::retriever {

class TdmDatabase;

// Name of the process-wide mutex that serialises all database work of the service.
inline constexpr std::string_view kDatabaseMutexName = "hvnDatabase";

// Worker of the print-record listener. For the whole life of its connection it owns the named
// mutex hvnDatabase and a TdmDatabase of its own; it cuts the agent's byte stream into framed
// records and stores each in its own transaction. It never sends a byte.
//
// Created on the listener thread; serves on its own thread (TServerClientThread). A reused
// worker starts each connection afresh.
class TNewServerThread : public TServerClientThread {
public:
    static constexpr std::chrono::milliseconds kDefaultIdleLimit{60000};
    static constexpr std::size_t kReadSize = 1000;
    // The carry-over of an unterminated record is cut to this size: a record body is 158 bytes,
    // so anything beyond can never be used, and a peer that never sends ETX must not exhaust
    // memory.
    static constexpr std::size_t kMaxCarryOver = 64 * 1024;

    using RecordHandler = std::function<void(std::string_view body)>;

    // registry supplies DatabasePath; idleLimit is how long a silent connection is kept.
    explicit TNewServerThread(TdmRegistryCtl registry = TdmRegistryCtl(),
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
    // is handed to onRecord in order (empty bodies are skipped: they carry no data), and
    // carryOver is left holding the unterminated record, at most kMaxCarryOver bytes.
    static void CutRecords(std::string &carryOver, std::string_view read,
                           const RecordHandler &onRecord);

    // Stores one record body in a transaction of its own: user, printer, print row. A database
    // failure rolls that record back and is otherwise dropped, so the next record goes on.
    static void StoreRecord(TdmDatabase &database, std::string_view body) noexcept;

protected:
    void ClientExecute() override;

private:
    TdmRegistryCtl m_registry;
    std::chrono::milliseconds m_idleLimit;
};

} // namespace hvn::retriever
