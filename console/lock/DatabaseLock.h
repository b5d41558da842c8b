#pragma once

#include "data/ReadSnapshot.h"

namespace hvn::console {

class TDbConnection;
class TMainForm;

// Holds the service's database lock: SocketMutexOn() on construction and, while it is held,
// SocketMutexOff() on destruction, also when the work in between throws. A refused lock
// leaves granted() false and the work is to be skipped. Brackets do not nest (the main window
// has one lock channel), so construction first ends the print-record tab's load if one is
// still running (its snapshot would stand in the way of this bracket's work).
//
// Writers keep the lock to the end. A reader calls readSnapshot() once its writes, if any,
// are done: the snapshot is fixed under the lock and the lock goes back at once, so the
// service stores records while the console reads. GUI thread only.
class DatabaseLock {
public:
    explicit DatabaseLock(TMainForm &form);
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    // True when the lock was granted, also after readSnapshot() gave it back.
    bool granted() const { return m_granted; }
    // True while this bracket holds the lock.
    bool held() const { return m_held; }

    // Fixes a read snapshot on conn and gives the lock back. Precondition: held(). Throws as
    // ReadSnapshot does, and then the lock stays held until destruction.
    ReadSnapshot readSnapshot(TDbConnection &conn);

private:
    void release();

    TMainForm &m_form;
    bool m_granted;
    bool m_held;
};

} // namespace hvn::console
