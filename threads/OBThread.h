#pragma once

#include "common/Events.h"
#include "threads/OBHideThread.h"
#include "threads/ThreadObject.h"

#include <QByteArray>
#include <QList>
#include <QObject>

namespace pw {

// Runs OnExecute on a new thread at each Execute and tells the owner's thread (the thread of the
// Qt event loop that owns the component) when each thread ends (OnFinish) and when the last
// counted one ends (OnFinishAll). With Exclusif it runs one job at a time and refuses the others.
// Every event is raised with an empty sender. The count is touched on the owner's thread only, so
// Execute must be called there.
class TOBThread : public QObject {
    Q_OBJECT
    Q_PROPERTY(QByteArray About READ About WRITE setAbout)
    Q_PROPERTY(bool Exclusif READ Exclusif WRITE setExclusif)
    Q_PROPERTY(bool RunOnCreate READ RunOnCreate WRITE setRunOnCreate)
    Q_PROPERTY(bool FreeOnTerminate READ FreeOnTerminate WRITE setFreeOnTerminate)

public:
    explicit TOBThread(QObject* owner = nullptr);
    // Threads still running are neither stopped nor waited for; their ends no longer reach this
    // component's events. Finished threads kept by FreeOnTerminate false are released here.
    ~TOBThread() override;

    int ThreadCount() const { return m_threadCount; }
    bool Exclusif() const { return m_exclusif; }
    void setExclusif(bool on) { m_exclusif = on; }
    bool RunOnCreate() const { return m_runOnCreate; }
    void setRunOnCreate(bool on) { m_runOnCreate = on; }
    bool FreeOnTerminate() const { return m_freeOnTerminate; }
    void setFreeOnTerminate(bool on) { m_freeOnTerminate = on; }
    const QByteArray& About() const { return m_about; }
    void setAbout(const QByteArray& text) { m_about = text; }

    TNotifyEvent Onbegin;         // on the caller of Execute, before the new thread has run
    TNotifyEventParams OnExecute; // on the new thread, with the params given to Execute
    TNotifyEvent OnFinish;        // on the owner's thread, once per ended thread
    TNotifyEvent OnFinishAll;     // after OnFinish, when no thread is counted any more

    // Starts a thread running OnExecute(nullptr, params) and returns its handle; 0, and nothing
    // else, without OnExecute or when Exclusif refuses. Throws EThreadError "Thread creation
    // error: %s" when the system refuses a thread; then nothing has changed. Only on the owner's
    // thread (EAssertionFailed elsewhere).
    Q_INVOKABLE TThreadHandle Execute(void* params = nullptr);
    Q_INVOKABLE bool OneThreadIsRunning() const { return m_threadCount > 0; }

    // For any handle from Execute (see TThreadObject for their Linux meaning). A thread ended by
    // QuitThread never runs its finish events, so it stays counted.
    Q_INVOKABLE int GetPriority(TThreadHandle handle) const; // 0 for handle 0
    Q_INVOKABLE bool SetPriority(TThreadHandle handle, int priority);
    Q_INVOKABLE bool QuitThread(TThreadHandle handle);
    Q_INVOKABLE int Suspend(TThreadHandle handle);
    Q_INVOKABLE int Resume(TThreadHandle handle);

private:
    void HideThreadTerminate(TOBHideThread* thread);

    int m_threadCount = 0;
    bool m_exclusif = true;
    bool m_runOnCreate = true;
    bool m_freeOnTerminate = true;
    QByteArray m_about;
    QList<TOBHideThread*> m_kept; // ended threads that do not release themselves
};

} // namespace pw
