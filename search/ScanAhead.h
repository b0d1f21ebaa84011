#pragma once

#include "search/FolderWalk.h"
#include "search/TargetSearch.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace pw {

// The folder walk with its content scans spread over helper threads, reporting exactly what the
// plain walk reports, in the same order and on the calling thread.
//
// One helper walks the targets ahead of the caller, as if every folder notification answered
// fiNone, and queues each folder it enters and each entry that passes every test but the content
// scan. The caller takes the queue in order: it raises the folder notification itself, and
// drops what the answer says to skip, and it raises the file notification for each queued entry
// whose content scan found the phrase. Whoever is free scans the oldest entry not yet claimed:
// the caller while the entry it needs next is still being scanned, the walking helper when it is
// far enough ahead, and any further helpers all the time.
class TScanAheadWalk {
public:
    // Helpers: threads besides the caller, at least 1.
    TScanAheadWalk(const TTargetSearch& Pass, TWalkHost& Host, int Helpers);
    ~TScanAheadWalk();
    TScanAheadWalk(const TScanAheadWalk&) = delete;
    TScanAheadWalk& operator=(const TScanAheadWalk&) = delete;

    // Runs the whole walk; returns when it is done or the host's Aborted flag was seen.
    void SearchAllFolders();

private:
    enum class State { Folder, Pending, Claimed, Match, NoMatch };
    struct Record {
        State state;
        int level; // the folder's depth below its target folder (1 for the target itself)
        QByteArray folder;
        TSearchRec info; // candidates only
    };
    class Producer;

    // Queue operations; m_mutex held by the caller where the name says Locked.
    void push(std::unique_lock<std::mutex>& lock, Record record);
    Record* claimLocked();
    void scan(std::unique_lock<std::mutex>& lock, Record& record);
    void stop();
    void wakeCaller();
    void waitAsCaller(std::unique_lock<std::mutex>& lock);
    void wakeScanner();

    void walkerBody();
    void scannerBody();
    void deliver(Record& record);

    const TTargetSearch& m_pass;
    TWalkHost& m_host;
    const int m_helpers;

    std::mutex m_mutex;
    // Each waiter has its own condition and says that it waits, so that a change wakes only a
    // thread that waits for it.
    std::condition_variable m_callerWakes;  // a record to deliver or to scan, or the end
    std::condition_variable m_walkerWakes;  // room in the queue
    std::condition_variable m_scannerWakes; // an entry to scan, or the end
    bool m_callerWaits = false;
    bool m_walkerWaits = false;
    int m_scannersWaiting = 0;
    std::deque<Record> m_queue;  // from the next record to deliver on
    size_t m_firstUnclaimed = 0; // index into m_queue: no pending candidate before it
    size_t m_unclaimed = 0;      // pending candidates in the queue
    bool m_walkDone = false;
    std::atomic<bool> m_stopping{false};
    std::exception_ptr m_walkError;
    std::vector<std::thread> m_threads;

    // What the caller's last folder notification asked to skip.
    bool m_skipFiles = false;
    int m_skipBelow = -1; // records deeper than this level are skipped; -1: none
};

} // namespace pw
