#include "watch/ShellChangeThread.h"

#include "watch/ChangeRecords.h"
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

void TShellChangeThread::SetOptions(const QByteArray& folder, bool active, quint32 filterFlags,
                                    bool subtree) {
    QByteArray withSlash = folder.endsWith('/') ? folder : folder + '/';
    const bool same = m_watching && withSlash == m_folder && active == m_active &&
                      filterFlags == m_filterFlags && subtree == m_subtree;
    m_folder = std::move(withSlash);
    m_active = active;
    m_filterFlags = filterFlags;
    m_subtree = subtree;
    if (!same) OpenFolder();
}

bool TShellChangeThread::OpenFolder() {
    QList<TWatchNotice> notices;
    std::unique_ptr<TInotifyTree> tree;
    if (m_active) // an inactive thread delivers nothing, so it needs no watch
        tree = TInotifyTree::Open(m_folder, m_filterFlags, m_subtree, notices);
    m_watching = tree != nullptr;
    std::unique_ptr<TInotifyTree> superseded;
    {
        std::lock_guard lock(m_lock);
        superseded = std::exchange(m_opened, std::move(tree));
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
}

void TShellChangeThread::DeliverChanges() {
    TChangeBatch batch;
    {
        std::lock_guard lock(m_lock);
        batch = std::exchange(m_batch, {});
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
    std::unique_ptr<TInotifyTree> retired;
    {
        std::lock_guard lock(m_lock);
        if (m_generation == m_adopted) return;
        m_adopted = m_generation;
        retired = std::exchange(m_tree, std::move(m_opened));
        batch.Notices = std::exchange(m_openNotices, {});
    }
    if (!batch.empty()) handOver(std::move(batch));
}

void TShellChangeThread::waitForChanges() {
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_tree ? m_tree->fd() : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) return; // interrupted: the next pass looks again
    if (fds[0].revents & POLLIN) {
        quint64 count = 0;
        [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
        return; // new options or a stop: the next pass takes them first
    }
    if (fds[1].revents & (POLLERR | POLLNVAL)) {
        m_tree.reset(); // a broken instance would wake the thread forever
        return;
    }
    if (m_tree && (fds[1].revents & POLLIN)) {
        TChangeBatch batch;
        batch.Folder = m_tree->folder();
        m_tree->ReadChanges(batch);
        if (!batch.empty()) handOver(std::move(batch));
    }
}

void TShellChangeThread::handOver(TChangeBatch batch) {
    setPendingBatch(std::move(batch));
    m_handingOver = true;
    Synchronize([this] { DeliverChanges(); });
    m_handingOver = false;
}

} // namespace pw
