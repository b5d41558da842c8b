#pragma once

struct sqlite3;

namespace hvn::console {

class TDbConnection;

// A read transaction on the console's connection whose snapshot is fixed on construction:
// every statement run on that connection while the object lives sees the database exactly as
// it was then, whatever the service commits meanwhile (WAL mode). Taken under the database
// lock, it lets the lock go back before the reading starts. Construction connects on first use
// and throws with the engine's text, leaving no transaction open; destruction ends the
// transaction on every path and never throws. Statements stepped inside must be finished or
// reset before it ends. No writes inside: a write would need the lock the snapshot outlives.
// One per connection at a time. Move-only; GUI thread only.
class ReadSnapshot {
public:
    explicit ReadSnapshot(TDbConnection &conn);
    ~ReadSnapshot();
    ReadSnapshot(ReadSnapshot &&other) noexcept;
    // Ends this object's transaction first, then takes the other's.
    ReadSnapshot &operator=(ReadSnapshot &&other) noexcept;
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    void end() noexcept;

    sqlite3 *m_db;
};

} // namespace hvn::console
