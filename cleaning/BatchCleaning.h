#pragma once

#include "cleaning/FileCleaner.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace pw {

class TOBThread;

// A batch: listed files cleaned one after the other, one job per file on a worker component
// (the window's ClearThread), each finish handled on the owner's thread. The paths are taken when
// the batch starts, so each listed file is cleaned exactly once whatever happens to the list
// meanwhile. Started, driven and ended on the owner's thread.
class TBatchCleaning : public QObject {
    Q_OBJECT

public:
    // Binds the worker's OnExecute, OnFinish and OnFinishAll; the worker must outlive the batch.
    explicit TBatchCleaning(TOBThread& worker, QObject* owner = nullptr);
    // Abandons the files not yet started and waits for the running job.
    ~TBatchCleaning() override;

    // Read on the owner's thread as each job starts.
    std::function<QByteArray()> Rule;
    // Read on the worker thread for every match tested: must be safe to call from there.
    KeywordSource Keyword;
    CleanMode Mode = CleanMode::Write;
    // The history every rewrite of the batch goes to (none: no backup); read when it starts.
    std::shared_ptr<HistoryJob> History;

    // On the owner's thread: after each file, and once at the end (error: why the batch stopped
    // early, empty when every file had its job).
    std::function<void(const QByteArray& path, const CleanReport& report)> OnFileCleaned;
    std::function<void(const QByteArray& error)> OnBatchFinished;

    // Starts cleaning targets[0], then the next at each finish. False, with nothing started, when
    // a batch runs or there is nothing to clean.
    bool Start(const QList<CleanTarget>& targets);
    bool Running() const { return m_running; }
    // The running job is the last: for a program that is closing.
    void Abandon();
    int ClearIndex() const { return m_clearIndex; }

private:
    void StartJob();
    void JobExecute();
    void JobFinish();
    void JobFinishAll();

    TOBThread& m_worker;
    QList<CleanTarget> m_targets;
    int m_clearIndex = 0;
    bool m_running = false;
    QByteArray m_error;
    // Handed to the running job when it starts, handed back when it ends.
    CleanTarget m_jobTarget;
    QByteArray m_jobRule;
    CleanReport m_jobReport;
    FileCleaner m_cleaner; // one job at a time: the rule is compiled once per batch
};

} // namespace pw
