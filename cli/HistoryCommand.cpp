// The way back: history, restore and prune over the backup store and journal.
#include "cli/CommandParser.h"
#include "cli/Output.h"
#include "history/HistoryJob.h"
#include "history/HistoryLocation.h"
#include "history/JobList.h"
#include "history/Prune.h"
#include "history/Restore.h"
#include "platform/RegularFile.h"
#include "search/TargetSearch.h"

#include <algorithm>

namespace pw::cli {

namespace {

// The journal's records, with a word on stderr for the lines that could not be read.
QList<JournalRecord> readJournal(const QByteArray& folder) {
    const Journal journal(folder);
    JournalContents contents = journal.read();
    if (contents.skipped > 0)
        Output::error(journal.path(), QByteArray::number(contents.skipped) +
                                          " lines could not be read (torn or not records), "
                                          "skipped");
    return std::move(contents.records);
}

QByteArray localTime(const QDateTime& time) {
    return time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toLatin1();
}

void printJobs(const Output& out, const QList<JobSummary>& jobs) {
    for (const JobSummary& job : jobs) {
        if (out.json()) {
            out.line(JsonLine()
                         .add("job", job.id)
                         .add("start", job.start.toString(Qt::ISODateWithMs).toUtf8())
                         .add("origin", job.origin)
                         .add("folder", job.folder)
                         .add("files", qint64(job.files))
                         .add("removed_bytes", job.removedBytes));
            continue;
        }
        out.line(job.id + '\t' + localTime(job.start) + '\t' + job.origin + '\t' +
                 QByteArray::number(job.files) + " files\t" + QByteArray::number(job.removedBytes) +
                 " bytes removed\t" + job.folder);
    }
}

void printRecords(const Output& out, const QList<JournalRecord>& records) {
    for (const JournalRecord& r : records) {
        if (out.json()) {
            out.line(JsonLine()
                         .add("job", r.job)
                         .add("time", r.time.toString(Qt::ISODateWithMs).toUtf8())
                         .add("path", r.path)
                         .add("sha256", r.sha256)
                         .add("size", r.size)
                         .add("new_sha256", r.newSha256)
                         .add("new_size", r.newSize)
                         .add("mode", qint64(r.mode))
                         .add("uid", qint64(r.uid))
                         .add("gid", qint64(r.gid))
                         .add("mtime", r.mtimeSec)
                         .add("removed", r.removed));
            continue;
        }
        out.line(localTime(r.time) + '\t' + r.path + '\t' + QByteArray::number(r.size) + " -> " +
                 QByteArray::number(r.newSize) + " bytes");
        for (const QByteArray& text : r.removed)
            out.line('\t' + escapedLine(text));
    }
}

const char* restoreWord(const RestoreReport& report, bool dryRun) {
    switch (report.outcome) {
    case RestoreOutcome::Restored:
        return dryRun ? "would-restore" : "restored";
    case RestoreOutcome::Unchanged:
        return "unchanged";
    case RestoreOutcome::NotRestored:
        return "failed";
    }
    return "failed";
}

} // namespace

int runHistory(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addOutputOptions();
    parser.addPositional("JOB", "Show the files of this job and what was removed.", "[JOB]");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> args = parser.positional();
    if (args.size() > 1) return parser.usageError("give at most one JOB");
    const Output out(parser.json(), parser.quiet());
    const QList<JournalRecord> records = readJournal(historyFolder());
    if (args.isEmpty()) {
        printJobs(out, summarizeJobs(records));
        return ExitSuccess;
    }
    const QList<JournalRecord> job = recordsOfJob(records, args.first());
    if (job.isEmpty()) {
        Output::error(args.first(), "no such job in the history");
        return ExitNothing;
    }
    printRecords(out, job);
    return ExitSuccess;
}

int runRestore(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addOption({"last", "Restore the newest job."});
    parser.addOption({"dry-run", "Change nothing; print what would be restored."});
    parser.addOption({"force", "Also restore files changed since the job rewrote them."});
    parser.addBackupOption();
    parser.addOutputOptions();
    parser.addPositional("JOB", "The job to undo (see 'history'), unless --last.", "JOB | --last");
    parser.addPositional("PATH", "Only these files of the job.", "[PATH...]");
    if (auto status = parser.parse()) return *status;
    QList<QByteArray> args = parser.positional();
    const bool last = parser.isSet("last");
    if (!last && args.isEmpty()) return parser.usageError("give a JOB or --last");

    const QByteArray folder = historyFolder();
    const QList<JournalRecord> records = readJournal(folder);
    QByteArray jobId;
    if (last) {
        const QList<JobSummary> jobs = summarizeJobs(records);
        if (jobs.isEmpty()) {
            Output::error(folder, "the history holds no job");
            return ExitUsage;
        }
        jobId = jobs.first().id;
    } else {
        jobId = args.takeFirst();
    }
    const QList<JournalRecord> job = recordsOfJob(records, jobId);
    if (job.isEmpty()) {
        Output::error(jobId, "no such job in the history");
        return ExitUsage;
    }

    RestoreOptions options;
    options.dryRun = parser.isSet("dry-run");
    options.force = parser.isSet("force");
    int status = ExitSuccess;
    for (const QByteArray& path : args) {
        const QByteArray full = ExpandPath(path);
        const bool inJob = std::any_of(job.begin(), job.end(),
                                       [&](const JournalRecord& r) { return r.path == full; });
        if (!inJob) {
            Output::error(path, "not rewritten by job " + jobId);
            status = ExitNothing;
            continue;
        }
        options.paths.append(full);
    }
    if (!args.isEmpty() && options.paths.isEmpty()) return status;

    std::shared_ptr<HistoryJob> history;
    if (!options.dryRun && !parser.isSet("no-backup"))
        history = std::make_shared<HistoryJob>(folder, origin::Restore, job.first().folder);
    const Output out(parser.json(), parser.quiet());
    for (const RestoreReport& report : restoreJob(folder, job, options, history)) {
        const bool failed = report.outcome == RestoreOutcome::NotRestored;
        if (failed) {
            Output::error(report.path, report.reason);
            status = ExitNothing;
        }
        if (!report.historyWarning.isEmpty()) Output::error(report.path, report.historyWarning);
        if (out.json()) {
            JsonLine json;
            json.add("path", report.path).add("status", restoreWord(report, options.dryRun));
            if (failed) json.add("error", report.reason);
            out.line(json);
        } else {
            out.line(QByteArray(failed ? "unchanged" : restoreWord(report, options.dryRun)) + '\t' +
                     report.path);
        }
    }
    return status;
}

int runPrune(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addOption({"older-than", "Remove the jobs started more than DAYS days ago.", "DAYS"});
    parser.addOption({"max-size",
                      "Then remove the oldest jobs until the history takes at most MB "
                      "megabytes.",
                      "MB"});
    parser.addOutputOptions();
    if (auto status = parser.parse()) return *status;
    if (!parser.positional().isEmpty()) return parser.usageError("prune takes no PATH");
    PruneLimits limits;
    bool ok = true;
    if (parser.isSet("older-than")) {
        const double days = parser.value("older-than").toDouble(&ok);
        if (!ok || days < 0) return parser.usageError("--older-than wants a number of days");
        limits.olderThan = QDateTime::currentDateTimeUtc().addMSecs(-qint64(days * 86400000.0));
    }
    if (parser.isSet("max-size")) {
        const double mb = parser.value("max-size").toDouble(&ok);
        if (!ok || mb < 0) return parser.usageError("--max-size wants a number of megabytes");
        limits.maxBytes = qint64(mb * 1024 * 1024);
    }
    if (!limits.olderThan && !limits.maxBytes)
        return parser.usageError("give --older-than DAYS or --max-size MB");

    const QByteArray folder = historyFolder();
    const PruneResult result = pruneHistory(folder, limits);
    if (result.error) {
        Output::error(Journal(folder).path(), describe(FileProblem::Io, result.error));
        return ExitNothing;
    }
    const Output out(parser.json(), parser.quiet());
    if (out.json())
        out.line(JsonLine()
                     .add("jobs_removed", qint64(result.jobsRemoved))
                     .add("backups_removed", qint64(result.objectsRemoved))
                     .add("bytes_freed", result.bytesFreed));
    else
        out.line("removed " + QByteArray::number(result.jobsRemoved) + " jobs and " +
                 QByteArray::number(result.objectsRemoved) + " backups (" +
                 QByteArray::number(result.bytesFreed) + " bytes)");
    return ExitSuccess;
}

} // namespace pw::cli
