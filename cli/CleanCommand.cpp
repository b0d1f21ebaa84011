#include "cleaning/CleaningRule.h"
#include "cleaning/FileCleaner.h"
#include "cli/CommandParser.h"
#include "cli/Output.h"
#include "cli/SearchOptions.h"
#include "history/HistoryJob.h"
#include "search/FindFile.h"
#include "search/TargetSearch.h"

namespace pw::cli {

namespace {

const QByteArray IncompleteReason =
    "not fully cleaned: the rule ran out of matching limits on a line, left as it was";

const char* statusWord(const CleanReport& report, CleanMode mode) {
    if (report.outcome == CleanOutcome::Cleaned)
        return mode == CleanMode::DryRun ? "would-clean" : "cleaned";
    return report.outcome == CleanOutcome::Failed ? "skipped" : "unchanged";
}

QByteArray errorText(const CleanReport& report) {
    if (report.left == LeftReason::Binary)
        return "starts with a binary file signature (--binary cleans it all the same)";
    return report.reason();
}

void print(const Output& out, const QByteArray& path, const CleanReport& report, CleanMode mode) {
    for (const QByteArray& leftover : report.leftovers)
        Output::error(leftover.left(leftover.indexOf(": ")),
                      leftover.mid(leftover.indexOf(": ") + 2));
    const bool skipped = report.outcome == CleanOutcome::Failed;
    if (skipped) Output::error(path, errorText(report));
    if (!report.historyWarning.isEmpty()) Output::error(path, report.historyWarning);
    if (out.json()) {
        JsonLine json;
        json.add("path", path).add("status", statusWord(report, mode));
        if (mode == CleanMode::DryRun || report.outcome == CleanOutcome::Cleaned)
            json.add("removed", report.removed);
        if (skipped)
            json.add("reason", leftReasonWord(report.left)).add("error", errorText(report));
        out.line(json);
        return;
    }
    QByteArray line = statusWord(report, mode) + ('\t' + path);
    if (skipped) line += '\t' + QByteArray(leftReasonWord(report.left));
    out.line(line);
    if (mode == CleanMode::DryRun)
        for (const QByteArray& text : report.removed)
            out.line('\t' + escapedLine(text));
}

// The files a search of the window would list for the same settings, in search order. Folder
// entries (listed by a search without keyword) are not files and are left out.
// Each is cleaned beneath the searched folder it was found in.
QList<CleanTarget> findFiles(const SearchOptions& options) {
    QList<CleanTarget> files;
    TFindFile findFile;
    options.applyTo(findFile);
    const QByteArrayList roots = SearchRoots(options.Criteria);
    findFile.OnFileMatch = [&](QObject*, const QByteArray& folder, const TSearchRec& info) {
        if (!(info.Attr & FILE_ATTRIBUTE_DIRECTORY))
            files.append(CleanTarget::beneath(roots, folder + info.Name));
    };
    findFile.Execute();
    return files;
}

} // namespace

int runClean(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addKeywordOptions();
    addSearchOptions(parser);
    parser.addOption({"files", "Clean exactly the FILEs given, without searching."});
    parser.addOption({"dry-run", "Change nothing; print each text that would be removed."});
    parser.addOption({"binary", "Clean FILEs that start with a binary file signature too (with "
                                "--files only: a search never rewrites them)."});
    parser.addBackupOption();
    parser.addOutputOptions();
    parser.addPositional("PATH", "Folders to search and clean (FILEs with --files).", "PATH...");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> paths = parser.positional();
    if (paths.isEmpty())
        return parser.usageError(parser.isSet("files") ? "no FILE given" : "no PATH given");
    if (parser.isSet("binary") && !parser.isSet("files"))
        return parser.usageError("--binary cleans only FILEs named with --files");
    SearchOptions search;
    if (!parser.isSet("files")) {
        if (auto error = readSearchOptions(parser, paths, search)) return parser.usageError(*error);
        if (!checkSearchPaths(paths)) return ExitUsage;
    }
    // Refused before any file is touched.
    const QByteArray rule = parser.rule();
    if (parser.refuseRule(rule)) return ExitUsage;
    parser.announceKeywordAndRule();
    QList<CleanTarget> files;
    if (parser.isSet("files"))
        for (const QByteArray& path : paths)
            files.append(CleanTarget::inOwnFolder(path));
    else
        files = findFiles(search);

    const QByteArray keyword = parser.keyword();
    const KeywordSource keywordSource = [keyword] { return keyword; };
    const CleanMode mode = parser.isSet("dry-run") ? CleanMode::DryRun : CleanMode::Write;
    const Output out(parser.json(), parser.quiet());

    // Each file once, reported in the order given or found.
    int status = ExitSuccess;
    const auto reportOn = [&](const CleanTarget& file, const CleanReport& report) {
        if (report.outcome == CleanOutcome::Failed) status = ExitNothing;
        print(out, file.path, report, mode);
        if (!report.complete) {
            Output::error(file.path, IncompleteReason);
            status = ExitNothing;
        }
    };
    FileCleaner cleaner;
    cleaner.setBinaryAllowed(parser.isSet("binary"));
    if (mode == CleanMode::DryRun) {
        for (const CleanTarget& file : files)
            reportOn(file, cleaner.clean(file, rule, keywordSource, mode));
        return status;
    }
    if (!parser.isSet("no-backup"))
        cleaner.setHistory(std::make_shared<HistoryJob>(origin::Clean, jobFolder(paths)));
    // Rewritten in groups flushed together; each file is printed once its group is on disk.
    qsizetype printed = 0;
    const auto printUpTo = [&](const QList<CleanReport>& reports, qsizetype settled) {
        for (; printed < settled; ++printed)
            reportOn(files[printed], reports[printed]);
    };
    const QList<CleanReport> reports = cleaner.cleanTogether(files, rule, keywordSource, printUpTo);
    printUpTo(reports, reports.size());
    return status;
}

} // namespace pw::cli
