#include "cleaning/CleaningRule.h"
#include "cleaning/MonitorCleaning.h"
#include "cli/CommandParser.h"
#include "cli/Output.h"
#include "cli/SearchOptions.h"
#include "cli/ServiceManager.h"
#include "history/HistoryJob.h"
#include "search/TargetSearch.h"
#include "threads/OBThread.h"
#include "watch/FanotifyTree.h"
#include "watch/FileSystemWatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace pw::cli {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT, SIGTERM and SIGHUP reach the event loop through a pipe: the handler itself only writes
// the signal's number.
bool catchSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGHUP, &action, nullptr) == 0;
}

// The keyword the jobs read on the worker thread; SIGHUP may replace it on the main thread.
class SharedKeyword {
public:
    explicit SharedKeyword(QByteArray keyword)
        : m_keyword(std::move(keyword)) {}
    QByteArray get() const {
        std::lock_guard lock(m_lock);
        return m_keyword;
    }
    void set(QByteArray keyword) {
        std::lock_guard lock(m_lock);
        m_keyword = std::move(keyword);
    }

private:
    mutable std::mutex m_lock;
    QByteArray m_keyword;
};

Priority priorityOf(TMonitorCleaning::TLogLevel level) {
    switch (level) {
    case TMonitorCleaning::llInfo:
        return Priority::Info;
    case TMonitorCleaning::llWarning:
        return Priority::Warning;
    default:
        return Priority::Error;
    }
}

const char* statusWord(const CleanReport& report) {
    switch (report.outcome) {
    case CleanOutcome::Cleaned:
        return "cleaned";
    case CleanOutcome::Failed:
        return "skipped";
    default:
        return "unchanged";
    }
}

} // namespace

