#include "search/ScanAhead.h"

#include <fcntl.h>

namespace pw {

namespace {

// Most records queued at once: bounds the memory the walk may run ahead by.
constexpr size_t QueueLimit = 4096;
// The caller scans entries itself once this many wait unclaimed.
constexpr size_t CallerScansFrom = 32;

} // namespace

// The host the walk sees: it queues instead of notifying, then lets the caller catch up.
class TScanAheadWalk::Producer final : public TWalkHost {
public:
    Producer(TScanAheadWalk& owner, const TFolderWalk*& walk)
        : m_owner(owner)
        , m_walk(walk) {}

    bool Aborted() const override { return m_owner.m_stopping || m_owner.m_host.Aborted(); }
    bool NeedsFindData() const override { return m_owner.m_pass.NeedsFindData(); }
    TFolderIgnore DoFolderChange(const QByteArray& Folder) override {
        std::unique_lock lock(m_owner.m_mutex);
        m_owner.pushLocked({State::Folder, m_walk->CurrentLevel(), Folder, {}});
        m_owner.catchUp(lock, false);
        return fiNone;
    }
    bool AcceptFile(const QByteArray& Folder, const TSearchRec& FileInfo) override {
        if (!m_owner.m_pass.MatchesWithoutContent(Folder, FileInfo)) return false;
        std::unique_lock lock(m_owner.m_mutex);
        m_owner.pushLocked({State::Pending, m_walk->CurrentLevel(), Folder, FileInfo});
        m_owner.catchUp(lock, false);
        return false;
    }
    void DoFileMatch(const QByteArray&, const TSearchRec&) override {}
    // Not part of the ordered results: told at once, on the walking thread as always.
    void DoLinkNotFollowed(const QByteArray& Path) override {
        m_owner.m_host.DoLinkNotFollowed(Path);
    }

private:
    TScanAheadWalk& m_owner;
    const TFolderWalk*& m_walk;
};

TScanAheadWalk::TScanAheadWalk(const TTargetSearch& Pass, TWalkHost& Host, int Helpers)
    : m_pass(Pass)
    , m_host(Host)
    , m_helpers(std::max(1, Helpers)) {}

TScanAheadWalk::~TScanAheadWalk() {
    stop();
    for (std::thread& t : m_threads)
        t.join();
}

void TScanAheadWalk::stop() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_scannerWakes.notify_all();
}

void TScanAheadWalk::pushLocked(Record record) {
    if (record.state == State::Pending) {
        ++m_unclaimed;
        if (m_scannersWaiting > 0) m_scannerWakes.notify_one();
    }
    m_queue.push_back(std::move(record));
}

// Delivers the finished records at the front of the queue. Unless the walk is done, returns
// as soon as the walk may go on: while the queue has room and not too many entries wait
// unclaimed; otherwise it scans the oldest unclaimed entry, or waits for a helper's scan.
void TScanAheadWalk::catchUp(std::unique_lock<std::mutex>& lock, bool walkDone) {
    for (;;) {
        if (m_stopping || m_host.Aborted()) return;
        if (!m_queue.empty() && isFinished(m_queue.front())) {
            Record record = std::move(m_queue.front());
            m_queue.pop_front();
            if (m_firstUnclaimed > 0) --m_firstUnclaimed;
            lock.unlock();
            deliver(record);
            lock.lock();
            continue;
        }
        const bool mustWork = walkDone
                                  ? !m_queue.empty()
                                  : m_unclaimed >= CallerScansFrom || m_queue.size() >= QueueLimit;
        if (!mustWork) return;
        if (Record* r = claimLocked()) {
            scan(lock, *r);
            continue;
        }
        m_callerWaits = true; // the front entry is being scanned by a helper
        m_callerWakes.wait(lock);
        m_callerWaits = false;
    }
}

TScanAheadWalk::Record* TScanAheadWalk::claimLocked() {
    if (m_unclaimed == 0) return nullptr;
    while (m_queue[m_firstUnclaimed].state != State::Pending)
        ++m_firstUnclaimed;
    Record& r = m_queue[m_firstUnclaimed++];
    r.state = State::Claimed;
    --m_unclaimed;
    return &r;
}

// Scans a claimed record without holding the lock. A claimed record stays where it is: the
// deque keeps references across pushes at the back, and a claimed record is never at the front
// when the caller pops.
void TScanAheadWalk::scan(std::unique_lock<std::mutex>& lock, Record& record) {
    lock.unlock();
    bool match = false;
    try {
        const QByteArray path = record.folder + record.info.Name;
        match = m_pass.Content.Matches(path);
        if (match && !record.info.FindDataRead)
            ReadFindData(AT_FDCWD, path.constData(), record.info);
    } catch (const std::bad_alloc&) {
        match = false; // as the plain walk's content test answers
    }
    lock.lock();
    record.state = match ? State::Match : State::NoMatch;
    if (m_callerWaits) m_callerWakes.notify_one();
}

void TScanAheadWalk::scannerBody() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping) return;
        if (Record* r = claimLocked()) {
            scan(lock, *r);
            continue;
        }
        if (m_walkDone) return;
        ++m_scannersWaiting;
        m_scannerWakes.wait(lock);
        --m_scannersWaiting;
    }
}

void TScanAheadWalk::SearchAllFolders() {
    for (int i = 0; i < m_helpers; ++i)
        m_threads.emplace_back([this] { scannerBody(); });

    const TFolderWalk* current = nullptr;
    Producer producer(*this, current);
    TFolderWalk walk(m_pass.TargetFolders, producer);
    current = &walk;
    walk.SearchAllFolders();

    std::unique_lock lock(m_mutex);
    m_walkDone = true;
    m_scannerWakes.notify_all();
    catchUp(lock, true);
    lock.unlock();
    stop();
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
}

void TScanAheadWalk::deliver(Record& record) {
    if (m_skipBelow >= 0) {
        if (record.level > m_skipBelow) return; // inside a skipped subtree
        if (record.state == State::Folder)
            m_skipBelow = -1; // a folder beside or above the skipped one
    }
    if (record.state == State::Folder) {
        const TFolderIgnore ignore = m_host.DoFolderChange(record.folder);
        m_skipFiles = ignore == fiJustThis || ignore == fiThisAndSubfolders;
        if (ignore == fiJustSubfolders || ignore == fiThisAndSubfolders) m_skipBelow = record.level;
        return;
    }
    if (record.state == State::Match && !m_skipFiles)
        m_host.DoFileMatch(record.folder, record.info);
}

} // namespace pw
