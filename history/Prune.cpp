#include "history/Prune.h"

#include "history/BackupStore.h"
#include "history/JobList.h"
#include "history/Journal.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <unistd.h>

namespace pw {

namespace {

constexpr qint64 YoungObjectSeconds = 3600;

struct StoredObject {
    QString path;
    QByteArray sha;
    qint64 size;
    QDateTime modified;
};

QList<StoredObject> storedObjects(const BackupStore& store) {
    QList<StoredObject> objects;
    QDirIterator it(QFile::decodeName(store.objectsFolder()), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (info.isSymLink()) continue;
        objects.append({info.filePath(), QFile::encodeName(info.fileName()), info.size(),
                        info.lastModified()});
    }
    return objects;
}

} // namespace

PruneResult pruneHistory(const QByteArray& folder, const PruneLimits& limits) {
    PruneResult result;
    const Journal journal(folder);
    const BackupStore store(folder);
    QList<JournalRecord> records = journal.read().records;
    const QList<StoredObject> objects = storedObjects(store);
    QHash<QByteArray, qint64> objectSize;
    for (const StoredObject& o : objects)
        objectSize.insert(o.sha, o.size);

    QSet<QByteArray> dropped;
    const QList<JobSummary> jobs = summarizeJobs(records); // newest first
    if (limits.olderThan)
        for (const JobSummary& job : jobs)
            if (job.start < *limits.olderThan) dropped.insert(job.id);
    if (limits.maxBytes) {
        // The store's size as the kept jobs need it: their backups and their records.
        qint64 size = 0;
        QHash<QByteArray, int> uses;
        for (const JournalRecord& r : records)
            if (!dropped.contains(r.job)) {
                size += journalLine(r).size() + 1;
                if (uses[r.sha256]++ == 0) size += objectSize.value(r.sha256);
            }
        for (auto job = jobs.crbegin(); job != jobs.crend() && size > *limits.maxBytes; ++job) {
            if (dropped.contains(job->id)) continue;
            dropped.insert(job->id);
            for (const JournalRecord& r : records)
                if (r.job == job->id) {
                    size -= journalLine(r).size() + 1;
                    if (--uses[r.sha256] == 0) size -= objectSize.value(r.sha256);
                }
        }
    }

    if (!dropped.isEmpty()) {
        records.removeIf([&](const JournalRecord& r) { return dropped.contains(r.job); });
        if ((result.error = journal.rewrite(records))) return result;
        result.jobsRemoved = int(dropped.size());
    }

    QSet<QByteArray> needed;
    for (const JournalRecord& r : records)
        needed.insert(r.sha256);
    const QDateTime youngest = QDateTime::currentDateTimeUtc().addSecs(-YoungObjectSeconds);
    for (const StoredObject& o : objects) {
        if (needed.contains(o.sha) || o.modified > youngest) continue;
        if (QFile::remove(o.path)) {
            ++result.objectsRemoved;
            result.bytesFreed += o.size;
        }
    }
    return result;
}

} // namespace pw
