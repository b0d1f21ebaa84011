#pragma once

#include "history/HistoryLocation.h"
#include "watch/ChangeSource.h"
#include "watch/RecentNames.h"
#include "watch/WatchTable.h"
#include "watch/WatchTypes.h"

#include <memory>
#include <optional>

struct inotify_event;

namespace pw {

// One inotify instance watching a folder and, with subtree, every folder under it (one watch per
// folder, symbolic links not followed), turning kernel events into change records by the filter
// flag word:
// - file and folder names (0x001, 0x002): creation, deletion and moves. A move within the tree
//   is a rename; a move in from outside is an addition, a move out a removal.
// - attributes, size, last write (0x004, 0x008, 0x010): a completed write (the close of a file
//   written to) is one modification. A file created and closed without being written is not,
//   while a file moved in from outside the tree, or from a name last written here, is a
//   modification when no file-name filter is set: it is how editors and tools replace a file.
// - attributes, creation, security (0x004, 0x040, 0x100): a change of status (mode, owner, times)
//   is a modification, except on a new file not yet written (touch making an empty file); last
//   access (0x020): a read is.
// A folder created later is watched, and what it already holds when its watch is in place is
// reported as new: added names, and modified for each non-empty file. Folders moved in are
// watched too, and, as a file moved in is, each non-empty file in them is a modification when
// no file-name filter is set (an infected plugin unpacked elsewhere and moved into the tree).
// Watch limits and queue overflows become notices.
// Built on the owner's thread by Open; from then on used by one thread at a time.
class TInotifyTree final : public TChangeSource {
public:
    // Null when the folder is missing (silently) or cannot be watched (with a notice).
    static std::unique_ptr<TInotifyTree> Open(const QByteArray& folder, quint32 filterWord,
                                              bool subtree, QList<TWatchNotice>& notices);
    ~TInotifyTree() override;
    TInotifyTree(const TInotifyTree&) = delete;
    TInotifyTree& operator=(const TInotifyTree&) = delete;

    int fd() const override { return m_fd; }
    const QByteArray& folder() const override { return m_folder; }

    // Reads what the kernel has queued and adds its records and notices to batch. Waits a moment
    // for the second half of a move whose first half ends the queue.
    void ReadChanges(TChangeBatch& batch) override;

private:
    struct Entry {
        int wd;
        QByteArray name;     // within its folder
        QByteArray relative; // within the watched folder
        bool isDir;
        QByteArray key() const { return QByteArray::number(wd) + '/' + name; }
    };
    struct MoveFrom {
        quint32 cookie;
        Entry entry;
    };
    // What a listing of a folder new to the watch reports: nothing, its entries as added names
    // and written files (a folder created here), or its files as written (a folder moved in).
    enum class Report { Nothing, NewEntries, Writes };

    TInotifyTree(int fd, QByteArray folder, quint32 filterWord, bool subtree);
    int addWatch(const QByteArray& relative, TChangeBatch& batch);
    void addTree(const QByteArray& relative, Report report, TChangeBatch& batch);
    void reportNewFile(int wd, const QByteArray& relative, const QByteArray& name, Report report,
                       TChangeBatch& batch);
    bool awaitMore() const;

    void handle(const inotify_event& event, TChangeBatch& batch);
    void created(const Entry& entry, TChangeBatch& batch);
    void deleted(const Entry& entry, TChangeBatch& batch);
    void writeCompleted(const Entry& entry, TChangeBatch& batch);
    void statusChanged(const Entry& entry, TChangeBatch& batch);
    void renamed(const Entry& from, const Entry& to, TChangeBatch& batch);
    void movedIn(const Entry& to, TChangeBatch& batch);
    void movedOut(const Entry& from, TChangeBatch& batch);
    void overflowed(TChangeBatch& batch);
    void resolvePendingMove(TChangeBatch& batch);

    bool reportsNames(bool isDir) const;
    bool reportsWrites() const;
    bool movesAreWrites() const;
    void add(TChangeBatch& batch, TChangeAction action, const QByteArray& relative) const;
    void notice(TChangeBatch& batch, TWatchNoticeKind kind, const QByteArray& path, int error);

    const int m_fd;
    const QByteArray m_folder; // ends in "/"
    const quint32 m_filters;
    const bool m_subtree;
    // The history store is never watched, even inside the tree: its writes are no site's.
    const HistoryFolders m_store = HistoryFolders::current();
    TWatchTable m_table;
    std::optional<MoveFrom> m_moveFrom;
    TRecentNames m_createdUnwritten{4096}; // created, not written since: closing it is no write
    TRecentNames m_written{4096};          // written, not moved since: moving it moves a write
    quint32 m_noticed = 0;                 // kinds already noticed, once each per instance
};

} // namespace pw
