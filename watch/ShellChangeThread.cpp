#include "watch/ShellChangeThread.h"

#include "watch/ChangeRecords.h"
#include "watch/FanotifyTree.h"
#include "watch/InotifyTree.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace pw {

TShellChangeThread::TShellChangeThread(TFileDealMethod handler, TWatchNoticeEvent notices)
    : m_handler(std::move(handler))
    , m_noticeHandler(std::move(notices))
    , m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wakeFd < 0)
        throw EThreadError(std::string("Thread creation error: ") + std::strerror(errno));
    setFreeOnTerminate(true);
}

TShellChangeThread::~TShellChangeThread() {
    ::close(m_wakeFd);
}

void TShellChangeThread::SetOptions(const QByteArrayList& folders, bool active, quint32 filterFlags,
                                    bool subtree, TWatchBackend backend) {
    QByteArrayList withSlash;
    for (const QByteArray& folder : folders)
        withSlash.append(folder.endsWith('/') ? folder : folder + '/');
    if (withSlash.isEmpty()) withSlash.append("/");
    const bool same = m_watching && withSlash == m_folders && active == m_active &&
                      filterFlags == m_filterFlags && subtree == m_subtree && backend == m_backend;
    m_folders = std::move(withSlash);
    m_active = active;
    m_filterFlags = filterFlags;
    m_subtree = subtree;
    m_backend = backend;
    if (!same) OpenFolder();
}

TShellChangeThread::Sources TShellChangeThread::openSources(QList<TWatchNotice>& notices) {
    Sources sources;
    m_backendInUse = wbAuto;
    if (!m_active) return sources; // an inactive thread delivers nothing, so it needs no watch
    if (m_backend != wbInotify) {
        QByteArray whyNot;
        auto group = TFanotifyTree::Open(m_folders, m_filterFlags, m_subtree, whyNot);
        if (group) {
            m_backendInUse = wbFanotify;
            sources.push_back(std::move(group));
            return sources;
        }
        if (whyNot.isEmpty()) return sources; // no folder there: nothing to watch either way
        if (m_backend == wbFanotify) {
            notices.append(MakeWatchNotice(wnWatchFailed, m_folders.first(), whyNot));
            return sources;
        }
        if (!std::exchange(m_fallbackNoticed, true))
            notices.append(MakeWatchNotice(wnBackendChosen, m_folders.first(), whyNot));
    }
    for (const QByteArray& folder : m_folders)
        if (auto tree = TInotifyTree::Open(folder, m_filterFlags, m_subtree, notices))
            sources.push_back(std::move(tree));
    if (!sources.empty()) m_backendInUse = wbInotify;
    return sources;
}

bool TShellChangeThread::OpenFolder() {
    QList<TWatchNotice> notices;
    Sources sources = openSources(notices);
    m_watching = !sources.empty();
    Sources superseded;
    {
        std::lock_guard lock(m_lock);
        superseded = std::exchange(m_opened, std::move(sources));
        m_openNotices += notices;
        ++m_generation;
    }
    wake();
    return m_watching;
}

void TShellChangeThread::Stop() {
    m_active = false;
    requestStop();
    wake();
}

void TShellChangeThread::setPendingBatch(TChangeBatch batch) {
    std::lock_guard lock(m_lock);
    m_batch = std::move(batch);
    m_batchGeneration = m_generation;
}

void TShellChangeThread::pend(TChangeBatch batch, quint64 generation) {
    std::lock_guard lock(m_lock);
    m_batch = std::move(batch);
    m_batchGeneration = generation;
}

void TShellChangeThread::DeliverChanges() {
    TChangeBatch batch;
    {
        std::lock_guard lock(m_lock);
        batch = std::exchange(m_batch, {});
        // Changes read from a folder no longer watched (the options changed while the body was
        // reading them) are not news about the folders watched now.
        if (m_batchGeneration != m_generation) batch.Records.clear();
    }
    // Checked before every call: a handler may switch the watcher off in the middle of a batch.
    for (const TWatchNotice& notice : batch.Notices)
        if (m_active && m_noticeHandler) m_noticeHandler(notice);
    DeliverRecords(
        batch.Folder, batch.Records,
        [this](TFileOperation operation, const QByteArray& name1, const QByteArray& name2) {
            if (m_active && m_handler) m_handler(operation, name1, name2);
        });
}

void TShellChangeThread::Execute() {
    while (!stopRequested()) {
        adoptOptions();
        waitForChanges();
    }
}

void TShellChangeThread::wake() {
    const quint64 one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void TShellChangeThread::adoptOptions() {
    TChangeBatch batch;
    Sources retired;
    {
        std::lock_guard lock(m_lock);
        if (m_generation == m_adopted) return;
        m_adopted = m_generation;
        retired = std::exchange(m_sources, std::move(m_opened));
        batch.Notices = std::exchange(m_openNotices, {});
    }
    if (!batch.empty()) handOver(std::move(batch));
}

void TShellChangeThread::waitForChanges() {
    std::vector<pollfd> fds{{m_wakeFd, POLLIN, 0}};
    for (const auto& source : m_sources)
        fds.push_back({source ? source->fd() : -1, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) return; // interrupted: the next pass looks again
    if (fds[0].revents & POLLIN) {
        quint64 count = 0;
        [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
        return; // new options or a stop: the next pass takes them first
    }
    for (size_t i = 0; i < m_sources.size(); ++i) {
        auto& source = m_sources[i];
        const short revents = fds[i + 1].revents;
        if (revents & (POLLERR | POLLNVAL)) {
            source.reset(); // a broken instance would wake the thread forever
        } else if (source && (revents & POLLIN)) {
            TChangeBatch batch;
            batch.Folder = source->folder();
            source->ReadChanges(batch);
            if (!batch.empty()) handOver(std::move(batch));
            if (stopRequested()) return;
        }
    }
}

void TShellChangeThread::handOver(TChangeBatch batch) {
    pend(std::move(batch), m_adopted);
    m_handingOver = true;
    Synchronize([this] { DeliverChanges(); });
    m_handingOver = false;
}

} // namespace pw
