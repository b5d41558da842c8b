#include "NamedMutex.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace hvn::platform {

namespace detail {

// Ticketed ownership: every waiter draws the next ticket and owns the mutex once the ticket
// being served is its own, so grants follow arrival order.
struct NamedMutexState {
    explicit NamedMutexState(std::string n) : name(std::move(n)) {}

    const std::string name;
    std::mutex mutex;
    std::condition_variable turn;
    std::uint64_t nextTicket = 0;   // guarded by mutex
    std::uint64_t serving = 0;      // guarded by mutex; ticket allowed to own the mutex
    std::thread::id owner;          // guarded by mutex; default id: not owned
    unsigned depth = 0;             // guarded by mutex; lock() calls of the owner not yet undone

    // Precondition: mutex held, depth reached 0 or the owner is gone.
    void passOn()
    {
        owner = std::thread::id();
        depth = 0;
        ++serving;
        turn.notify_all();
    }
};

} // namespace detail

namespace {

using detail::NamedMutexState;

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<NamedMutexState>, std::less<>> byName; // guarded by mutex
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

// The mutexes the current thread owns; when the thread ends still owning one, that mutex is
// abandoned and passes to its next waiter.
class OwnedByThread {
public:
    ~OwnedByThread()
    {
        for (const auto &state : m_owned) {
            std::lock_guard lock(state->mutex);
            if (state->owner == std::this_thread::get_id())
                state->passOn();
        }
    }
    void add(std::shared_ptr<NamedMutexState> state) { m_owned.push_back(std::move(state)); }
    void remove(const NamedMutexState *state)
    {
        for (auto it = m_owned.begin(); it != m_owned.end(); ++it) {
            if (it->get() == state) {
                m_owned.erase(it);
                return;
            }
        }
    }

private:
    std::vector<std::shared_ptr<NamedMutexState>> m_owned;
};

thread_local OwnedByThread t_owned;

} // namespace

NamedMutex::NamedMutex(std::string_view name)
{
    Registry &reg = registry();
    std::lock_guard lock(reg.mutex);
    std::erase_if(reg.byName, [](const auto &entry) { return entry.second.expired(); });
    auto it = reg.byName.find(name);
    if (it != reg.byName.end())
        m_state = it->second.lock();
    if (!m_state) {
        // Named but not registered, or its last handle went meanwhile: a new mutex.
        m_state = std::make_shared<NamedMutexState>(std::string(name));
        reg.byName.insert_or_assign(std::string(name), m_state);
    }
}

const std::string &NamedMutex::name() const
{
    return m_state->name;
}

void NamedMutex::lock()
{
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_state->mutex);
    if (m_state->owner == self) {
        ++m_state->depth;
        return;
    }
    const std::uint64_t ticket = m_state->nextTicket++;
    m_state->turn.wait(lock, [&] { return m_state->serving == ticket; });
    m_state->owner = self;
    m_state->depth = 1;
    lock.unlock();
    t_owned.add(m_state);
}

bool NamedMutex::tryLock()
{
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_state->mutex);
    if (m_state->owner == self) {
        ++m_state->depth;
        return true;
    }
    if (m_state->serving != m_state->nextTicket)
        return false;
    ++m_state->nextTicket;
    m_state->owner = self;
    m_state->depth = 1;
    lock.unlock();
    t_owned.add(m_state);
    return true;
}

void NamedMutex::unlock()
{
    std::unique_lock lock(m_state->mutex);
    if (m_state->owner != std::this_thread::get_id())
        throw std::logic_error("named mutex " + m_state->name + " released by a thread that does not own it");
    if (--m_state->depth > 0)
        return;
    m_state->passOn();
    lock.unlock();
    t_owned.remove(m_state.get());
}

bool NamedMutex::ownedByCurrentThread() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->owner == std::this_thread::get_id();
}

std::size_t NamedMutex::waiters() const
{
    std::lock_guard lock(m_state->mutex);
    // Tickets drawn but not yet served, less the one the owner holds.
    const std::uint64_t pending = m_state->nextTicket - m_state->serving;
    return static_cast<std::size_t>(m_state->owner == std::thread::id() ? pending : pending - 1);
}

NamedMutexLock::NamedMutexLock(NamedMutex mutex) : m_mutex(std::move(mutex))
{
    m_mutex.lock();
    m_owns = true;
}

NamedMutexLock::~NamedMutexLock()
{
    unlock();
}

NamedMutexLock::NamedMutexLock(NamedMutexLock &&other) noexcept
    : m_mutex(other.m_mutex), m_owns(std::exchange(other.m_owns, false))
{
}

NamedMutexLock &NamedMutexLock::operator=(NamedMutexLock &&other) noexcept
{
    if (this != &other) {
        unlock();
        m_mutex = other.m_mutex;
        m_owns = std::exchange(other.m_owns, false);
    }
    return *this;
}

void NamedMutexLock::unlock()
{
    if (std::exchange(m_owns, false))
        m_mutex.unlock();
}

} // namespace hvn::platform
