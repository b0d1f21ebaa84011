#include "cleaning/MonitorCleaning.h"

#include "cleaning/CleaningRule.h"
#include "cleaning/Leftovers.h"
#include "common/Defaults.h"
#include "common/Text.h"
#include "history/HistoryJob.h"
#include "history/HistoryLocation.h"
#include "threads/OBThread.h"
#include "threads/WaitForJobs.h"
#include "watch/FileSystemWatcher.h"

#include <utility>

namespace pw {

bool isCleanerTemporary(const QByteArray& path) {
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    return name.startsWith(".pagewarden-") && name.endsWith(".tmp");
}

TMonitorCleaning::TMonitorCleaning(TFileSystemWatcher& watcher, TOBThread& worker, QObject* owner)
    : QObject(owner)
    , m_watcher(watcher)
    , m_worker(worker) {
    m_watcher.OnNotice = [this](const TWatchNotice& notice) { Log(notice.Text, llWarning); };
    m_watcher.setOnChange([this](TFileOperation op, const QByteArray& f1, const QByteArray& f2) {
        FileSystemWatcherChange(op, f1, f2);
    });
    m_worker.OnExecute = [this](QObject*, void*) { JobExecute(); };
    m_worker.OnFinish = [this](QObject*) { JobFinish(); };
}

TMonitorCleaning::~TMonitorCleaning() {
    m_watcher.setOnChange(nullptr);
    m_watcher.OnNotice = nullptr;
    DropPending();
    WaitForJobs(m_worker);
    m_worker.OnExecute = nullptr;
    m_worker.OnFinish = nullptr;
}

void TMonitorCleaning::Start(const QByteArrayList& folders) {
    if (m_watcher.Actived()) m_watcher.setActived(false);
    QByteArrayList watched;
    for (const QByteArray& folder : folders)
        watched.append(trimmed(folder));
    m_watcher.setWatchedDirs(watched);
    m_roots = m_watcher.WatchedDirs();
    m_watcher.setActived(true);
    // A crash's temporaries in the tree go now; later ones are the running jobs' own.
    for (const QByteArray& root : m_roots) {
        const LeftoverSweep sweep =
            sweepLeftoversInTree(root, History ? History->storeFolder() : historyFolder());
        for (const QByteArray& path : sweep.putBack)
            Log(tr("已从崩溃留下的副本恢复原文件: ").toUtf8() + path, llWarning);
        for (const QByteArray& kept : sweep.kept)
            Log(tr("保留崩溃留下的原文件副本: ").toUtf8() + kept, llWarning);
    }
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
    Log(tr("文件修改: ").toUtf8() + fileName1, llInfo);
    m_changedFileName = fileName1;
    Enqueue(fileName1);
}

void TMonitorCleaning::Enqueue(const QByteArray& path) {
    if (!m_worker.OneThreadIsRunning()) {
        StartJob({path});
        return;
    }
    std::lock_guard lock(m_pendingMutex);
    if (!m_pendingSet.contains(path)) {
        m_pendingSet.insert(path);
        m_pending.append(path);
    }
}

qsizetype TMonitorCleaning::Pending() const {
    std::lock_guard lock(m_pendingMutex);
    return m_pending.size();
}

namespace {

// Gone before its job ran (another program's temporary), or a folder whose attributes changed:
// nothing was there to clean, and nothing is said.
bool nothingToClean(const CleanReport& report) {
    return report.problem == FileProblem::Missing || report.problem == FileProblem::Folder;
}

} // namespace

bool TMonitorCleaning::StartJob(QList<QByteArray> paths) {
    m_jobMasks.emplace(Masks ? Masks() : QByteArray(DefaultMasks));
    paths.removeIf([&](const QByteArray& path) { return !m_jobMasks->Matches(path); });
    if (paths.isEmpty()) return false;
    m_jobPaths = std::move(paths);
    m_jobRoots = m_roots;
    m_jobRule = Rule ? Rule() : QByteArray();
    m_jobHistory = History;
    try {
        if (m_worker.Execute() != 0) return true;
    } catch (const std::exception& error) {
        Log(tr("无法启动清理线程: ").toUtf8() + error.what(), llError);
    }
    return false;
}

QList<CleanTarget> TMonitorCleaning::TargetsOf(const QList<QByteArray>& paths) const {
    QList<CleanTarget> targets;
    targets.reserve(paths.size());
    for (const QByteArray& path : paths)
        targets.append(CleanTarget::beneath(m_jobRoots, path));
    return targets;
}

QList<CleanTarget> TMonitorCleaning::TakePending() {
    QList<QByteArray> paths;
    {
        std::lock_guard lock(m_pendingMutex);
        paths = std::exchange(m_pending, {});
        m_pendingSet.clear();
    }
    paths.removeIf([&](const QByteArray& path) { return !m_jobMasks->Matches(path); });
    m_jobPaths += paths;
    return TargetsOf(paths);
}

void TMonitorCleaning::JobExecute() {
    m_cleaner.setHistory(m_jobHistory);
    m_cleaner.setSweptTrees(m_jobRoots);
    // The queued files are flushed and renamed together: one disk commit for a burst. A long
    // job reports each group as it is done, and takes the files queued meanwhile.
    m_jobReported = 0;
    const auto settled = [this](const QList<CleanReport>& reports, qsizetype count) {
        const qsizetype first = std::exchange(m_jobReported, count);
        QMetaObject::invokeMethod(
            this,
            [this, paths = m_jobPaths.mid(first, count - first),
             done = reports.mid(first, count - first)] { Report(paths, done); },
            Qt::QueuedConnection);
    };
    m_jobReports = m_cleaner.cleanTogether(TargetsOf(m_jobPaths), m_jobRule, Keyword, settled,
                                           [this] { return TakePending(); });
}

// A refused rule in the window's words, with PCRE's own text and offset.
QByteArray TMonitorCleaning::RuleRefusedLine(const CleanReport& report, const QByteArray& path) {
    if (report.ruleErrorOffset < 0)
        return tr("正则匹配规则为空，未清理 %1").arg(QString::fromUtf8(path)).toUtf8();
    return tr("正则匹配规则无效（位置 %1）: %2，未清理 %3")
        .arg(report.ruleErrorOffset)
        .arg(QString::fromUtf8(report.rulePcreMessage), QString::fromUtf8(path))
        .toUtf8();
}

void TMonitorCleaning::Report(const QList<QByteArray>& paths, const QList<CleanReport>& reports) {
    for (qsizetype i = 0; i < reports.size(); ++i) {
        const QByteArray& path = paths[i];
        const CleanReport& report = reports[i];
        if (!report.ruleError.isEmpty())
            Log(RuleRefusedLine(report, path), llWarning);
        else if (report.problem == FileProblem::NoBackup)
            Log(tr("无法备份，未清理 ").toUtf8() + path + ": " + report.reason(), llWarning);
        if (!report.historyWarning.isEmpty()) Log(path + ": " + report.historyWarning, llWarning);
        if (OnFileCleaned && !nothingToClean(report)) OnFileCleaned(path, report);
    }
}

// The reports sent while the job ran came before this, in the order sent.
void TMonitorCleaning::JobFinish() {
    Report(m_jobPaths.mid(m_jobReported), m_jobReports.mid(m_jobReported));
    QList<QByteArray> queued;
    {
        std::lock_guard lock(m_pendingMutex);
        queued = std::exchange(m_pending, {});
        m_pendingSet.clear();
    }
    if ((queued.isEmpty() || !StartJob(std::move(queued))) && OnIdle) OnIdle();
}

qsizetype TMonitorCleaning::DropPending() {
    std::lock_guard lock(m_pendingMutex);
    const qsizetype dropped = m_pending.size();
    m_pending.clear();
    m_pendingSet.clear();
    return dropped;
}

void TMonitorCleaning::Log(const QByteArray& line, TLogLevel level) {
    if (OnLog) OnLog(line, level);
}

} // namespace pw
