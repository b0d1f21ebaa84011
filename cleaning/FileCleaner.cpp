#include "cleaning/FileCleaner.h"

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
    return describe(problem, errnum);
}

namespace {

CleanReport failed(FileProblem problem, int errnum = 0) {
    CleanReport report;
    report.outcome = CleanOutcome::Failed;
    report.problem = problem;
    report.errnum = errnum;
    return report;
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
    // An equal rule keeps the pattern compiled for the previous file.
    TPcreRegEx& matcher = *m_matcher;
    matcher.setRegEx(cleaningRule(rule));
    try {
        if (!matcher.compiled()) matcher.Compile();
    } catch (const EPcreError& error) {
        CleanReport report = failed(FileProblem::None);
        report.ruleError = error.what();
        return report;
    }

    const FolderBeneath folder = FolderBeneath::open(target.root, target.path);
    if (!folder.isOpen()) return failed(folder.problem(), folder.error());
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
    CleanReport report = cleanOpened(folder, target, keyword, mode);
    report.leftovers = leftovers;
    return report;
}

CleanReport FileCleaner::cleanOpened(const FolderBeneath& folder, const CleanTarget& target,
                                     const KeywordSource& keyword, CleanMode mode) {
    TPcreRegEx& matcher = *m_matcher;
    RegularFile file = RegularFile::open(folder.fd(), folder.name());
    QByteArray before;
    if (!file.isOpen() || !file.readAll(before)) return failed(file.problem(), file.error());

    TextCleaning cleaned = cleanText(before, matcher, keyword);
    CleanReport report;
    report.removed = std::move(cleaned.removed);
    if (cleaned.text == before) return report;

    if (mode == CleanMode::DryRun) {
        report.outcome = CleanOutcome::Cleaned;
        return report;
    }
    if (FileProblem p = writeProblem(folder, file.status()); p != FileProblem::None)
        return failed(p);

    // The original is complete and flushed in the store before the file is replaced.
    QByteArray originalSha;
    if (m_history)
        if (const int error = m_history->keepOriginal(before, originalSha, replaced(folder, file)))
            return failed(FileProblem::NoBackup, error);

    const RewriteResult written = rewriteFile(folder, file.status(), before, cleaned.text);
    if (!written.ok()) {
        if (m_history) m_history->keepOriginalApart(before, originalSha);
        return failed(written.problem, written.errnum);
    }
    report.outcome = CleanOutcome::Cleaned;

    if (m_history)
        if (const int error = m_history->recordRewrite(target.root, target.path, file.status(),
                                                       originalSha, cleaned.text, report.removed))
            report.historyWarning = "cleaned, but its journal record could not be written: " +
                                    describe(FileProblem::Io, error);
    return report;
}

} // namespace pw
