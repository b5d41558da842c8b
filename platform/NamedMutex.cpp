#include "NamedMutex.h"

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace hvn::platform {

namespace detail {

// One thread in lock(), waiting on a condition of its own, so that a release wakes only the
// thread it hands the mutex to.
struct Waiter {
    explicit Waiter(std::thread::id t) : thread(t) {}
    const std::thread::id thread;
    std::condition_variable wake;
    bool granted = false;   // guarded by NamedMutexState::mutex
    bool cancelled = false; // guarded by NamedMutexState::mutex
};

// Ownership passes straight from the releasing thread to the first waiter in arrival order.
struct NamedMutexState {
    explicit NamedMutexState(std::string n) : name(std::move(n)) {}

    const std::string name;
    std::mutex mutex;
    std::list<Waiter *> queue;  // guarded by mutex; arrival order
    std::thread::id owner;      // guarded by mutex; default id: not owned
    unsigned depth = 0;         // guarded by mutex; lock() calls of the owner not yet undone

    // Precondition: mutex held, depth reached 0 or the owner is gone.
    void passOn()
    {
        owner = std::thread::id();
        depth = 0;
        if (queue.empty())
            return;
        Waiter *next = queue.front();
        queue.pop_front();
        owner = next->thread;
        depth = 1;
        next->granted = true;
        next->wake.notify_one();
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
    lock(std::stop_token());
}

bool NamedMutex::lock(std::stop_token stop)
{
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_state->mutex);
    if (m_state->owner == self) {
        ++m_state->depth;
        return true;
    }
    if (m_state->owner == std::thread::id() && m_state->queue.empty()) {
        m_state->owner = self;
        m_state->depth = 1;
        lock.unlock();
        t_owned.add(m_state);
        return true;
    }
    if (stop.stop_requested())
        return false;

    detail::Waiter waiter(self);
    const auto place = m_state->queue.insert(m_state->queue.end(), &waiter);
    lock.unlock();
    {
        // Registered without the state's mutex held: a stop already requested runs the
        // callback right here, and the callback takes that mutex.
        std::stop_callback onStop(stop, [this, &waiter] {
            std::lock_guard guard(m_state->mutex);
            waiter.cancelled = true;
            waiter.wake.notify_one();
        });
        lock.lock();
        waiter.wake.wait(lock, [&] { return waiter.granted || waiter.cancelled; });
        if (!waiter.granted)
            m_state->queue.erase(place);
        lock.unlock();
    } // the callback is gone before the waiter it refers to
    if (!waiter.granted)
        return false;
    t_owned.add(m_state);
    return true;
}

bool NamedMutex::tryLock()
{
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_state->mutex);
    if (m_state->owner == self) {
        ++m_state->depth;
        return true;
    }
    if (m_state->owner != std::thread::id() || !m_state->queue.empty())
        return false;
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
    return m_state->queue.size();
}

NamedMutexLock::NamedMutexLock(NamedMutex mutex) : m_mutex(std::move(mutex))
{
    m_mutex.lock();
    m_owns = true;
}

NamedMutexLock::NamedMutexLock(NamedMutex mutex, std::stop_token stop) : m_mutex(std::move(mutex))
{
    m_owns = m_mutex.lock(std::move(stop));
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
