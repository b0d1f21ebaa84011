#include "cleaning/FileCleaner.h"

#include "cleaning/BinarySignature.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/FileRewrite.h"
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
    CleanReport report = prepare(target, rule, keyword, mode, group);
    if (group.size() > 0) settle(report, group.commit().first());
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
    const auto commit = [&] {
        const QList<RewriteResult> results = group.commit();
        for (qsizetype i = 0; i < results.size(); ++i)
            settle(reports[waiting[i]], results[i]);
        waiting.clear();
    };
    for (const CleanTarget& target : targets) {
        const qsizetype before = group.size();
        reports.append(prepare(target, rule, keyword, CleanMode::Write, group));
        if (group.size() > before) waiting.append(reports.size() - 1);
        if (group.size() >= MaxFiles || group.bytes() >= MaxBytes) commit();
    }
    if (group.size() > 0) commit();
    return reports;
}

void FileCleaner::settle(CleanReport& report, const RewriteResult& written) {
    if (!written.ok()) report = writeFailed(written.problem, written.errnum);
}

CleanReport FileCleaner::prepare(const CleanTarget& target, const QByteArray& rule,
                                 const KeywordSource& keyword, CleanMode mode,
                                 RewriteGroup& group) {
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
    RegularFile file = RegularFile::open(folder.fd(), folder.name());
    QByteArray before;
    if (!file.isOpen() || !file.readAll(before)) return readFailed(file.problem(), file.error());
    if (!m_binaryAllowed && hasBinarySignature(before)) return failed(LeftReason::Binary);

    TextCleaning cleaned = cleanText(before, matcher, keyword);
    CleanReport report;
    report.removed = std::move(cleaned.removed);
    report.complete = cleaned.complete;
    if (cleaned.text == before) return report;

    report.outcome = CleanOutcome::Cleaned; // a dry run: would be
    if (mode == CleanMode::DryRun) return report;
    if (FileProblem p = writeProblem(folder, file.status()); p != FileProblem::None)
        return writeFailed(p);
    group.add(std::move(folder), file.status(), before, cleaned.text);
    return report;
}

} // namespace pw
