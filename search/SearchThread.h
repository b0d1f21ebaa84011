#pragma once

#include "search/FindFile.h"

#include <memory>
#include <thread>

namespace pw {

class TSearchSession;

// The thread of a threaded search: runs the walk at the given priority, shows an error that
// escapes it, and always posts the completion to the component's thread.
class TSearchThread {
public:
    // Starts the thread; throws std::system_error when it cannot be created.
    TSearchThread(std::shared_ptr<TSearchSession> session, TThreadPriority priority);
    // Waits for the thread to end (it lets go instead when called on the thread itself).
    ~TSearchThread();
    TSearchThread(const TSearchThread&) = delete;
    TSearchThread& operator=(const TSearchThread&) = delete;

private:
    // Touches nothing of this object, which may be gone before the body ends.
    static void body(std::shared_ptr<TSearchSession> session, TThreadPriority priority);

    std::thread m_thread;
};

} // namespace pw
