#include "cleaning/BatchCleaning.h"

#include "threads/OBThread.h"
#include "threads/WaitForJobs.h"

namespace pw {

TBatchCleaning::TBatchCleaning(TOBThread& worker, QObject* owner)
    : QObject(owner)
    , m_worker(worker) {
    m_worker.OnExecute = [this](QObject*, void*) { JobExecute(); };
    m_worker.OnFinish = [this](QObject*) { JobFinish(); };
    m_worker.OnFinishAll = [this](QObject*) { JobFinishAll(); };
}

TBatchCleaning::~TBatchCleaning() {
    Abandon();
    WaitForJobs(m_worker);
    m_worker.OnExecute = nullptr;
    m_worker.OnFinish = nullptr;
    m_worker.OnFinishAll = nullptr;
}

void TBatchCleaning::Abandon() {
    if (m_running) m_targets.resize(m_clearIndex + 1);
}

bool TBatchCleaning::Start(const QList<CleanTarget>& targets) {
    if (m_running || targets.isEmpty()) return false;
    m_targets = targets;
    m_cleaner.setHistory(History);
    m_clearIndex = 0;
    m_error.clear();
    m_running = true;
    StartJob();
    return true;
}

void TBatchCleaning::StartJob() {
    m_jobTarget = m_targets.at(m_clearIndex);
    m_jobRule = Rule ? Rule() : QByteArray();
    try {
        if (m_worker.Execute() != 0) return;
        m_error = "the cleaning thread is still busy";
    } catch (const std::exception& error) {
        m_error = error.what();
    }
    // No job, so no finish notice will come: end the batch here.
    JobFinishAll();
}

void TBatchCleaning::JobExecute() {
    m_jobReport = m_cleaner.clean(m_jobTarget, m_jobRule, Keyword, Mode);
}

void TBatchCleaning::JobFinish() {
    if (OnFileCleaned) OnFileCleaned(m_jobTarget.path, m_jobReport);
    if (++m_clearIndex < m_targets.size()) StartJob();
}

void TBatchCleaning::JobFinishAll() {
    if (!m_running) return;
    m_running = false;
    m_clearIndex = 0;
    m_targets.clear();
    if (OnBatchFinished) OnBatchFinished(m_error);
}

} // namespace pw
