#include "history/JobList.h"

#include <QHash>

#include <algorithm>

namespace pw {

QList<JobSummary> summarizeJobs(const QList<JournalRecord>& records) {
    QList<JobSummary> jobs;
    QHash<QByteArray, qsizetype> index;
    for (const JournalRecord& r : records) {
        auto found = index.constFind(r.job);
        if (found == index.constEnd()) {
            found = index.insert(r.job, jobs.size());
            jobs.append({r.job, r.time, r.origin, r.folder, 0, 0});
        }
        JobSummary& job = jobs[*found];
        ++job.files;
        job.removedBytes += r.removedBytes;
    }
    // Jobs of several processes interleave in the journal: order by start, newest first.
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const JobSummary& a, const JobSummary& b) { return a.start > b.start; });
    return jobs;
}

QList<JournalRecord> recordsOfJob(const QList<JournalRecord>& records, const QByteArray& job) {
    QList<JournalRecord> out;
    for (const JournalRecord& r : records)
        if (r.job == job) out.append(r);
    return out;
}

} // namespace pw
