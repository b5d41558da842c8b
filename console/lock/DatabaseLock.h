#pragma once

namespace hvn::console {

class TMainForm;

// Holds the service's database lock for its lifetime: SocketMutexOn() on construction and,
// when that was granted, SocketMutexOff() on destruction, also when the work in between
// throws. A refused lock leaves granted() false and the work is to be skipped. Brackets do
// not nest (the main window has one lock channel). GUI thread only.
class DatabaseLock {
public:
    explicit DatabaseLock(TMainForm &form);
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    bool granted() const { return m_granted; }

private:
    TMainForm &m_form;
    bool m_granted;
};

} // namespace hvn::console
