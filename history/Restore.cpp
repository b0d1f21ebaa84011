#include "history/Restore.h"

#include "cleaning/FileRewrite.h"
#include "history/BackupBatch.h"
#include "history/BackupStore.h"
#include "history/HistoryJob.h"
#include "platform/BeneathRoot.h"

#include <QHash>
#include <QSet>

#include <optional>
#include <utility>

namespace pw {

namespace {

RestoreReport notRestored(const QByteArray& path, const QByteArray& reason) {
    return {path, RestoreOutcome::NotRestored, reason, {}};
}

// Restores a group of files at a time, flushed together as cleaning does (see RewriteGroup); a
// file met again (rewritten twice by the job) waits for the group before it to be on disk.
class Restorer {
public:
    Restorer(const QByteArray& storeFolder, const RestoreOptions& options,
             const std::shared_ptr<HistoryJob>& history, QList<RestoreReport>& reports)
        : m_store(storeFolder)
        , m_options(options)
        , m_history(history)
        , m_reports(reports) {}

    void restore(const JournalRecord& r) {
        if (m_inGroup.contains(r.path)) commit();
        FolderBeneath folder = FolderBeneath::open(r.root, r.path);
        if (!folder.isOpen())
            return done(notRestored(r.path, describe(folder.problem(), folder.error())));
        RegularFile file = RegularFile::open(folder.fd(), folder.name());
        QByteArray current;
        if (!file.isOpen() || !file.readAll(current))
            return done(notRestored(r.path, describe(file.problem(), file.error())));
        // A dry run changes nothing, so what an earlier step would have put back stands in.
        const QByteArray currentSha = m_simulated.value(r.path, sha256Hex(current));
        if (currentSha == r.sha256) return done({r.path, RestoreOutcome::Unchanged, {}, {}});
        if (currentSha != r.newSha256 && !m_options.force)
            return done(
                notRestored(r.path, "changed since it was cleaned (--force restores it anyway)"));
        std::optional<QByteArray> original = m_store.read(r.sha256);
        if (!original) return done(notRestored(r.path, "its backup is missing or damaged"));
        if (m_options.dryRun) {
            m_simulated.insert(r.path, r.sha256);
            return done({r.path, RestoreOutcome::Restored, {}, {}});
        }

        // The hashes are known: the current bytes were hashed above, the original by the store.
        if (m_history) {
            if (!m_backup) m_backup.emplace(m_history->storeFolder());
            if (const int error = m_backup->keep(current, currentSha, replacedFile(folder, file)))
                return done(notRestored(r.path, describe(FileProblem::NoBackup, error)));
        }
        KeptAttributes attributes;
        attributes.mode = mode_t(r.mode);
        attributes.uid = uid_t(r.uid);
        attributes.gid = gid_t(r.gid);
        attributes.mtime = {time_t(r.mtimeSec), long(r.mtimeNsec)};
        m_group.add(std::move(folder), file.status(), current, *original, attributes);
        m_waiting.append(
            {m_reports.size(), r, currentSha, current, file.status(), original->size()});
        m_inGroup.insert(r.path);
        done({r.path, RestoreOutcome::Restored, {}, {}});
        constexpr qsizetype MaxFiles = 256;
        if (m_group.size() >= MaxFiles) commit();
    }

    // The originals of the group put back, each flushed in one round with the bytes it replaces,
    // then their records written at once.
    void commit() {
        if (m_group.size() == 0) return;
        QByteArrayList shas;
        for (const Waiting& w : m_waiting)
            shas.append(w.keptSha);
        const QList<RewriteResult> results = commitBackedUp(m_group, m_backup, shas);
        QList<JournalRecord> records;
        QList<qsizetype> recorded;
        for (qsizetype i = 0; i < results.size(); ++i) {
            const Waiting& w = m_waiting[i];
            if (!results[i].ok()) {
                if (m_history && results[i].problem != FileProblem::NoBackup)
                    m_history->keepOriginalApart(w.current, w.keptSha);
                m_reports[w.report] =
                    notRestored(w.record.path, describe(results[i].problem, results[i].errnum));
            } else if (m_history) {
                records.append(m_history->rewriteRecord(w.record.root, w.record.path, w.status,
                                                        w.keptSha, w.record.sha256, w.originalSize,
                                                        {}));
                recorded.append(w.report);
            }
        }
        if (!records.isEmpty())
            if (const int error = m_history->record(records))
                for (const qsizetype r : recorded)
                    m_reports[r].historyWarning =
                        "restored, but its journal record could not be written: " +
                        describe(FileProblem::Io, error);
        m_waiting.clear();
        m_inGroup.clear();
        m_backup.reset();
    }

private:
    // A restore in the group, waiting for its commit.
    struct Waiting {
        qsizetype report;
        JournalRecord record;
        QByteArray keptSha, current;
        struct stat status;
        qint64 originalSize;
    };

    void done(RestoreReport report) { m_reports.append(std::move(report)); }

    BackupStore m_store;
    const RestoreOptions& m_options;
    std::shared_ptr<HistoryJob> m_history;
    QList<RestoreReport>& m_reports;
    QHash<QByteArray, QByteArray> m_simulated;
    RewriteGroup m_group;
    std::optional<BackupBatch> m_backup;
    QList<Waiting> m_waiting;
    QSet<QByteArray> m_inGroup;
};

} // namespace

QList<RestoreReport> restoreJob(const QByteArray& storeFolder,
                                const QList<JournalRecord>& jobRecords,
                                const RestoreOptions& options,
                                const std::shared_ptr<HistoryJob>& history) {
    QList<RestoreReport> reports;
    Restorer restorer(storeFolder, options, history, reports);
    for (auto r = jobRecords.crbegin(); r != jobRecords.crend(); ++r)
        if (options.paths.isEmpty() || options.paths.contains(r->path)) restorer.restore(*r);
    restorer.commit();
    return reports;
}

} // namespace pw
