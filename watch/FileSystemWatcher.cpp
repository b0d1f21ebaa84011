#include "watch/FileSystemWatcher.h"

#include "threads/ThreadObject.h"
#include "watch/ShellChangeThread.h"

namespace pw {

TFileSystemWatcher::TFileSystemWatcher(QObject* owner)
    : QObject(owner) {}

TFileSystemWatcher::~TFileSystemWatcher() {
    StopWatching();
}

void TFileSystemWatcher::setActived(bool on) {
    if (on == m_actived) return;
    m_actived = on;
    ApplyOptions();
    if (on)
        StartWatching();
    else
        StopWatching();
}

void TFileSystemWatcher::setWatchedDirs(const QByteArrayList& folders) {
    const QByteArrayList given = folders.isEmpty() ? QByteArrayList{"/"} : folders;
    if (given == m_watchedDirs) return;
    m_watchedDirs = given;
    ApplyOptions();
}

void TFileSystemWatcher::setBackend(TWatchBackend backend) {
    if (backend == m_backend) return;
    m_backend = backend;
    ApplyOptions();
}

TWatchBackend TFileSystemWatcher::backendInUse() const {
    return m_thread ? m_thread->backendInUse() : wbAuto;
}

void TFileSystemWatcher::setWatchSubTree(bool on) {
    if (on == m_watchSubTree) return;
    m_watchSubTree = on;
    ApplyOptions();
}

void TFileSystemWatcher::setNotifyFilters(TNotifyFilters filters) {
    if (filters == m_notifyFilters) return;
    m_notifyFilters = filters;
    ApplyOptions();
}

void TFileSystemWatcher::setOnChange(TFileDealMethod handler) {
    m_onChange = std::move(handler);
    if (m_onChange && m_actived)
        StartWatching();
    else
        StopWatching();
    ApplyOptions();
}

bool TFileSystemWatcher::watching() const {
    return m_thread && m_thread->watching();
}

void TFileSystemWatcher::StartWatching() {
    if (!m_onChange) return;
    StopWatching();
    // Notices go to whatever OnNotice is when they arrive, and nowhere once the watcher is gone.
    auto notices = [self = QPointer<TFileSystemWatcher>(this)](const TWatchNotice& notice) {
        if (self && self->OnNotice) self->OnNotice(notice);
    };
    TShellChangeThread* thread = nullptr;
    try {
        thread = new TShellChangeThread(m_onChange, notices);
    } catch (const EThreadError& e) {
        notices(MakeWatchNotice(wnThreadFailed, WatchedDir(), e.what()));
        return;
    }
    thread->SetOptions(m_watchedDirs, m_actived, filterWord(), m_watchSubTree, m_backend);
    m_thread = thread;
    thread->Resume();
}

void TFileSystemWatcher::StopWatching() {
    // Delivery stops before the thread is told to end, so a batch on its way reaches no one.
    if (m_thread) m_thread->Stop();
    m_thread = nullptr;
}

void TFileSystemWatcher::ApplyOptions() {
    if (m_thread)
        m_thread->SetOptions(m_watchedDirs, m_actived, filterWord(), m_watchSubTree, m_backend);
}

} // namespace pw
