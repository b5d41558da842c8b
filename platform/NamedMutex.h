#pragma once

#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace hvn::platform {

namespace detail {
struct NamedMutexState;
}

// A process-wide mutex found by name, standing in for a kernel named mutex.
//
// Every NamedMutex constructed with the same name refers to the same mutex while any of them
// exists; the mutex goes away with its last handle. Ownership belongs to the thread that takes
// it and may be taken again by the owner (each lock() needs its unlock()). Waiters are granted
// the mutex in the order they began to wait, and waits have no time limit; a release hands the
// mutex to the first waiter and wakes that one alone, so a release costs the same however many
// wait. A thread that ends while it owns the mutex abandons it: the ownership passes to the
// next waiter as if released.
//
// Handles are cheap to copy. Thread safe.
class NamedMutex {
public:
    // Finds the mutex registered under name, creating it when there is none.
    explicit NamedMutex(std::string_view name);

    const std::string &name() const;

    // Waits without limit until the calling thread owns the mutex.
    void lock();
    // The same, except that a stop requested on stop ends the wait at once, without ownership
    // and without disturbing the other waiters' order. True when the caller owns the mutex.
    bool lock(std::stop_token stop);
    // Takes the mutex only when it is free and nobody waits for it, or the caller owns it.
    bool tryLock();
    // Gives up one level of ownership. Throws std::logic_error when the caller is not the owner.
    void unlock();

    bool ownedByCurrentThread() const;
    // Threads waiting in lock() right now. For diagnostics and tests.
    std::size_t waiters() const;

private:
    std::shared_ptr<detail::NamedMutexState> m_state;
};

// Owns a NamedMutex for its lifetime: takes it (waiting without limit) on construction and
// releases it on destruction or unlock(). Move-only; must be destroyed on the owning thread.
class NamedMutexLock {
public:
    explicit NamedMutexLock(NamedMutex mutex);
    // Waits until owned or until a stop is requested on stop; ownsLock() tells which.
    NamedMutexLock(NamedMutex mutex, std::stop_token stop);
    ~NamedMutexLock();

    NamedMutexLock(NamedMutexLock &&other) noexcept;
    NamedMutexLock &operator=(NamedMutexLock &&other) noexcept;
    NamedMutexLock(const NamedMutexLock &) = delete;
    NamedMutexLock &operator=(const NamedMutexLock &) = delete;

    bool ownsLock() const { return m_owns; }
    // Releases the mutex early. No effect when already released.
    void unlock();

private:
    NamedMutex m_mutex;
    bool m_owns = false;
};

} // namespace hvn::platform
