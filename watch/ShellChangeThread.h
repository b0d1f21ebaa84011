#pragma once

#include "threads/ThreadObject.h"
#include "watch/WatchTypes.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace pw {

class TChangeSource;

// The thread of a TFileSystemWatcher. It sleeps on its folders' change sources (an inotify
// instance per folder tree, or one fanotify group for them all) and on an eventfd that wakes it for
// new options or a stop, hands each batch of changes to the owner's thread and waits until the
// batch has been handled there. Created held; frees itself when its body ends. Everything but the
// body runs on the owner's thread.
class TShellChangeThread final : public TThreadObject {
    Q_OBJECT

public:
    // handler: a copy of the watcher's OnChange; notices: where watch limits and overflows go.
    explicit TShellChangeThread(TFileDealMethod handler, TWatchNoticeEvent notices = {});
    ~TShellChangeThread() override;

    // Takes new options and reopens the folders unless they are the ones already open. Each
    // folder gets a "/" at its end unless it has one; an empty folder becomes "/".
    void SetOptions(const QByteArrayList& folders, bool active, quint32 filterFlags, bool subtree,
                    TWatchBackend backend = wbAuto);
    void SetOptions(const QByteArray& folder, bool active, quint32 filterFlags, bool subtree) {
        SetOptions(QByteArrayList{folder}, active, filterFlags, subtree);
    }
    // Watches the folders when active (the old watch is dropped first) and wakes the thread to go
    // on with the new one. False when nothing is watched: inactive, or missing folders, which
    // stay unwatched until new options arrive. Auto takes fanotify where the process may use it,
    // else inotify with one notice why; fanotify forced where it cannot be used watches nothing
    // and says why.
    bool OpenFolder();
    // Stops delivery at once and makes the body end at its next wake-up, which it gets now.
    void Stop();

    // Takes the batch waiting for the owner's thread and turns it into notices and OnChange
    // calls, each only while the thread is active.
    void DeliverChanges();
    // Puts a batch where DeliverChanges takes it, as read under the options in force now (the
    // body does this before each hand-over, with the options it read the batch under).
    void setPendingBatch(TChangeBatch batch);

    const QByteArray& folder() const { return m_folders.first(); }
    const QByteArrayList& folders() const { return m_folders; }
    // What the last OpenFolder watches with (wbAuto when nothing).
    TWatchBackend backendInUse() const { return m_backendInUse; }
    bool active() const { return m_active; }
    bool watching() const { return m_watching; }       // the last OpenFolder watches a folder
    bool handingOver() const { return m_handingOver; } // waiting for DeliverChanges

protected:
    void Execute() override;

private:
    void wake();
    void adoptOptions();
    void waitForChanges();
    void handOver(TChangeBatch batch);
    void pend(TChangeBatch batch, quint64 generation);
    using Sources = std::vector<std::unique_ptr<TChangeSource>>;
    Sources openSources(QList<TWatchNotice>& notices);

    // Owner's thread only.
    const TFileDealMethod m_handler;
    const TWatchNoticeEvent m_noticeHandler;
    QByteArrayList m_folders{"/"};
    quint32 m_filterFlags = 0;
    bool m_subtree = true;
    bool m_active = false;
    bool m_watching = false;
    TWatchBackend m_backend = wbAuto;
    TWatchBackend m_backendInUse = wbAuto;
    bool m_fallbackNoticed = false;

    // Guarded by m_lock: what OpenFolder leaves for the body, and the batch on its way.
    std::mutex m_lock;
    Sources m_opened;
    QList<TWatchNotice> m_openNotices;
    quint64 m_generation = 0;
    TChangeBatch m_batch;
    quint64 m_batchGeneration = 0; // the options m_batch was read under

    // The body's own.
    Sources m_sources;
    quint64 m_adopted = 0;

    const int m_wakeFd;
    std::atomic<bool> m_handingOver = false;
};

} // namespace pw
