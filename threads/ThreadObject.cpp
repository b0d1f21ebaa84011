#include "threads/ThreadObject.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

namespace pw {

namespace {

// Every live thread object by handle, for the handle-based calls.
struct Registry {
    std::mutex mutex;
    QHash<TThreadHandle, TThreadObject*> objects;
    TThreadHandle lastHandle = 0;
};

Registry& registry() {
    static Registry r;
    return r;
}

TThreadHandle newHandle() {
    std::lock_guard lock(registry().mutex);
    return ++registry().lastHandle;
}

} // namespace

TThreadObject::TThreadObject()
    : m_handle(newHandle()) {
    try {
        m_thread = std::thread([this] { threadMain(); });
    } catch (const std::system_error& e) {
        throw EThreadError("Thread creation error: " + e.code().message());
    }
    std::lock_guard lock(registry().mutex);
    registry().objects.insert(m_handle, this);
}

TThreadObject::~TThreadObject() {
    {
        std::lock_guard lock(registry().mutex);
        registry().objects.remove(m_handle);
    }
    {
        std::lock_guard lock(m_mutex);
        m_freeOnTerminate = false; // this is the release
        if (m_state == State::Held) {
            m_quit = true;
            m_changed.notify_all();
        }
    }
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // deleted by its own body: nobody is left to wait for
    else
        m_thread.join();
}

bool TThreadObject::FreeOnTerminate() const {
    std::lock_guard lock(m_mutex);
    return m_freeOnTerminate;
}

void TThreadObject::setFreeOnTerminate(bool free) {
    std::lock_guard lock(m_mutex);
    m_freeOnTerminate = free;
}

int TThreadObject::Resume() {
    std::lock_guard lock(m_mutex);
    if (m_state == State::Finished || m_quit) return -1;
    if (m_state == State::Running || m_holds == 0) return 0;
    const int before = m_holds--;
    m_changed.notify_all();
    return before;
}

int TThreadObject::Suspend() {
    std::lock_guard lock(m_mutex);
    if (m_state != State::Held || m_quit) return -1;
    return m_holds++;
}

bool TThreadObject::Quit() {
    std::lock_guard lock(m_mutex);
    if (m_state != State::Held || m_quit) return false;
    m_quit = true;
    m_changed.notify_all();
    return true;
}

int TThreadObject::priority() const {
    std::unique_lock lock(m_mutex);
    // The lock keeps the thread from ending, so its id cannot name another thread meanwhile.
    m_changed.wait(lock, [this] { return m_tid != 0 || m_state == State::Finished; });
    if (m_state == State::Finished) return ThreadPriorityError;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(m_tid));
    if (nice == -1 && errno != 0) return ThreadPriorityError;
    return -nice;
}

bool TThreadObject::setPriority(int priority) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_tid != 0 || m_state == State::Finished; });
    if (m_state == State::Finished) return false;
    const int nice = std::clamp(-priority, -20, 19);
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(m_tid), nice) == 0;
}

void TThreadObject::requestStop() {
    m_stop = true;
}

bool TThreadObject::stopRequested() const {
    return m_stop;
}

std::exception_ptr TThreadObject::fatalError() const {
    std::lock_guard lock(m_mutex);
    return m_fatal;
}

bool TThreadObject::withHandle(TThreadHandle handle,
                               const std::function<void(TThreadObject&)>& use) {
    std::lock_guard lock(registry().mutex);
    TThreadObject* object = registry().objects.value(handle);
    if (!object) return false;
    use(*object);
    return true;
}

void TThreadObject::Synchronize(const std::function<void()>& call) {
    QMetaObject::invokeMethod(
        this,
        [this, &call] {
            try {
                call();
            } catch (...) {
                std::lock_guard lock(m_mutex);
                m_fatal = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
}

void TThreadObject::threadMain() {
    if (waitForStart()) {
        try {
            Execute();
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_fatal = std::current_exception();
        }
        if (OnTerminate) Synchronize(OnTerminate);
    }
    finish();
}

bool TThreadObject::waitForStart() {
    std::unique_lock lock(m_mutex);
    m_tid = ::gettid();
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_holds == 0 || m_quit; });
    if (m_quit) return false;
    m_state = State::Running;
    return true;
}

void TThreadObject::finish() {
    bool release = false;
    {
        std::lock_guard lock(m_mutex);
        m_state = State::Finished;
        m_tid = 0;
        release = m_freeOnTerminate;
        m_changed.notify_all();
    }
    if (release) deleteLater(); // the last touch of this object on this thread
}

} // namespace pw
