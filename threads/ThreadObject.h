#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <sys/types.h>

namespace pw {

// Names a thread object for the handle-based calls; 0 names none. Handles are never reused, so
// a handle kept after its object has gone only makes those calls fail.
using TThreadHandle = quint64;

// "Thread creation error: <the system's text>"
class EThreadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The priority read from a handle that names no live thread (Windows'
// THREAD_PRIORITY_ERROR_RETURN).
inline constexpr int ThreadPriorityError = 0x7FFFFFFF;

// An object that owns one operating-system thread. The thread is created with the object and held
// before its body until Resume. The body runs on the new thread; then, if set, OnTerminate runs
// on the owner's thread (the thread that created the object, which runs a Qt event loop) while
// the thread waits. An error escaping the body or OnTerminate is caught and kept, not reported.
// With FreeOnTerminate the object releases itself on the owner's thread once its body has ended.
// Otherwise whoever deletes it waits for the thread to end, so it must not be deleted while its
// body runs. Deleting a thread that never started ends it without running its body.
class TThreadObject : public QObject {
    Q_OBJECT

public:
    TThreadObject(); // throws EThreadError
    ~TThreadObject() override;
    TThreadObject(const TThreadObject&) = delete;
    TThreadObject& operator=(const TThreadObject&) = delete;

    TThreadHandle Handle() const { return m_handle; }

    bool FreeOnTerminate() const;
    void setFreeOnTerminate(bool free); // may be changed until the body has ended
    std::function<void()> OnTerminate;  // set before Resume

    // A new thread is held once. Resume removes one hold and returns the holds before it (0 for a
    // running thread); the body starts when none is left. Suspend adds a hold, but only to a thread
    // that has not started: Linux cannot stop a running thread from outside. -1 when the thread
    // has ended or was quit, or (Suspend) has started.
    int Resume();
    int Suspend();
    // Ends a thread that has not started, without its body or OnTerminate. A running thread cannot
    // be killed safely on Linux: false, and nothing happens.
    bool Quit();

    // The nearest Linux meaning of a thread's priority: its nice value, negated so that larger is
    // more urgent as on Windows (0 normal). ThreadPriorityError once the thread has ended.
    int priority() const;
    bool setPriority(int priority); // raising it above 0 needs CAP_SYS_NICE

    void requestStop();
    bool stopRequested() const;
    std::exception_ptr fatalError() const;

    // Calls use with the live thread object of handle, under the lock that keeps it alive;
    // false when the handle names none.
    static bool withHandle(TThreadHandle handle, const std::function<void(TThreadObject&)>& use);

protected:
    virtual void Execute() = 0;
    // Runs call on the owner's thread and waits until it has run.
    void Synchronize(const std::function<void()>& call);

private:
    enum class State { Held, Running, Finished };

    void threadMain();
    bool waitForStart();
    void finish();

    const TThreadHandle m_handle;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    State m_state = State::Held;
    int m_holds = 1;
    bool m_quit = false;
    bool m_freeOnTerminate = false;
    pid_t m_tid = 0; // 0 until the thread has begun and again once it has ended
    std::atomic<bool> m_stop = false;
    std::exception_ptr m_fatal;
    std::thread m_thread;
};

} // namespace pw
