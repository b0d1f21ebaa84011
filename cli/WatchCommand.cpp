#include "cleaning/CleaningRule.h"
#include "cleaning/MonitorCleaning.h"
#include "cli/CommandParser.h"
#include "cli/Output.h"
#include "history/HistoryJob.h"
#include "search/TargetSearch.h"
#include "threads/OBThread.h"
#include "watch/FileSystemWatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw::cli {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM reach the event loop through a pipe: the handler itself only writes a byte.
bool catchStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

const char* statusWord(const CleanReport& report) {
    return report.outcome == CleanOutcome::Cleaned ? "cleaned" : "unchanged";
}

} // namespace

int runWatch(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addKeywordOptions();
    parser.addBackupOption();
    parser.addOutputOptions();
    parser.addPositional("PATH", "The folder tree to watch.", "PATH");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> paths = parser.positional();
    if (paths.size() != 1) return parser.usageError("give exactly one PATH to watch");
    // Log lines name files by full path: a relative folder is taken from the working folder.
    const QByteArray folder = ExpandPath(paths.first());
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Output::error(folder, "not a folder that can be watched");
        return ExitUsage;
    }
    const QByteArray rule = parser.rule();
    if (auto error = checkCleaningRule(rule)) {
        Output::error("--rule", error->what());
        return ExitUsage;
    }
    const QByteArray keyword = parser.keyword();
    const Output out(parser.json(), parser.quiet(), Output::FlushEachLine);

    // The window's monitoring: its filter, its folder tree, one job at a time.
    TFileSystemWatcher watcher;
    watcher.setWatchSubTree(true);
    watcher.setNotifyFilters({nfAttributeChange});
    TOBThread worker;
    TMonitorCleaning monitor(watcher, worker);
    monitor.Rule = [rule] { return rule; };
    monitor.Keyword = [keyword] { return keyword; };
    if (!parser.isSet("no-backup"))
        monitor.History = std::make_shared<HistoryJob>(origin::Watch, folder);
    monitor.OnLog = [&](const QByteArray& line) {
        out.json() ? out.line(JsonLine().add("log", line)) : out.line(line);
    };
    bool stopping = false;
    monitor.OnFileCleaned = [&](const QByteArray& path, const CleanReport& report) {
        if (report.outcome == CleanOutcome::Failed && report.ruleError.isEmpty())
            Output::error(path, report.reason());
        if (!report.historyWarning.isEmpty()) Output::error(path, report.historyWarning);
        if (out.json()) {
            JsonLine json;
            json.add("path", path)
                .add("status",
                     report.outcome == CleanOutcome::Failed ? "failed" : statusWord(report));
            json.add("removed", report.removed);
            out.line(json);
        } else {
            out.line(QByteArray(statusWord(report)) + '\t' + path);
        }
        if (stopping && !monitor.JobRunning()) QCoreApplication::quit();
    };

    if (!catchStopSignals()) {
        Output::error("watch", "cannot catch SIGINT and SIGTERM");
        return ExitUsage;
    }
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        char drain[16];
        while (::read(signalPipe[0], drain, sizeof drain) > 0) {
        }
        if (stopping) return;
        stopping = true;
        monitor.Stop();
        // The running job finishes; files still queued are named so they can be cleaned later.
        if (const qsizetype dropped = monitor.DropPending())
            std::fprintf(stderr, "pagewarden-cli: stopped with %lld reported files not cleaned\n",
                         static_cast<long long>(dropped));
        if (!monitor.JobRunning()) QCoreApplication::quit();
    });

    monitor.Start(folder);
    if (::isatty(STDERR_FILENO))
        std::fprintf(stderr, "pagewarden-cli: watching %s (Ctrl-C to stop)\n", folder.constData());
    QCoreApplication::exec();
    return ExitSuccess;
}

} // namespace pw::cli
