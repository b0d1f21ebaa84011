#include "search/SearchThread.h"

#include "search/SearchSession.h"

#include <algorithm>
#include <exception>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pw {

namespace {

// The thread's nice value relative to the process; raising it may be refused to an unprivileged
// user, and the search then runs at normal priority.
void applyPriority(TThreadPriority priority) {
    if (priority == tpNormal) return;
    if (priority == tpIdle) {
        const sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    static constexpr int NiceOffset[] = {19, 10, 5, 0, -5, -10, -20};
    const int base = getpriority(PRIO_PROCESS, 0);
    const int nice = std::clamp(base + NiceOffset[priority], -20, 19);
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}

} // namespace

TSearchThread::TSearchThread(std::shared_ptr<TSearchSession> session, TThreadPriority priority)
    : m_thread(&TSearchThread::body, std::move(session), priority) {}

TSearchThread::~TSearchThread() {
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

void TSearchThread::body(std::shared_ptr<TSearchSession> session, TThreadPriority priority) {
    applyPriority(priority);
    QByteArray error;
    try {
        session->Run();
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error in the search thread";
    }
    session->PostDone(error);
}

} // namespace pw