int runWatch(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addKeywordOptions();
    addMasksOption(parser);
    parser.addBackupOption();
    parser.addOutputOptions();
    parser.addOption({"backend",
                      "How changes are learnt: fanotify (one mark per file system; needs "
                      "CAP_SYS_ADMIN and CAP_DAC_READ_SEARCH), inotify (a watch per folder), or "
                      "auto (fanotify where allowed, else inotify).",
                      "inotify|fanotify|auto", "auto"});
    parser.addPositional("PATH", "The folder trees to watch, one rule and keyword for all.",
                         "PATH...");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> paths = parser.positional();
    if (paths.isEmpty()) return parser.usageError("give at least one PATH to watch");
    QByteArrayList maskList;
    if (auto error = readMasks(parser, maskList)) return parser.usageError(*error);
    const QByteArray masks = maskList.join(';');
    const QByteArray backendName = parser.value("backend");
    if (backendName != "auto" && backendName != "inotify" && backendName != "fanotify")
        return parser.usageError("--backend takes inotify, fanotify or auto");
    const TWatchBackend backend = backendName == "fanotify"  ? wbFanotify
                                  : backendName == "inotify" ? wbInotify
                                                             : wbAuto;
    // Log lines name files by full path: a relative folder is taken from the working folder.
    QByteArrayList folders;
    for (const QByteArray& path : paths) {
        const QByteArray folder = ExpandPath(path);
        struct stat st {};
        if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            Output::error(folder, "not a folder that can be watched");
            return ExitUsage;
        }
        if (!folders.contains(folder)) folders.append(folder);
    }
    if (backend == wbFanotify) {
        if (const QByteArray why = FanotifyUnavailable(folders); !why.isEmpty()) {
            Output::error("--backend fanotify", why);
            return ExitUsage;
        }
    }
    const QByteArray rule = parser.rule();
    if (parser.refuseRule(rule)) return ExitUsage;
    SharedKeyword keyword(parser.keyword());
    const bool keywordGiven = parser.isSet("keyword");
    parser.announceKeywordAndRule();
    // The lines of a burst leave together, before the program waits for anything again.
    const Output out(parser.json(), parser.quiet());
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [] { std::fflush(stdout); });
    auto print = [&](Priority priority, const QByteArray& line) {
        out.line(JournalPrefix(STDOUT_FILENO, priority) + line);
    };

    // The window's monitoring: its filter, its folder tree, one job at a time.
    TFileSystemWatcher watcher;
    watcher.setBackend(backend);
    watcher.setWatchSubTree(true);
    watcher.setNotifyFilters({nfAttributeChange});
    TOBThread worker;
    TMonitorCleaning monitor(watcher, worker);
    monitor.Rule = [rule] { return rule; };
    monitor.Keyword = [&keyword] { return keyword.get(); };
    monitor.Masks = [masks] { return masks; };
    if (!parser.isSet("no-backup"))
        monitor.History = std::make_shared<HistoryJob>(origin::Watch, jobFolder(paths));
    monitor.OnLog = [&](const QByteArray& line, TMonitorCleaning::TLogLevel level) {
        print(priorityOf(level), out.json() ? JsonLine().add("log", line).text() : line);
    };
    bool stopping = false;
    monitor.OnFileCleaned = [&](const QByteArray& path, const CleanReport& report) {
        if (report.outcome == CleanOutcome::Failed && report.ruleError.isEmpty())
            Output::error(path, report.reason());
        if (!report.historyWarning.isEmpty()) Output::error(path, report.historyWarning);
        const bool skipped = report.outcome == CleanOutcome::Failed;
        if (out.json()) {
            JsonLine json;
            json.add("path", path).add("status", statusWord(report));
            json.add("removed", report.removed);
            if (skipped)
                json.add("reason", leftReasonWord(report.left)).add("error", report.reason());
            print(Priority::Info, json.text());
        } else {
            QByteArray line = statusWord(report) + ('\t' + path);
            if (skipped) line += '\t' + QByteArray(leftReasonWord(report.left));
            print(Priority::Info, line);
        }
    };
    monitor.OnIdle = [&] {
        if (stopping) QCoreApplication::quit();
    };

    // SIGHUP takes up a keyword the window saved since; the folder, the rule and the options are
    // read once, so changing them needs a restart.
    auto reload = [&] {
        const QByteArray prefix = JournalPrefix(STDERR_FILENO, Priority::Warning);
        if (keywordGiven) {
            std::fprintf(stderr,
                         "%spagewarden-cli: SIGHUP: nothing to reload (--keyword given); restart "
                         "to change the folder, keyword, rule or options\n",
                         prefix.constData());
            return;
        }
        keyword.set(storedKeyword());
        std::fprintf(stderr,
                     "%spagewarden-cli: SIGHUP: keyword reloaded from the settings store; restart "
                     "to change the folder, rule or options\n",
                     prefix.constData());
    };

    if (!catchSignals()) {
        Output::error("watch", "cannot catch SIGINT, SIGTERM and SIGHUP");
        return ExitUsage;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char drain[16];
        bool stop = false, hangUp = false;
        for (ssize_t n; (n = ::read(signalPipe[0], drain, sizeof drain)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (drain[i] == SIGHUP ? hangUp : stop) = true;
        if (hangUp && !stopping) reload();
        if (!stop || stopping) return;
        stopping = true;
        NotifyStopping();
        monitor.Stop();
        // The running job finishes; files still queued are named so they can be cleaned later.
        if (const qsizetype dropped = monitor.DropPending())
            std::fprintf(stderr, "%spagewarden-cli: stopped with %lld reported files not cleaned\n",
                         JournalPrefix(STDERR_FILENO, Priority::Warning).constData(),
                         static_cast<long long>(dropped));
        if (!monitor.JobRunning()) QCoreApplication::quit();
    });

    monitor.Start(folders);
    // Every folder of the trees has its watch once Start returns.
    NotifyReady();
    QTimer watchdog;
    if (const auto interval = WatchdogInterval(); interval.count() > 0) {
        QObject::connect(&watchdog, &QTimer::timeout, [] { NotifyWatchdog(); });
        watchdog.start(std::chrono::duration_cast<std::chrono::milliseconds>(interval / 2));
    }
    if (::isatty(STDERR_FILENO))
        std::fprintf(stderr, "pagewarden-cli: watching %s (Ctrl-C to stop)\n",
                     folders.join(' ').constData());
    QCoreApplication::exec();
    return ExitSuccess;
}

} // namespace pw::cli
