#pragma once

#include "search/FolderWalk.h"
#include "search/TargetSearch.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace pw {

// The folder walk with its content scans shared with helper threads, reporting exactly what the
// plain walk reports, in the same order and on the calling thread.
//
// The caller walks the targets as if every folder notification answered fiNone and queues each
// folder it enters and each entry that passes every test but the content scan. Helpers scan the
// oldest queued entries nobody has claimed yet. Between steps of the walk the caller takes the
// finished records from the front of the queue in order: it raises the folder notification,
// drops what the answer says to skip, and raises the file notification for each entry whose
// scan found the phrase. When it is far enough ahead, or must wait, the caller scans too.
class TScanAheadWalk {
public:
    // Helpers: scanning threads besides the caller, at least 1.
    TScanAheadWalk(const TTargetSearch& Pass, TWalkHost& Host, int Helpers);
    ~TScanAheadWalk();
    TScanAheadWalk(const TScanAheadWalk&) = delete;
    TScanAheadWalk& operator=(const TScanAheadWalk&) = delete;

    // Runs the whole walk; returns when it is done or the host's Aborted flag was seen. An error
    // from a handler or the walk leaves it, as from the plain walk.
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

    // A folder record, or an entry whose scan has ended.
    static bool isFinished(const Record& r) {
        return r.state != State::Pending && r.state != State::Claimed;
    }

    // Queue work, with m_mutex held (through `lock` where it is given).
    void pushLocked(Record record);
    void catchUp(std::unique_lock<std::mutex>& lock, bool walkDone);
    Record* claimLocked();
    void scan(std::unique_lock<std::mutex>& lock, Record& record);
    void stop();

    void scannerBody();
    void deliver(Record& record);

    const TTargetSearch& m_pass;
    TWalkHost& m_host;
    const int m_helpers;

    std::mutex m_mutex;
    // The caller and the helpers wait on conditions of their own and say that they wait, so
    // that a change wakes only a thread that waits for it.
    std::condition_variable m_callerWakes;  // a scan finished
    std::condition_variable m_scannerWakes; // an entry to scan, or the end
    bool m_callerWaits = false;
    int m_scannersWaiting = 0;
    std::deque<Record> m_queue;  // from the next record to deliver on
    size_t m_firstUnclaimed = 0; // index into m_queue: no pending entry before it
    size_t m_unclaimed = 0;      // pending entries in the queue
    bool m_walkDone = false;
    std::atomic<bool> m_stopping{false};
    std::vector<std::thread> m_threads;

    // What the last folder notification asked to skip.
    bool m_skipFiles = false;
    int m_skipBelow = -1; // records deeper than this level are skipped; -1: none
};

} // namespace pw
