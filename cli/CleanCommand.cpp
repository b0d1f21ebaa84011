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

const char* statusWord(const CleanReport& report, CleanMode mode) {
    if (report.outcome == CleanOutcome::Cleaned)
        return mode == CleanMode::DryRun ? "would-clean" : "cleaned";
    return report.outcome == CleanOutcome::Failed ? "failed" : "unchanged";
}

void print(const Output& out, const QByteArray& path, const CleanReport& report, CleanMode mode) {
    for (const QByteArray& leftover : report.leftovers)
        Output::error(leftover.left(leftover.indexOf(": ")),
                      leftover.mid(leftover.indexOf(": ") + 2));
    if (report.outcome == CleanOutcome::Failed) Output::error(path, report.reason());
    if (!report.historyWarning.isEmpty()) Output::error(path, report.historyWarning);
    if (out.json()) {
        JsonLine json;
        json.add("path", path).add("status", statusWord(report, mode));
        if (mode == CleanMode::DryRun || report.outcome == CleanOutcome::Cleaned)
            json.add("removed", report.removed);
        if (report.outcome == CleanOutcome::Failed) json.add("error", report.reason());
        out.line(json);
        return;
    }
    const bool failed = report.outcome == CleanOutcome::Failed;
    out.line(QByteArray(failed ? "unchanged" : statusWord(report, mode)) + '\t' + path);
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
    parser.addBackupOption();
    parser.addOutputOptions();
    parser.addPositional("PATH", "Folders to search and clean (FILEs with --files).", "PATH...");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> paths = parser.positional();
    if (paths.isEmpty())
        return parser.usageError(parser.isSet("files") ? "no FILE given" : "no PATH given");
    SearchOptions search;
    if (!parser.isSet("files")) {
        if (auto error = readSearchOptions(parser, paths, search)) return parser.usageError(*error);
        if (!checkSearchPaths(paths)) return ExitUsage;
    }
    // Refused before any file is touched.
    const QByteArray rule = parser.rule();
    if (auto error = checkCleaningRule(rule)) {
        Output::error("--rule", error->what());
        return ExitUsage;
    }
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

    // One file after the other, each once, in the order given or found.
    int status = ExitSuccess;
    FileCleaner cleaner;
    if (mode == CleanMode::Write && !parser.isSet("no-backup"))
        cleaner.setHistory(std::make_shared<HistoryJob>(origin::Clean, jobFolder(paths)));
    for (const CleanTarget& file : files) {
        const CleanReport report = cleaner.clean(file, rule, keywordSource, mode);
        if (report.outcome == CleanOutcome::Failed) status = ExitNothing;
        print(out, file.path, report, mode);
    }
    return status;
}

} // namespace pw::cli
