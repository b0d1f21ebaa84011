#include "threads/OBThread.h"

#include "common/Assert.h"

#include <QPointer>
#include <QThread>

namespace pw {

TOBThread::TOBThread(QObject* owner)
    : QObject(owner) {}

TOBThread::~TOBThread() {
    qDeleteAll(m_kept);
}

TThreadHandle TOBThread::Execute(void* params) {
    PW_REQUIRE(QThread::currentThread() == thread(), "Execute must run on the owner's thread",
               "OBThread");
    if (!OnExecute) return 0;
    if (m_exclusif && m_threadCount > 0) return 0;
    auto* thread = new TOBHideThread(params, OnExecute);
    ++m_threadCount;
    thread->setFreeOnTerminate(m_freeOnTerminate);
    thread->OnTerminate = [self = QPointer<TOBThread>(this), thread] {
        if (self)
            self->HideThreadTerminate(thread);
        else
            thread->setFreeOnTerminate(true); // nobody is left to release it
    };
    const TThreadHandle handle = thread->Handle();
    if (Onbegin) {
        try {
            Onbegin(nullptr);
        } catch (...) {
            // The caller gets the error and no handle: the thread must not stay counted unseen.
            --m_threadCount;
            delete thread;
            throw;
        }
    }
    if (m_runOnCreate) thread->Resume();
    return handle;
}

void TOBThread::HideThreadTerminate(TOBHideThread* thread) {
    if (!thread->FreeOnTerminate()) m_kept.append(thread);
    --m_threadCount;
    if (OnFinish) OnFinish(nullptr);
    // Tested after OnFinish: a job it started keeps OnFinishAll for the last one.
    if (m_threadCount == 0 && OnFinishAll) OnFinishAll(nullptr);
}

int TOBThread::GetPriority(TThreadHandle handle) const {
    if (handle == 0) return 0;
    int priority = ThreadPriorityError;
    TThreadObject::withHandle(handle, [&](TThreadObject& t) { priority = t.priority(); });
    return priority;
}

bool TOBThread::SetPriority(TThreadHandle handle, int priority) {
    bool done = false;
    TThreadObject::withHandle(handle, [&](TThreadObject& t) { done = t.setPriority(priority); });
    return done;
}

bool TOBThread::QuitThread(TThreadHandle handle) {
    bool done = false;
    TThreadObject::withHandle(handle, [&](TThreadObject& t) { done = t.Quit(); });
    return done;
}

int TOBThread::Suspend(TThreadHandle handle) {
    int before = -1;
    TThreadObject::withHandle(handle, [&](TThreadObject& t) { before = t.Suspend(); });
    return before;
}

int TOBThread::Resume(TThreadHandle handle) {
    int before = -1;
    TThreadObject::withHandle(handle, [&](TThreadObject& t) { before = t.Resume(); });
    return before;
}

} // namespace pw
