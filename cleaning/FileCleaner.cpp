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
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <system_error>
#include <thread>
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
                                              const Settled& settled, const MoreTargets& more) {
    return cleanAll(targets, rule, keyword, CleanMode::Write, settled, more);
}

// The thread that commits a group while the next one is prepared, one group at a time: started
// on first use and kept for the cleaner's life.
class FileCleaner::CommitThread {
public:
    ~CommitThread() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) m_thread.join();
    }

    // False when no thread can be started: the caller does the work itself.
    bool start(std::function<void()> work) {
        if (!m_thread.joinable()) try {
                m_thread = std::thread([this] { serve(); });
            } catch (const std::system_error&) {
                return false;
            }
        {
            std::lock_guard lock(m_mutex);
            m_work = std::move(work);
            m_done = false;
        }
        m_wake.notify_one();
        return true;
    }
    void wait() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_done; });
    }
    bool idle() {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

private:
    void serve() {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || m_work; });
                if (!m_work) return;
                work = std::exchange(m_work, {});
            }
            work();
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::function<void()> m_work;
    bool m_done = true;
    bool m_stopping = false;
    std::thread m_thread;
};

// One cleanAll: each full group is committed on the commit thread while the next one is
// prepared, so the waits for the disk overlap the reading and cleaning.
class FileCleaner::Run {
public:
    Run(FileCleaner& cleaner, const Settled& settled)
        : m_cleaner(cleaner)
        , m_settled(settled)
        , m_maxFiles(maxGroupFiles())
        , m_group(std::make_unique<Group>(cleaner.m_history)) {}

    void add(CleanReport report) {
        if (m_group->pendings.size() > m_group->indexes.size()) {
            m_group->indexes.append(m_reports.size());
            m_group->reports.append(std::move(report));
            m_reports.append(CleanReport{});
        } else {
            m_reports.append(std::move(report));
        }
    }
    Group& group() { return *m_group; }
    bool groupEmpty() const { return m_group->rewrites.size() == 0; }
    bool committing() const { return m_committing != nullptr; }

    // After each file: a full group goes to be committed, and so does a group of a few files
    // when the commit thread is free, so that the first files of a burst do not wait for the
    // group to fill while the disk is idle (slow commits still gather large groups). A group
    // committed meanwhile is reported at once.
    void step() {
        constexpr qsizetype FewFiles = 16;
        if (groupFull() || (m_group->rewrites.size() >= FewFiles && commitDone()))
            commitAside();
        else if (committing() && commitDone())
            collect();
    }

    // The group goes to be committed beside the next one's preparation.
    void commitAside() {
        m_cleaner.m_roots.forget(); // the next group's files open their roots afresh
        collect();
        m_committing = std::exchange(m_group, std::make_unique<Group>(m_cleaner.m_history));
        if (!m_cleaner.m_committer) m_cleaner.m_committer = std::make_unique<CommitThread>();
        Group& aside = *m_committing;
        m_aside = m_cleaner.m_committer->start([this, &aside] { m_cleaner.commit(aside); });
        if (!m_aside) m_cleaner.commit(aside);
    }
    // Waits for the group being committed; every report before the next group's is final then.
    void collect() {
        if (!m_committing) return;
        if (m_aside) m_cleaner.m_committer->wait();
        land(*m_committing);
        m_committing.reset();
        const qsizetype upTo =
            m_group->indexes.isEmpty() ? m_reports.size() : m_group->indexes.first();
        if (m_settled && upTo > m_settledCount) m_settled(m_reports, m_settledCount = upTo);
    }
    QList<CleanReport> finish() {
        m_cleaner.m_roots.forget();
        collect();
        m_cleaner.commit(*m_group);
        land(*m_group);
        return std::move(m_reports);
    }

private:
    bool groupFull() const {
        // What waits in memory for one commit is bounded too.
        constexpr qsizetype MaxBytes = 64 * 1024 * 1024;
        return m_group->rewrites.size() >= m_maxFiles || m_group->rewrites.bytes() >= MaxBytes;
    }
    bool commitDone() const { return !m_committing || !m_aside || m_cleaner.m_committer->idle(); }
    // Each rewrite of a group holds two descriptors (its folder and its temporary file) until
    // the commit, and two groups are open at once: well within the limit on open files.
    static qsizetype maxGroupFiles() {
        constexpr qsizetype Most = 256, Spare = 128, PerFile = 8;
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return Most;
        const qsizetype open = qsizetype(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
        return std::clamp((open - Spare) / PerFile, qsizetype(1), Most);
    }
    void land(Group& done) {
        for (qsizetype i = 0; i < done.indexes.size(); ++i)
            m_reports[done.indexes[i]] = std::move(done.reports[i]);
    }

    FileCleaner& m_cleaner;
    const Settled& m_settled;
    const qsizetype m_maxFiles;
    QList<CleanReport> m_reports;
    std::unique_ptr<Group> m_group;
    std::unique_ptr<Group> m_committing;
    bool m_aside = false; // m_committing is on the commit thread
    qsizetype m_settledCount = 0;
};

QList<CleanReport> FileCleaner::cleanAll(const QList<CleanTarget>& targets, const QByteArray& rule,
                                         const KeywordSource& keyword, CleanMode mode,
                                         const Settled& settled, const MoreTargets& more) {
    Run run(*this, settled);
    QList<CleanTarget> queue = targets;
    for (qsizetype next = 0;;) {
        if (next == queue.size() && more) {
            queue = more();
            next = 0;
        }
        if (next < queue.size()) {
            run.add(prepare(queue[next++], rule, keyword, mode, run.group()));
            run.step();
            continue;
        }
        // Nothing more to prepare for now. A long job commits what it has and looks again once
        // the disk is done, for files queued meanwhile.
        if (!more) break;
        if (!run.groupEmpty())
            run.commitAside();
        else if (run.committing())
            run.collect();
        else
            break;
    }
    return run.finish();
}

void FileCleaner::commit(Group& group) {
    if (group.rewrites.size() == 0) return;
    QByteArrayList shas;
    for (const Pending& pending : group.pendings)
        shas.append(pending.sha);
    const QList<RewriteResult> results = commitBackedUp(group.rewrites, group.backups, shas);

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

    FolderBeneath folder = m_roots.open(target.root, target.path);
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
