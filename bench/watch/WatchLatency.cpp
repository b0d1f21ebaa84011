// Time from a file's close to its OnChange call, for files written into a watched tree.
//   watch_latency [FILES] [PAUSE_US] [auto|inotify|fanotify]
// writes FILES files (default 1000) into ten subfolders of a watched temporary folder, one after
// the other with PAUSE_US microseconds between them (default 0: as fast as possible), with the
// window's watcher settings, and reports how many were reported, the median and the 99th
// percentile of the latency.
#include "watch/FileSystemWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace pw;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Folders = 10;

QByteArray fileName(const QByteArray& root, int i) {
    return root + "/sub" + QByteArray::number(i % Folders) + "/page" + QByteArray::number(i) +
           ".htm";
}

int indexOf(const QByteArray& path) {
    const qsizetype at = path.lastIndexOf("/page");
    return at < 0 ? -1 : path.mid(at + 5).chopped(4).toInt();
}

double percentile(std::vector<double> sorted, double p) {
    if (sorted.empty()) return 0;
    const size_t at = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[at];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int pauseUs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    const QByteArray backend = argc > 3 ? argv[3] : "auto";

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (int f = 0; f < Folders; ++f)
        QDir().mkpath(QString("%1/sub%2").arg(dir.path()).arg(f));

    const size_t count = size_t(files);
    std::vector<Clock::time_point> closed(count), reported(count);
    std::vector<int> calls(count, 0);
    int distinct = 0;

    TFileSystemWatcher watcher;
    watcher.setBackend(backend == "fanotify"  ? wbFanotify
                       : backend == "inotify" ? wbInotify
                                              : wbAuto);
    watcher.setNotifyFilters({nfAttributeChange});
    watcher.setWatchSubTree(true);
    watcher.setWatchedDir(root);
    watcher.OnNotice = [](const TWatchNotice& n) {
        std::fprintf(stderr, "%s\n", n.Text.constData());
    };
    watcher.setOnChange([&](TFileOperation operation, const QByteArray& path, const QByteArray&) {
        const auto now = Clock::now();
        const int i = indexOf(path);
        if (operation != foModified || i < 0 || i >= files) return;
        if (calls[size_t(i)]++ == 0) {
            reported[size_t(i)] = now;
            if (++distinct == files) app.quit();
        }
    });
    watcher.setActived(true);

    std::atomic<bool> written = false;
    std::thread writer([&] {
        const QByteArray page = QByteArray("<html><body>page</body></html>\n").repeated(32);
        for (int i = 0; i < files; ++i) {
            const int fd =
                ::open(fileName(root, i).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::write(fd, page.constData(), size_t(page.size())) != page.size())
                std::perror("write");
            // Taken as close begins: the watcher may report the file before close returns here.
            closed[size_t(i)] = Clock::now();
            ::close(fd);
            if (pauseUs) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
        }
        written = true;
    });
    // Gives up 10 s after the last write if some file is never reported.
    QTimer giveUp;
    QObject::connect(&giveUp, &QTimer::timeout, [&] {
        static Clock::time_point since;
        if (!written) return;
        if (since == Clock::time_point{})
            since = Clock::now();
        else if (Clock::now() - since > std::chrono::seconds(10))
            app.quit();
    });
    giveUp.start(100);
    if (distinct < files) app.exec();
    writer.join();
    watcher.setActived(false);

    std::vector<double> ms;
    int twice = 0;
    for (int i = 0; i < files; ++i) {
        if (calls[size_t(i)] > 0)
            ms.push_back(
                std::chrono::duration<double, std::milli>(reported[size_t(i)] - closed[size_t(i)])
                    .count());
        twice += calls[size_t(i)] > 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("files written: %d (pause %d us), reported: %zu, reported more than once: %d\n",
                files, pauseUs, ms.size(), twice);
    std::printf("close -> OnChange: min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                ms.empty() ? 0.0 : ms.front(), percentile(ms, 0.5), percentile(ms, 0.99),
                ms.empty() ? 0.0 : ms.back());
    return int(ms.size()) == files ? 0 : 1;
}
