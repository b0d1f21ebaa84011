#include "cli/CommandParser.h"
#include "cli/Output.h"
#include "cli/SearchOptions.h"
#include "search/FindFile.h"

#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

#include <unistd.h>

namespace pw::cli {

namespace {

// "searching: N folders, M found" on stderr while the search runs, when stderr is a terminal.
class Progress {
public:
    explicit Progress(bool quiet)
        : m_shown(!quiet && ::isatty(STDERR_FILENO))
        , m_sharesTerminal(m_shown && ::isatty(STDOUT_FILENO)) {
        m_timer.start();
    }
    ~Progress() { clear(); }

    void folder() {
        ++m_folders;
        if (m_shown && m_timer.hasExpired(100)) {
            m_timer.restart();
            std::fprintf(stderr, "\r\033[Ksearching: %lld folders, %lld found", m_folders, m_found);
            m_onScreen = true;
        }
    }
    void found() {
        ++m_found;
        if (m_sharesTerminal) clear(); // the result line goes where the progress line was
    }
    void clear() {
        if (m_onScreen) std::fputs("\r\033[K", stderr);
        m_onScreen = false;
    }

private:
    const bool m_shown;
    const bool m_sharesTerminal;
    bool m_onScreen = false;
    long long m_folders = 0;
    long long m_found = 0;
    QElapsedTimer m_timer;
};

QByteArray localTimeText(TFileTime fileTime) {
    const timespec ts = TimespecFromFileTime(fileTime);
    struct tm t {};
    char text[32] = "";
    if (localtime_r(&ts.tv_sec, &t)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    return text;
}

void print(const Output& out, const QByteArray& folder, const TSearchRec& info) {
    const QByteArray path = folder + info.Name;
    if (!out.json()) {
        out.line(path);
        return;
    }
    JsonLine json;
    json.add("path", path)
        .add("size", info.Size)
        .add("modified", localTimeText(info.FindData.ftLastWriteTime))
        .add("folder", (info.Attr & FILE_ATTRIBUTE_DIRECTORY) != 0);
    out.line(json);
}

} // namespace

int runSearch(const Invocation& invocation) {
    CommandParser parser(invocation);
    parser.addKeywordOption();
    addSearchOptions(parser);
    parser.addOutputOptions();
    parser.addPositional("PATH", "Folders to search.", "PATH...");
    if (auto status = parser.parse()) return *status;
    const QList<QByteArray> paths = parser.positional();
    if (paths.isEmpty()) return parser.usageError("no PATH given");
    SearchOptions options;
    if (auto error = readSearchOptions(parser, paths, options)) return parser.usageError(*error);
    if (!checkSearchPaths(paths)) return ExitUsage;

    const Output out(parser.json(), parser.quiet());
    Progress progress(parser.quiet());
    long long found = 0;
    TFindFile findFile;
    options.applyTo(findFile);
    findFile.OnFolderChange = [&](QObject*, const QByteArray&, TFolderIgnore&) {
        progress.folder();
    };
    findFile.OnFileMatch = [&](QObject*, const QByteArray& folder, const TSearchRec& info) {
        ++found;
        progress.found();
        print(out, folder, info);
    };
    findFile.Execute();
    return found > 0 ? ExitSuccess : ExitNothing;
}

} // namespace pw::cli
