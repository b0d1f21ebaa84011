#pragma once

#include "common/Events.h"
#include "platform/FileStatus.h"
#include "search/FolderWalk.h"
#include "search/SearchCriteria.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace pw {

class TSearchSession;
class TSearchThread;

// Priority of the search thread, lowest to highest.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// An entry passed every criterion. Folder is the full path of its folder, ending with "/";
// FileInfo is valid during the call only.
using TFileMatchEvent =
    std::function<void(QObject* Sender, const QByteArray& Folder, const TSearchRec& FileInfo)>;
// The walk enters a folder; IgnoreFolder comes preset to fiNone and says what to skip.
using TFolderChangeEvent =
    std::function<void(QObject* Sender, const QByteArray& Folder, TFolderIgnore& IgnoreFolder)>;
// The walk met a symbolic link to a folder that it does not follow; Path is the link's.
using TLinkNotFollowedEvent = std::function<void(QObject* Sender, const QByteArray& Path)>;

// The search component: the host fills Criteria and calls Execute; the search runs inside
// Execute, or with Threaded on a thread of its own, and reports through the On... events.
//
// Event order: OnSearchBegin; per folder in walk order OnFolderChange, then OnFileMatch for each
// accepted entry of that folder; OnSearchAbort inside an Abort call, after which no folder or
// file event follows; OnSearchFinish once, completed or aborted. OnSearchBegin and
// OnSearchFinish run on the component's thread (for a threaded search the finish is handed back
// through its event loop); folder and file events on the searching thread, one at a time under a
// re-entrant lock shared with Abort.
class TFindFile : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Threaded READ Threaded WRITE setThreaded)
    Q_PROPERTY(pw::TThreadPriority ThreadPriority READ ThreadPriority WRITE setThreadPriority)
    Q_PROPERTY(int ScanThreads READ ScanThreads WRITE setScanThreads)

public:
    explicit TFindFile(QObject* owner = nullptr);
    // Aborts a running search without raising events. A threaded search is waited for (it stops
    // at its next check, after the file being read); an unthreaded one destroyed from inside
    // its own handler unwinds after this returns. Either way the walk touches nothing of this
    // object afterwards and posts nothing to it.
    ~TFindFile() override;

    // Writing copies the given criteria in; a running search keeps its own copy.
    TSearchCriteria& Criteria() { return m_criteria; }
    const TSearchCriteria& Criteria() const { return m_criteria; }
    void setCriteria(const TSearchCriteria& criteria) { m_criteria.Assign(criteria); }

    bool Threaded() const { return m_threaded; }
    void setThreaded(bool threaded) { m_threaded = threaded; }
    TThreadPriority ThreadPriority() const { return m_threadPriority; }
    void setThreadPriority(TThreadPriority priority) { m_threadPriority = priority; }
    // Helper threads that read files ahead of the walk when a content phrase is set (0, the
    // default: the searching thread reads each file itself). Events and their order are the same.
    int ScanThreads() const { return m_scanThreads; }
    void setScanThreads(int threads) { m_scanThreads = threads < 0 ? 0 : threads; }

    // From Execute until OnSearchFinish has returned.
    bool Busy() const { return m_busy; }
    // Abort took effect during the current or last search.
    bool Aborted() const;

    // Starts a search; does nothing while Busy. Unthreaded it returns after OnSearchFinish (an
    // error from the walk or a handler reaches the caller after the finish); threaded, once the
    // search thread runs ("Thread creation error: ..." if it cannot be started).
    void Execute();
    // Stops the running search and raises OnSearchAbort; nothing when idle or already aborted.
    // Waits until no folder or file handler runs, serving the calling thread's events meanwhile.
    void Abort();

    TFileMatchEvent OnFileMatch;
    TFolderChangeEvent OnFolderChange;
    // On the searching thread, like the folder and file events, but outside their order.
    TLinkNotFollowedEvent OnLinkNotFollowed;
    TNotifyEvent OnSearchBegin;
    TNotifyEvent OnSearchFinish;
    TNotifyEvent OnSearchAbort;

private:
    friend class TSearchSession;

    // Raise the events: the notify events unless the component is being destroyed, the folder
    // and file events while not aborted, under the lock.
    void DoSearchBegin() { raise(OnSearchBegin); }
    void DoSearchFinish() { raise(OnSearchFinish); }
    void DoSearchAbort() { raise(OnSearchAbort); }
    TFolderIgnore DoFolderChange(const QByteArray& Folder);
    void DoFileMatch(const QByteArray& Folder, const TSearchRec& FileInfo);
    void DoLinkNotFollowed(const QByteArray& Path);

    void raise(const TNotifyEvent& event);
    void finish();
    void searchDone(const QByteArray& error); // on this object's thread, posted by the thread

    TSearchCriteria m_criteria;
    bool m_threaded = false;
    TThreadPriority m_threadPriority = tpNormal;
    int m_scanThreads = 0;
    std::atomic<bool> m_busy{false};
    std::atomic<int> m_aborting{0}; // Abort calls under way
    bool m_destroying = false;
    std::shared_ptr<TSearchSession> m_session; // the current or last search
    std::unique_ptr<TSearchThread> m_thread;   // until its completion is handled
};

} // namespace pw
