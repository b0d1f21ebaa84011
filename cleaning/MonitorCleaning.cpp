#include "cleaning/MonitorCleaning.h"

#include "common/Text.h"
#include "threads/OBThread.h"
#include "watch/FileSystemWatcher.h"

namespace pw {

bool isCleanerTemporary(const QByteArray& path) {
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    return name.startsWith(".pagewarden-") && name.endsWith(".tmp");
}

TMonitorCleaning::TMonitorCleaning(TFileSystemWatcher& watcher, TOBThread& worker, QObject* owner)
    : QObject(owner)
    , m_watcher(watcher)
    , m_worker(worker) {
    m_watcher.OnNotice = [this](const TWatchNotice& notice) { Log(notice.Text); };
    m_worker.OnExecute = [this](QObject*, void*) { JobExecute(); };
    m_worker.OnFinish = [this](QObject*) { JobFinish(); };
}

TMonitorCleaning::~TMonitorCleaning() {
    m_watcher.setOnChange(nullptr);
    m_watcher.OnNotice = nullptr;
    m_worker.OnFinish = nullptr;
}

void TMonitorCleaning::Start(const QByteArray& folder) {
    if (m_watcher.Actived()) m_watcher.setActived(false);
    m_watcher.setWatchedDir(trimmed(folder));
    m_watcher.setOnChange([this](TFileOperation op, const QByteArray& f1, const QByteArray& f2) {
        FileSystemWatcherChange(op, f1, f2);
    });
    m_watcher.setActived(true);
}

void TMonitorCleaning::Stop() {
    m_watcher.setActived(false);
}

bool TMonitorCleaning::Active() const {
    return m_watcher.Actived();
}

bool TMonitorCleaning::JobRunning() const {
    return m_worker.OneThreadIsRunning();
}

void TMonitorCleaning::FileSystemWatcherChange(TFileOperation operation,
                                               const QByteArray& fileName1, const QByteArray&) {
    // The cleaner's own temporary files come and go with each rewrite; the rewrite itself is
    // reported for the file's real name.
    if (operation != foModified || isCleanerTemporary(fileName1)) return;
    Log("文件修改: " + fileName1);
    m_changedFileName = fileName1;
    Enqueue(fileName1);
}

void TMonitorCleaning::Enqueue(const QByteArray& path) {
    if (!m_worker.OneThreadIsRunning()) {
        StartJob(path);
        return;
    }
    if (!m_pendingSet.contains(path)) {
        m_pendingSet.insert(path);
        m_pending.append(path);
    }
}

bool TMonitorCleaning::StartJob(const QByteArray& path) {
    m_jobPath = path;
    m_jobRule = Rule ? Rule() : QByteArray();
    try {
        return m_worker.Execute() != 0;
    } catch (const std::exception& error) {
        Log(QByteArray("无法启动清理线程: ") + error.what());
        return false;
    }
}

void TMonitorCleaning::JobExecute() {
    m_jobReport = m_cleaner.clean(m_jobPath, m_jobRule, Keyword);
}

void TMonitorCleaning::JobFinish() {
    if (!m_jobReport.ruleError.isEmpty())
        Log("清理规则无效，未清理 " + m_jobPath + ": " + m_jobReport.ruleError);
    if (OnFileCleaned) OnFileCleaned(m_jobPath, m_jobReport);
    while (!m_pending.isEmpty()) {
        const QByteArray next = m_pending.takeFirst();
        m_pendingSet.remove(next);
        if (StartJob(next)) return;
    }
}

qsizetype TMonitorCleaning::DropPending() {
    const qsizetype dropped = m_pending.size();
    m_pending.clear();
    m_pendingSet.clear();
    return dropped;
}

void TMonitorCleaning::Log(const QByteArray& line) {
    if (OnLog) OnLog(line);
}

} // namespace pw
