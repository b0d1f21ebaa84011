#pragma once

#include "cleaning/FileCleaner.h"
#include "cleaning/MaskFilter.h"
#include "watch/WatchTypes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace pw {

class TFileSystemWatcher;
class TOBThread;

// Monitoring: a watcher on a folder tree, and every file it reports as modified logged and
// cleaned by a job on a worker component (the window's ClearThread1), one job at a time. Files
// reported while a job runs wait in a queue (each path once), and the running job takes them
// whenever it has prepared the files it has (or the next job does, once it ended), in the order
// reported, so no reported file is left as it was and a burst of changes does not pay for a
// thread per file, nor wait for the end of a job. Only files whose name matches the masks in force
// are cleaned: the rest (images, archives, databases, other programs' temporaries) are logged and
// left alone. A file gone or turned out to be a folder by the time its job runs is passed over
// quietly. The window and pagewarden-cli both monitor through this class. Driven on the owner's
// thread.
class TMonitorCleaning : public QObject {
    Q_OBJECT

public:
    // Binds the watcher's OnChange and OnNotice and the worker's OnExecute and OnFinish; both
    // must outlive the monitor.
    TMonitorCleaning(TFileSystemWatcher& watcher, TOBThread& worker, QObject* owner = nullptr);
    // Stops watching, forgets the queue and waits for the running job.
    ~TMonitorCleaning() override;

    // Read on the owner's thread as each job starts.
    std::function<QByteArray()> Rule;
    // The file masks ("*.php;*.js"), read on the owner's thread as each job starts; unset, the
    // default web masks.
    std::function<QByteArray()> Masks;
    // Read on the worker thread for every match tested: must be safe to call from there.
    KeywordSource Keyword;
    // The history every rewrite goes to (none: no backup); read as each job starts.
    std::shared_ptr<HistoryJob> History;

    // How much a log line matters: a change seen is news, a notice of the watcher or a refused
    // rule is a warning, a job that could not start is an error.
    enum TLogLevel { llInfo, llWarning, llError };

    // On the owner's thread: each log line ("文件修改: " and the path, watcher notices, refused
    // rules) in the language of the installed translation, and what each job did with each
    // file it cleaned, in the order queued, as soon as the file's rewrite is on disk (a long
    // job reports its files group by group).
    std::function<void(const QByteArray& line, TLogLevel level)> OnLog;
    std::function<void(const QByteArray& path, const CleanReport& report)> OnFileCleaned;
    // On the owner's thread, when a job ended and no other took its place.
    std::function<void()> OnIdle;

    // Watches folder (trimmed of blanks and control characters), the watcher switched off first.
    void Start(const QByteArray& folder) { Start(QByteArrayList{folder}); }
    // Watches every folder (each trimmed) with the one watcher: one rule and keyword for all.
    void Start(const QByteArrayList& folders);
    // No further reports; a running job and the files already queued are still cleaned.
    void Stop();
    bool Active() const;

    // The watcher's OnChange: only modifications are logged and cleaned.
    void FileSystemWatcherChange(TFileOperation operation, const QByteArray& fileName1,
                                 const QByteArray& fileName2);

    const QByteArray& ChangedFileName() const { return m_changedFileName; }
    bool JobRunning() const;
    qsizetype Pending() const;
    // Forgets the queued files (a running job goes on); returns how many there were.
    qsizetype DropPending();

private:
    void Enqueue(const QByteArray& path);
    bool StartJob(QList<QByteArray> paths);
    void JobExecute();
    void JobFinish();
    // On the job's thread: the files queued since it last looked, as its targets.
    QList<CleanTarget> TakePending();
    QList<CleanTarget> TargetsOf(const QList<QByteArray>& paths) const;
    void Report(const QList<QByteArray>& paths, const QList<CleanReport>& reports);
    void Log(const QByteArray& line, TLogLevel level);
    static QByteArray RuleRefusedLine(const CleanReport& report, const QByteArray& path);

    TFileSystemWatcher& m_watcher;
    TOBThread& m_worker;
    QByteArray m_changedFileName;
    // The watched folders: every reported file is cleaned only beneath one of them.
    QByteArrayList m_roots;
    // Queued on the owner's thread, taken by the running job on its own.
    mutable std::mutex m_pendingMutex;
    QList<QByteArray> m_pending;
    QSet<QByteArray> m_pendingSet;
    // Handed to the running job when it starts (it adds the files it takes), handed back when
    // it ends.
    QList<QByteArray> m_jobPaths;
    std::optional<TMaskFilter> m_jobMasks;
    QByteArrayList m_jobRoots;
    QByteArray m_jobRule;
    QList<CleanReport> m_jobReports;
    qsizetype m_jobReported = 0; // how many of its files were reported while it ran
    std::shared_ptr<HistoryJob> m_jobHistory;
    FileCleaner m_cleaner;
};

// Whether a name is one of the cleaner's own temporary files (".pagewarden-XXXXXX.tmp").
bool isCleanerTemporary(const QByteArray& path);

} // namespace pw
