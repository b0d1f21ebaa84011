#pragma once

#include "watch/ShellChangeThread.h"
#include "watch/WatchTypes.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

namespace pw {

// Reports changes under one folder (and, with WatchSubTree, its subfolders) as they happen: while
// Actived and OnChange is set, a TShellChangeThread watches the folder and every change reaches
// OnChange on the owner's thread, with full paths. More folders can be watched at once
// (setWatchedDirs); WatchedDir is the first. Backend picks how the kernel is asked (fanotify
// where allowed, else inotify, unless one is forced); the reports are the same either way. Nothing
// reaches OnChange once Actived is false or the watcher is destroyed, even from a batch already on
// its way. What keeps the watch from being complete (watch limits, overflow, a thread that cannot
// start) goes to OnNotice.
class TFileSystemWatcher : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Actived READ Actived WRITE setActived)
    Q_PROPERTY(QByteArray WatchedDir READ WatchedDir WRITE setWatchedDir)
    Q_PROPERTY(bool WatchSubTree READ WatchSubTree WRITE setWatchSubTree)
    Q_PROPERTY(quint8 NotifyFilters READ notifyFilterBits WRITE setNotifyFilterBits)

public:
    explicit TFileSystemWatcher(QObject* owner = nullptr);
    ~TFileSystemWatcher() override;

    // Each writer does nothing when the value is the current one.
    bool Actived() const { return m_actived; }
    void setActived(bool on);
    // Compared exactly: on Linux, folders whose names differ in letter case are different folders.
    const QByteArray& WatchedDir() const { return m_watchedDirs.first(); }
    void setWatchedDir(const QByteArray& folder) { setWatchedDirs({folder}); }
    // Every folder watched; none given is "/".
    const QByteArrayList& WatchedDirs() const { return m_watchedDirs; }
    void setWatchedDirs(const QByteArrayList& folders);
    TWatchBackend Backend() const { return m_backend; }
    void setBackend(TWatchBackend backend);
    // What the running watch uses (wbAuto when nothing is watched).
    TWatchBackend backendInUse() const;
    bool WatchSubTree() const { return m_watchSubTree; }
    void setWatchSubTree(bool on);
    TNotifyFilters NotifyFilters() const { return m_notifyFilters; }
    void setNotifyFilters(TNotifyFilters filters);
    quint8 notifyFilterBits() const { return m_notifyFilters.bits(); }
    void setNotifyFilterBits(quint8 bits) { setNotifyFilters(TNotifyFilters::fromBits(bits)); }
    quint32 filterWord() const { return NotifyFilterWord(m_notifyFilters); }

    // Setting it starts the watch when Actived, and removing it stops the watch.
    const TFileDealMethod& OnChange() const { return m_onChange; }
    void setOnChange(TFileDealMethod handler);

    TWatchNoticeEvent OnNotice;

    // Whether a folder is being watched now (false for a missing folder).
    bool watching() const;
    // The running thread, or null.
    const TShellChangeThread* changeThread() const { return m_thread.data(); }

private:
    void StartWatching();
    void StopWatching();
    void ApplyOptions();

    bool m_actived = false;
    QByteArrayList m_watchedDirs{"/"};
    TWatchBackend m_backend = wbAuto;
    QPointer<TShellChangeThread> m_thread; // not owned: it frees itself when it ends
    TFileDealMethod m_onChange;
    bool m_watchSubTree = true;
    TNotifyFilters m_notifyFilters{nfFileNameChange, nfDirNameChange};
};

} // namespace pw
