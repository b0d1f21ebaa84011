#include "cleaning/FileCleaner.h"

#include "cleaning/BinarySignature.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/FileRewrite.h"
#include "cleaning/Leftovers.h"
#include "history/BackupBatch.h"
#include "history/BackupStore.h"
#include "history/HistoryJob.h"
#include "history/HistoryLocation.h"
#include "regex/PcreRegEx.h"

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace pw {

QByteArray CleanReport::reason() const {
    if (!ruleError.isEmpty()) return ruleError;
    if (problem == FileProblem::None) return leftReasonWord(left);
    return describe(problem, errnum);
}

namespace {

CleanReport failed(LeftReason left, FileProblem problem = FileProblem::None, int errnum = 0) {
    CleanReport report;
    report.outcome = CleanOutcome::Failed;
    report.left = left;
    report.problem = problem;
    report.errnum = errnum;
    return report;
}

CleanReport readFailed(FileProblem problem, int errnum) {
    return failed(leftReason(problem, false), problem, errnum);
}

CleanReport writeFailed(FileProblem problem, int errnum = 0) {
    return failed(leftReason(problem, true), problem, errnum);
}

// The owner's write bit is the file's own read-only mark; the access check covers everyone else.
FileProblem writeProblem(const FolderBeneath& folder, const struct stat& st) {
    if ((st.st_mode & S_IWUSR) == 0) return FileProblem::ReadOnly;
    if (::faccessat(folder.fd(), folder.name().constData(), W_OK,
                    AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return FileProblem::NoAccess;
    return FileProblem::None;
}

} // namespace

CleanReport cleanFile(const CleanTarget& target, const QByteArray& rule,
                      const KeywordSource& keyword, CleanMode mode) {
    return FileCleaner().clean(target, rule, keyword, mode);
}

FileCleaner::FileCleaner()
    : m_matcher(std::make_unique<TPcreRegEx>()) {
    m_matcher->setOptions(CleaningRuleOptions);
}

FileCleaner::~FileCleaner() = default;

struct FileCleaner::Group {
    explicit Group(const std::shared_ptr<HistoryJob>& history) {
        if (history) backups.emplace(history->storeFolder());
    }
    RewriteGroup rewrites;
    std::optional<BackupBatch> backups; // their originals, with a history
    QList<Pending> pendings;            // what each rewrite's journal record needs
    QList<qsizetype> indexes;           // where each one's report belongs
    QList<CleanReport> reports;         // and the report, settled by the commit
};

CleanReport FileCleaner::clean(const CleanTarget& target, const QByteArray& rule,
                               const KeywordSource& keyword, CleanMode mode) {
    return cleanAll({target}, rule, keyword, mode, {}).first();
}

QList<CleanReport> FileCleaner::cleanTogether(const QList<CleanTarget>& targets,
                                              const QByteArray& rule, const KeywordSource& keyword,
                                              const Settled& settled) {
    return cleanAll(targets, rule, keyword, CleanMode::Write, settled);
}

// Each full group is committed on a thread of its own while the next one is prepared, so the
// waits for the disk overlap the reading and cleaning.
QList<CleanReport> FileCleaner::cleanAll(const QList<CleanTarget>& targets, const QByteArray& rule,
                                         const KeywordSource& keyword, CleanMode mode,
                                         const Settled& settled) {
    // Bounds on what waits in memory (and on the descriptors held open) for one commit.
    constexpr qsizetype MaxFiles = 256;
    constexpr qsizetype MaxBytes = 64 * 1024 * 1024;
    QList<CleanReport> reports;
    reports.reserve(targets.size());
    auto group = std::make_unique<Group>(m_history);
    std::unique_ptr<Group> committing;
    std::future<void> committed;
    qsizetype settledCount = 0;
    const auto land = [&](Group& done) {
        for (qsizetype i = 0; i < done.indexes.size(); ++i)
            reports[done.indexes[i]] = std::move(done.reports[i]);
    };
    // Waits for the group being committed; every report before the next group's is final then.
    const auto collect = [&] {
        if (!committing) return;
        committed.get();
        land(*committing);
        committing.reset();
        const qsizetype upTo = group->indexes.isEmpty() ? reports.size() : group->indexes.first();
        if (settled && upTo > settledCount) settled(reports, settledCount = upTo);
    };
    for (const CleanTarget& target : targets) {
        CleanReport report = prepare(target, rule, keyword, mode, *group);
        if (group->pendings.size() > group->indexes.size()) {
            group->indexes.append(reports.size());
            group->reports.append(std::move(report));
            reports.append(CleanReport{});
        } else {
            reports.append(std::move(report));
        }
        if (group->rewrites.size() < MaxFiles && group->rewrites.bytes() < MaxBytes) continue;
        collect();
        committing = std::exchange(group, std::make_unique<Group>(m_history));
        committed = commitAside(*committing);
    }
    collect();
    commit(*group);
    land(*group);
    return reports;
}

std::future<void> FileCleaner::commitAside(Group& group) {
    try {
        return std::async(std::launch::async, [this, &group] { commit(group); });
    } catch (const std::system_error&) {
        // No thread to spare: committed here, before the next group is prepared.
        commit(group);
        std::promise<void> done;
        done.set_value();
        return done.get_future();
    }
}

void FileCleaner::commit(Group& group) {
    if (group.rewrites.size() == 0) return;
    const QByteArrayList along = group.backups ? group.backups->toFlush() : QByteArrayList();
    const auto backedUp = [&](const QList<int>& flushed, QList<RewriteResult>& results) {
        if (!group.backups) return;
        const QHash<QByteArray, int> failed = group.backups->finish(flushed);
        for (qsizetype i = 0; i < results.size(); ++i)
            if (const auto error = failed.constFind(group.pendings[i].sha); error != failed.cend())
                results[i] = {FileProblem::NoBackup, *error};
    };
    const QList<RewriteResult> results = group.rewrites.commit(along, backedUp);

    QList<JournalRecord> records;
    QList<qsizetype> recorded;
    for (qsizetype i = 0; i < results.size(); ++i) {
        const Pending& pending = group.pendings[i];
        CleanReport& report = group.reports[i];
        settle(report, results[i], pending);
        if (!m_history || !results[i].ok()) continue;
        records.append(m_history->rewriteRecord(pending.root, pending.path, pending.status,
                                                pending.sha, sha256Hex(pending.after),
                                                pending.after.size(), report.removed));
        recorded.append(i);
    }
    if (!records.isEmpty())
        if (const int error = m_history->record(records))
            for (const qsizetype i : recorded)
                group.reports[i].historyWarning =
                    "cleaned, but its journal record could not be written: " +
                    describe(FileProblem::Io, error);
}

void FileCleaner::settle(CleanReport& report, const RewriteResult& written,
                         const Pending& pending) {
    if (written.ok()) return;
    // The store keeps no copy of a file whose backup failed.
    if (m_history && written.problem != FileProblem::NoBackup)
        m_history->keepOriginalApart(pending.before, pending.sha);
    QByteArrayList leftovers = report.leftovers;
    report = writeFailed(written.problem, written.errnum);
    report.leftovers = leftovers;
}

bool FileCleaner::swept(const QByteArray& folder) const {
    return m_swept.contains(folder) ||
           std::any_of(m_sweptTrees.cbegin(), m_sweptTrees.cend(), [&](const QByteArray& root) {
               return folder == root || folder.startsWith(root.endsWith('/') ? root : root + '/');
           });
}

CleanReport FileCleaner::prepare(const CleanTarget& target, const QByteArray& rule,
                                 const KeywordSource& keyword, CleanMode mode, Group& group) {
    // An equal rule keeps the pattern compiled for the previous file.
    TPcreRegEx& matcher = *m_matcher;
    matcher.setRegEx(cleaningRule(rule));
    try {
        if (!matcher.compiled()) matcher.Compile();
    } catch (const EPcreError& error) {
        CleanReport report = failed(LeftReason::InvalidRule);
        report.ruleError = describeRuleError(error);
        report.ruleErrorOffset = error.offset();
        report.rulePcreMessage = error.pcreMessage();
        return report;
    }

    FolderBeneath folder = FolderBeneath::open(target.root, target.path);
    if (!folder.isOpen()) return readFailed(folder.problem(), folder.error());
    QByteArrayList leftovers;
    if (mode == CleanMode::Write && !swept(folder.folderPath())) {
        m_swept.insert(folder.folderPath());
        const LeftoverSweep sweep =
            sweepLeftovers(folder.fd(), folder.folderPath(),
                           m_history ? m_history->storeFolder() : historyFolder());
        for (const QByteArray& path : sweep.putBack)
            leftovers.append(path + ": original bytes put back from a crash's copy");
        leftovers += sweep.kept;
    }
    RegularFile file = RegularFile::open(folder.fd(), folder.name());
    QByteArray before;
    const bool read = file.isOpen() && file.readAll(before);
    if (!read || (!m_binaryAllowed && hasBinarySignature(before))) {
        CleanReport report =
            read ? failed(LeftReason::Binary) : readFailed(file.problem(), file.error());
        report.leftovers = leftovers;
        return report;
    }

    TextCleaning cleaned = cleanText(before, matcher, keyword);
    CleanReport report;
    report.leftovers = leftovers;
    report.removed = std::move(cleaned.removed);
    report.complete = cleaned.complete;
    if (cleaned.text == before) return report;

    report.outcome = CleanOutcome::Cleaned; // a dry run: would be
    if (mode == CleanMode::DryRun) return report;
    if (FileProblem p = writeProblem(folder, file.status()); p != FileProblem::None)
        return writeFailed(p);

    // The original is staged in the store now and flushed there before the file is replaced.
    QByteArray originalSha;
    if (group.backups) {
        originalSha = sha256Hex(before);
        if (const int error = group.backups->keep(before, originalSha, replacedFile(folder, file)))
            return writeFailed(FileProblem::NoBackup, error);
    }
    group.pendings.append(
        {target.root, target.path, before, originalSha, cleaned.text, file.status()});
    group.rewrites.add(std::move(folder), file.status(), before, cleaned.text);
    return report;
}

} // namespace pw
