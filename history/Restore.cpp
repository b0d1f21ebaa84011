#include "history/Restore.h"

#include "cleaning/FileRewrite.h"
#include "history/BackupBatch.h"
#include "history/BackupStore.h"
#include "history/HistoryJob.h"
#include "platform/BeneathRoot.h"

#include <QHash>

#include <algorithm>

namespace pw {

namespace {

RestoreReport notRestored(const QByteArray& path, const QByteArray& reason) {
    return {path, RestoreOutcome::NotRestored, reason, {}};
}

class Restorer {
public:
    Restorer(const QByteArray& storeFolder, const RestoreOptions& options,
             const std::shared_ptr<HistoryJob>& history)
        : m_store(storeFolder)
        , m_options(options)
        , m_history(history) {}

    RestoreReport restore(const JournalRecord& r) {
        FolderBeneath folder = FolderBeneath::open(r.root, r.path);
        if (!folder.isOpen())
            return notRestored(r.path, describe(folder.problem(), folder.error()));
        RegularFile file = RegularFile::open(folder.fd(), folder.name());
        QByteArray current;
        if (!file.isOpen() || !file.readAll(current))
            return notRestored(r.path, describe(file.problem(), file.error()));
        // A dry run changes nothing, so what an earlier step would have put back stands in.
        const QByteArray currentSha = m_simulated.value(r.path, sha256Hex(current));
        if (currentSha == r.sha256) return {r.path, RestoreOutcome::Unchanged, {}, {}};
        if (currentSha != r.newSha256 && !m_options.force)
            return notRestored(r.path, "changed since it was cleaned (--force restores it anyway)");
        const std::optional<QByteArray> original = m_store.read(r.sha256);
        if (!original) return notRestored(r.path, "its backup is missing or damaged");
        if (m_options.dryRun) {
            m_simulated.insert(r.path, r.sha256);
            return {r.path, RestoreOutcome::Restored, {}, {}};
        }

        // The hashes are known: the current bytes were hashed above, the original by the store.
        const QByteArray keptSha = currentSha;
        if (m_history)
            if (const int error = keepCurrent(current, keptSha, replacedFile(folder, file)))
                return notRestored(r.path, describe(FileProblem::NoBackup, error));
        KeptAttributes attributes;
        attributes.mode = mode_t(r.mode);
        attributes.uid = uid_t(r.uid);
        attributes.gid = gid_t(r.gid);
        attributes.mtime = {time_t(r.mtimeSec), long(r.mtimeNsec)};
        const RewriteResult written =
            rewriteFile(std::move(folder), file.status(), current, *original, attributes);
        if (!written.ok()) {
            if (m_history) m_history->keepOriginalApart(current, keptSha);
            return notRestored(r.path, describe(written.problem, written.errnum));
        }

        RestoreReport report{r.path, RestoreOutcome::Restored, {}, {}};
        if (m_history)
            if (const int error = m_history->record({m_history->rewriteRecord(
                    r.root, r.path, file.status(), keptSha, r.sha256, original->size(), {})}))
                report.historyWarning = "restored, but its journal record could not be written: " +
                                        describe(FileProblem::Io, error);
        return report;
    }

private:
    // The bytes a restore replaces, on disk in the store before the file is touched.
    int keepCurrent(const QByteArray& current, const QByteArray& sha,
                    const std::optional<ReplacedFile>& file) {
        BackupBatch batch(m_history->storeFolder());
        if (const int error = batch.keep(current, sha, file)) return error;
        return batch.flush().value(sha, 0);
    }

    BackupStore m_store;
    const RestoreOptions& m_options;
    std::shared_ptr<HistoryJob> m_history;
    QHash<QByteArray, QByteArray> m_simulated;
};

} // namespace

QList<RestoreReport> restoreJob(const QByteArray& storeFolder,
                                const QList<JournalRecord>& jobRecords,
                                const RestoreOptions& options,
                                const std::shared_ptr<HistoryJob>& history) {
    Restorer restorer(storeFolder, options, history);
    QList<RestoreReport> reports;
    for (auto r = jobRecords.crbegin(); r != jobRecords.crend(); ++r)
        if (options.paths.isEmpty() || options.paths.contains(r->path))
            reports.append(restorer.restore(*r));
    return reports;
}

} // namespace pw
