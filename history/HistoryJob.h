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
// replaced, then one journal record after it. Used by one thread at a time.
class HistoryJob {
public:
    // In the store at historyFolder().
    HistoryJob(QByteArray origin, QByteArray folder);
    HistoryJob(QByteArray storeFolder, QByteArray origin, QByteArray folder);

    const QByteArray& id() const { return m_id; }
    const QByteArray& storeFolder() const { return m_storeFolder; }

    // A file about to be replaced by a rename: its folder, its name, its descriptor and status.
    struct Replaced {
        int folderFd;
        const QByteArray& name;
        int fd;
        const struct stat& status;
    };

    // Before the replace: keeps before in the store, flushed. The errno of a failure, 0 on
    // success (sha then holds its hash). A file that will be replaced, not rewritten in place,
    // is stored as a second name of itself where the file system allows.
    int keepOriginal(const QByteArray& before, QByteArray& sha,
                     const std::optional<Replaced>& file = std::nullopt);
    // The same for bytes whose hash the caller already has.
    int keepHashed(const QByteArray& before, const QByteArray& sha,
                   const std::optional<Replaced>& file = std::nullopt);
    // After a replace that did not happen: the stored original becomes a copy of its own, so the
    // file it was a second name of can be written again without touching it.
    void keepOriginalApart(const QByteArray& before, const QByteArray& sha);
    // After the replace: the journal record of the rewrite. The errno of a failure, 0 on success.
    int recordRewrite(const QByteArray& root, const QByteArray& path, const struct stat& before,
                      const QByteArray& sha, const QByteArray& after,
                      const QList<QByteArray>& removed);
    // The same for new bytes whose hash and size the caller already has.
    int recordHashed(const QByteArray& root, const QByteArray& path, const struct stat& before,
                     const QByteArray& sha, const QByteArray& newSha, qint64 newSize,
                     const QList<QByteArray>& removed);

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
