#include "search/ScanAhead.h"

#include <fcntl.h>

namespace pw {

namespace {

// Most records queued at once: bounds the memory the walking helper may run ahead by.
constexpr size_t QueueLimit = 4096;
// The walking helper scans entries itself once this many wait unclaimed.
constexpr size_t WalkerScansFrom = 32;

} // namespace

// The host seen by the walking helper: it queues instead of notifying.
class TScanAheadWalk::Producer final : public TWalkHost {
public:
    Producer(TScanAheadWalk& owner, TFolderWalk*& walk)
        : m_owner(owner)
        , m_walk(walk) {}

    // An abort stops the walk at its next check, before the caller wakes up to see it.
    bool Aborted() const override { return m_owner.m_stopping || m_owner.m_host.Aborted(); }
    bool NeedsFindData() const override { return m_owner.m_pass.NeedsFindData(); }
    TFolderIgnore DoFolderChange(const QByteArray& Folder) override {
        std::unique_lock lock(m_owner.m_mutex);
        m_owner.push(lock, {State::Folder, m_walk->CurrentLevel(), Folder, {}});
        return fiNone;
    }
    bool AcceptFile(const QByteArray& Folder, const TSearchRec& FileInfo) override {
        if (!m_owner.m_pass.MatchesWithoutContent(Folder, FileInfo)) return false;
        std::unique_lock lock(m_owner.m_mutex);
        m_owner.push(lock, {State::Pending, m_walk->CurrentLevel(), Folder, FileInfo});
        return false;
    }
    void DoFileMatch(const QByteArray&, const TSearchRec&) override {}

private:
    TScanAheadWalk& m_owner;
    TFolderWalk*& m_walk;
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
    m_callerWakes.notify_all();
    m_walkerWakes.notify_all();
    m_scannerWakes.notify_all();
}

void TScanAheadWalk::wakeCaller() {
    if (m_callerWaits) m_callerWakes.notify_one();
}

void TScanAheadWalk::wakeScanner() {
    if (m_scannersWaiting > 0) m_scannerWakes.notify_one();
}

void TScanAheadWalk::push(std::unique_lock<std::mutex>& lock, Record record) {
    for (;;) {
        if (m_stopping) return;
        if (m_unclaimed >= WalkerScansFrom || (m_queue.size() >= QueueLimit && m_unclaimed > 0)) {
            if (Record* r = claimLocked()) scan(lock, *r);
            continue;
        }
        if (m_queue.size() < QueueLimit) break;
        m_walkerWaits = true;
        m_walkerWakes.wait(lock);
        m_walkerWaits = false;
    }
    if (record.state == State::Pending) {
        ++m_unclaimed;
        wakeScanner();
    }
    m_queue.push_back(std::move(record));
    wakeCaller();
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

// Scans a claimed record without holding the lock; a claimed record stays where it is (the
// deque keeps references across pushes at the back, and only the caller pops, never a claimed
// record).
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
    wakeCaller();
}

void TScanAheadWalk::walkerBody() {
    TFolderWalk* walk = nullptr;
    Producer producer(*this, walk);
    TFolderWalk folderWalk(m_pass.TargetFolders, producer);
    walk = &folderWalk;
    std::exception_ptr error;
    try {
        folderWalk.SearchAllFolders();
    } catch (...) {
        error = std::current_exception();
    }
    std::unique_lock lock(m_mutex);
    m_walkDone = true;
    m_walkError = error;
    wakeCaller();
    m_scannerWakes.notify_all();
    // Done walking: help scanning what is left.
    while (!m_stopping) {
        Record* r = claimLocked();
        if (!r) break;
        scan(lock, *r);
    }
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

void TScanAheadWalk::waitAsCaller(std::unique_lock<std::mutex>& lock) {
    m_callerWaits = true;
    m_callerWakes.wait(lock);
    m_callerWaits = false;
}

void TScanAheadWalk::SearchAllFolders() {
    m_threads.emplace_back([this] { walkerBody(); });
    for (int i = 1; i < m_helpers; ++i)
        m_threads.emplace_back([this] { scannerBody(); });

    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_queue.empty()) {
            if (m_walkDone) break;
            waitAsCaller(lock);
            continue;
        }
        Record& head = m_queue.front();
        if (head.state == State::Pending || head.state == State::Claimed) {
            // Rather than wait for the entry needed next, scan the oldest unclaimed one.
            if (Record* r = claimLocked())
                scan(lock, *r);
            else
                waitAsCaller(lock);
            continue;
        }
        Record record = std::move(head);
        m_queue.pop_front();
        m_firstUnclaimed = m_firstUnclaimed > 0 ? m_firstUnclaimed - 1 : 0;
        if (m_walkerWaits) m_walkerWakes.notify_one(); // room in the queue
        lock.unlock();
        if (m_host.Aborted()) break;
        deliver(record);
        if (m_host.Aborted()) break;
        lock.lock();
    }
    if (lock.owns_lock()) lock.unlock();
    stop();
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
    if (m_walkError && !m_host.Aborted()) std::rethrow_exception(m_walkError);
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
