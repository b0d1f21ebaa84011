#include "platform/FlushTogether.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <linux/magic.h>
#include <mutex>
#include <sys/vfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pw {

namespace {

using Flush = std::function<int(qsizetype)>;

// Threads that only flush, started on first use and kept: starting threads for every group of
// flushes would cost as much as the flushes. One caller's flushes run at a time; the caller
// takes part in them and waits only for the threads that joined in, so it finishes alone if
// none can (in a child forked without them).
class FlushThreads {
public:
    static FlushThreads& instance() {
        static FlushThreads threads;
        return threads;
    }

    QList<int> run(qsizetype count, const Flush& flush) {
        QList<int> results(count, 0);
        std::lock_guard caller(m_callerMutex);
        {
            std::lock_guard lock(m_mutex);
            m_flush = &flush;
            m_results = &results;
            m_count = count;
            m_next = 0;
            ++m_round;
        }
        // A thread for each flush beyond the caller's own, so a small round wakes few of them.
        for (qsizetype woken = 1; woken < std::min<qsizetype>(count, Count + 1); ++woken)
            m_wake.notify_one();
        work();
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [&] { return m_busy == 0; });
        m_flush = nullptr;
        return results;
    }

private:
    // Enough flushes in flight for the file system to batch them, and for a disk whose every
    // fsync writes an inode block of its own (ext4 without a journal) to stay busy.
    static constexpr int Count = 31;

    FlushThreads() {
        try {
            for (int t = 0; t < Count; ++t)
                m_threads.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
            // No thread to spare: the ones started and the caller do all the flushes.
        }
    }
    ~FlushThreads() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    void serve() {
        unsigned seen = 0;
        for (;;) {
            std::unique_lock lock(m_mutex);
            // Joins a round only while some of its flushes are left to take.
            m_wake.wait(lock, [&] { return m_stopping || (m_round != seen && m_next < m_count); });
            if (m_stopping) return;
            seen = m_round;
            ++m_busy;
            lock.unlock();
            work();
            lock.lock();
            if (--m_busy == 0) m_idle.notify_all();
        }
    }

    void work() {
        for (qsizetype i; (i = m_next++) < m_count;)
            (*m_results)[i] = (*m_flush)(i);
    }

    std::mutex m_callerMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    const Flush* m_flush = nullptr;
    QList<int>* m_results = nullptr;
    qsizetype m_count = 0;
    std::atomic<qsizetype> m_next{0};
    std::size_t m_busy = 0;
    unsigned m_round = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

QList<int> runTogether(qsizetype count, const Flush& flush) {
    if (count <= 1) return count == 1 ? QList<int>{flush(0)} : QList<int>{};
    return FlushThreads::instance().run(count, flush);
}

std::atomic<int (*)(const QByteArray&)> flushFault{nullptr};

bool memoryFileSystem(const struct statfs& fs) {
    return !flushFault && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

int flushFd(int fd) {
    while (::fsync(fd) != 0)
        if (errno != EINTR) return errno;
    return 0;
}

} // namespace

QList<int> flushTogether(const QList<int>& fds, const QByteArrayList& paths) {
    return runTogether(fds.size() + paths.size(), [&](qsizetype i) {
        if (const auto fault = flushFault.load())
            if (const int error = fault(i < fds.size() ? QByteArray() : paths[i - fds.size()]))
                return error;
        if (i < fds.size()) return flushFd(fds[i]);
        const int fd = ::open(paths[i - fds.size()].constData(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno;
        const int error = flushFd(fd);
        ::close(fd);
        return error;
    });
}

QList<int> flushPathsTogether(const QByteArrayList& paths) {
    return flushTogether({}, paths);
}

bool inMemoryOnly(int fd) {
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && memoryFileSystem(fs);
}

bool inMemoryOnly(const QByteArray& path) {
    struct statfs fs {};
    return ::statfs(path.constData(), &fs) == 0 && memoryFileSystem(fs);
}

void setFlushFaultForTests(int (*fault)(const QByteArray& path)) {
    flushFault = fault;
}

} // namespace pw
