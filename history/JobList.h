#pragma once

#include "history/Journal.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace pw {

// One job as the journal shows it.
struct JobSummary {
    QByteArray id;
    QDateTime start; // its first record
    QByteArray origin;
    QByteArray folder;
    int files = 0; // rewrites recorded
    qint64 removedBytes = 0;
};

// The jobs of the records, newest first.
QList<JobSummary> summarizeJobs(const QList<JournalRecord>& records);
// The records of one job, in the order written.
QList<JournalRecord> recordsOfJob(const QList<JournalRecord>& records, const QByteArray& job);

} // namespace pw
