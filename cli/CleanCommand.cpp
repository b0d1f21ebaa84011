#include "cleaning/CleaningRule.h"
#include "cleaning/FileCleaner.h"
#include "cli/CommandParser.h"
#include "cli/Output.h"

namespace pw::cli {

namespace {

const char* statusWord(const CleanReport& report, CleanMode mode) {
    if (report.outcome == CleanOutcome::Cleaned)
        return mode == CleanMode::DryRun ? "would-clean" : "cleaned";
    return report.outcome == CleanOutcome::Failed ? "failed" : "unchanged";
}

void print(const Output& out, const QByteArray& path, const CleanReport& report, CleanMode mode) {
    if (report.outcome == CleanOutcome::Failed) Output::error(path, report.reason());
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

} // namespace

int runClean(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addKeywordOptions();
    parser.addOption({"files", "Clean exactly the FILEs given, without searching."});
    parser.addOption({"dry-run", "Change nothing; print each text that would be removed."});
    parser.addOutputOptions();
    parser.addPositional("FILE", "Files to clean (with --files).", "FILE...");
    if (auto status = parser.parse()) return *status;
    if (!parser.isSet("files")) return parser.usageError("give the files to clean with --files");
    const QList<QByteArray> files = parser.positional();
    if (files.isEmpty()) return parser.usageError("no FILE given");

    const QByteArray rule = parser.rule();
    if (auto error = checkCleaningRule(rule)) {
        Output::error("--rule", error->what());
        return ExitUsage;
    }
    const QByteArray keyword = parser.keyword();
    const KeywordSource keywordSource = [keyword] { return keyword; };
    const CleanMode mode = parser.isSet("dry-run") ? CleanMode::DryRun : CleanMode::Write;
    const Output out(parser.json(), parser.quiet());

    int status = ExitSuccess;
    FileCleaner cleaner;
    for (const QByteArray& path : files) {
        const CleanReport report = cleaner.clean(path, rule, keywordSource, mode);
        if (report.outcome == CleanOutcome::Failed) status = ExitNothing;
        print(out, path, report, mode);
    }
    return status;
}

} // namespace pw::cli
