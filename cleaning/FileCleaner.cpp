#include "cleaning/FileCleaner.h"

#include "cleaning/BinarySignature.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/FileRewrite.h"
#include "cleaning/Leftovers.h"
#include "history/HistoryJob.h"
#include "history/HistoryLocation.h"
#include "regex/PcreRegEx.h"

#include <fcntl.h>
#include <unistd.h>

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

// A file with one name is replaced by a rename, so the store can keep the file itself.
std::optional<HistoryJob::Replaced> replaced(const FolderBeneath& folder, const RegularFile& file) {
    if (file.status().st_nlink != 1) return std::nullopt;
    return HistoryJob::Replaced{folder.fd(), folder.name(), file.fd(), file.status()};
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

CleanReport FileCleaner::clean(const CleanTarget& target, const QByteArray& rule,
                               const KeywordSource& keyword, CleanMode mode) {
    RewriteGroup group;
    Pending pending;
    CleanReport report = prepare(target, rule, keyword, mode, group, pending);
    if (group.size() > 0) settle(report, group.commit().first(), pending);
    return report;
}

QList<CleanReport> FileCleaner::cleanTogether(const QList<CleanTarget>& targets,
                                              const QByteArray& rule,
                                              const KeywordSource& keyword) {
    // Bounds on what waits in memory for one commit.
    constexpr qsizetype MaxFiles = 256;
    constexpr qsizetype MaxBytes = 64 * 1024 * 1024;
    QList<CleanReport> reports;
    reports.reserve(targets.size());
    RewriteGroup group;
    QList<qsizetype> waiting; // the report of each rewrite in the group
    QList<Pending> pendings;  // and what its journal record needs
    const auto commit = [&] {
        const QList<RewriteResult> results = group.commit();
        for (qsizetype i = 0; i < results.size(); ++i)
            settle(reports[waiting[i]], results[i], pendings[i]);
        waiting.clear();
        pendings.clear();
    };
    for (const CleanTarget& target : targets) {
        const qsizetype before = group.size();
        Pending pending;
        reports.append(prepare(target, rule, keyword, CleanMode::Write, group, pending));
        if (group.size() > before) {
            waiting.append(reports.size() - 1);
            pendings.append(std::move(pending));
        }
        if (group.size() >= MaxFiles || group.bytes() >= MaxBytes) commit();
    }
    if (group.size() > 0) commit();
    return reports;
}

void FileCleaner::settle(CleanReport& report, const RewriteResult& written,
                         const Pending& pending) {
    if (!written.ok()) {
        if (m_history) m_history->keepOriginalApart(pending.before, pending.sha);
        QByteArrayList leftovers = report.leftovers;
        report = writeFailed(written.problem, written.errnum);
        report.leftovers = leftovers;
        return;
    }
    if (m_history)
        if (const int error = m_history->recordRewrite(pending.root, pending.path, pending.status,
                                                       pending.sha, pending.after, report.removed))
            report.historyWarning = "cleaned, but its journal record could not be written: " +
                                    describe(FileProblem::Io, error);
}

CleanReport FileCleaner::prepare(const CleanTarget& target, const QByteArray& rule,
                                 const KeywordSource& keyword, CleanMode mode, RewriteGroup& group,
                                 Pending& pending) {
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
    if (mode == CleanMode::Write && !m_swept.contains(folder.folderPath())) {
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

    // The original is complete and flushed in the store before the file is replaced.
    QByteArray originalSha;
    if (m_history)
        if (const int error = m_history->keepOriginal(before, originalSha, replaced(folder, file)))
            return writeFailed(FileProblem::NoBackup, error);
    pending = {target.root, target.path, before, originalSha, cleaned.text, file.status()};
    group.add(std::move(folder), file.status(), before, cleaned.text);
    return report;
}

} // namespace pw
