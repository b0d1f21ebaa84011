#include "history/HistoryJob.h"

#include "history/HistoryLocation.h"
#include "search/TargetSearch.h"

#include <QDateTime>

#include <atomic>
#include <unistd.h>

namespace pw {

QByteArray newJobId() {
    static std::atomic<int> counter{0};
    return QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss").toLatin1() + '-' +
           QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(++counter);
}

HistoryJob::HistoryJob(QByteArray origin, QByteArray folder)
    : HistoryJob(historyFolder(), std::move(origin), std::move(folder)) {}

HistoryJob::HistoryJob(QByteArray storeFolder, QByteArray origin, QByteArray folder)
    : m_storeFolder(std::move(storeFolder))
    , m_origin(std::move(origin))
    , m_folder(std::move(folder))
    , m_id(newJobId())
    , m_store(m_storeFolder)
    , m_journal(m_storeFolder) {}

void HistoryJob::keepOriginalApart(const QByteArray& before, const QByteArray& sha) {
    m_store.keep(before, sha);
}

JournalRecord HistoryJob::rewriteRecord(const QByteArray& root, const QByteArray& path,
                                        const struct stat& before, const QByteArray& sha,
                                        const QByteArray& newSha, qint64 newSize,
                                        const QList<QByteArray>& removed) const {
    JournalRecord r;
    r.time = QDateTime::currentDateTimeUtc();
    r.job = m_id;
    r.origin = m_origin;
    r.folder = m_folder;
    // Restore runs from any folder: the journal names files by full path.
    r.root = ExpandPath(root);
    r.path = ExpandPath(path);
    r.sha256 = sha;
    r.size = before.st_size;
    r.mode = before.st_mode & 07777;
    r.uid = before.st_uid;
    r.gid = before.st_gid;
    r.mtimeSec = before.st_mtim.tv_sec;
    r.mtimeNsec = before.st_mtim.tv_nsec;
    r.newSha256 = newSha;
    r.newSize = newSize;
    for (const QByteArray& text : removed) {
        r.removed.append(text.left(JournalRecord::RemovedCap));
        r.removedBytes += text.size();
    }
    return r;
}

int HistoryJob::record(const QList<JournalRecord>& records) {
    return m_journal.append(records);
}

} // namespace pw
