#pragma once

#include "history/BackupStore.h"
#include "history/Journal.h"

#include <QByteArray>
#include <QList>

#include <optional>

#include <sys/stat.h>

namespace pw {

// What started a job, as the journal names it.
namespace origin {
inline const QByteArray WindowBatch = "window batch";
inline const QByteArray WindowMonitoring = "window monitoring";
inline const QByteArray Clean = "clean";
inline const QByteArray Watch = "watch";
inline const QByteArray Restore = "restore";
} // namespace origin

// The history of one job: each rewrite's original kept in the store before the file is
// replaced (see BackupBatch), then its journal record after it. Used by one thread at a time.
class HistoryJob {
public:
    // In the store at historyFolder().
    HistoryJob(QByteArray origin, QByteArray folder);
    HistoryJob(QByteArray storeFolder, QByteArray origin, QByteArray folder);

    const QByteArray& id() const { return m_id; }
    const QByteArray& storeFolder() const { return m_storeFolder; }

    // After a replace that did not happen: the stored original becomes a copy of its own, so the
    // file it was a second name of can be written again without touching it.
    void keepOriginalApart(const QByteArray& before, const QByteArray& sha);

    // The journal record of a rewrite from before (the original, hashed to sha) to new bytes.
    JournalRecord rewriteRecord(const QByteArray& root, const QByteArray& path,
                                const struct stat& before, const QByteArray& sha,
                                const QByteArray& newSha, qint64 newSize,
                                const QList<QByteArray>& removed) const;
    // After the replaces: their records, in one write. The errno of a failure, 0 on success.
    int record(const QList<JournalRecord>& records);

private:
    QByteArray m_storeFolder;
    QByteArray m_origin;
    QByteArray m_folder;
    QByteArray m_id;
    BackupStore m_store;
    Journal m_journal;
};

// A new job id: the UTC start time, the process and a counter, e.g. "20261211-120304-4711-1".
QByteArray newJobId();

} // namespace pw
