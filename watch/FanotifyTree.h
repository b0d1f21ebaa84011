#pragma once

#include "watch/ChangeSource.h"
#include "watch/RecentNames.h"
#include "watch/WatchTypes.h"

#include <QHash>

#include <ctime>
#include <memory>

struct fanotify_event_metadata;

namespace pw {

// One fanotify group watching several folder trees through one mark per file system that holds
// them: no watch per folder and no crawl at start, so a folder made later is covered from its
// first file. Events carry the folder's file handle and the entry's name; the folder is opened
// by its handle to learn where it is now, and whatever lies outside the watched trees is dropped
// here. The records are the ones TInotifyTree gives for the same filter word, named by full path
// under the folder as given. A queue overflow is a notice, and every file changed since the
// queue was last read is reported as modified, so no file is lost.
// Needs CAP_SYS_ADMIN (the mark), CAP_DAC_READ_SEARCH (opening by handle) and a kernel with
// directory handles, names and rename events.
class TFanotifyTree final : public TChangeSource {
public:
    // Null with whyNot set when fanotify cannot watch here; null with whyNot empty when none of
    // the folders exists.
    static std::unique_ptr<TFanotifyTree> Open(const QByteArrayList& folders, quint32 filterWord,
                                               bool subtree, QByteArray& whyNot);
    ~TFanotifyTree() override;
    TFanotifyTree(const TFanotifyTree&) = delete;
    TFanotifyTree& operator=(const TFanotifyTree&) = delete;

    int fd() const override { return m_fd; }
    const QByteArray& folder() const override { return m_noFolder; }
    void ReadChanges(TChangeBatch& batch) override;

    // How many marks the group holds: one per file system, however many folders lie on it.
    int marks() const { return int(m_fileSystems.size()); }

private:
    struct Root {
        QByteArray given; // as the owner named it, ending in "/"
        QByteArray real;  // where it is now, links resolved, ending in "/"
        int fd;           // O_PATH, follows the folder through renames
        bool gone = false;
    };
    struct FileSystem {
        QByteArray fsid;
        int mountFd; // any folder on it, for opening handles
    };
    struct Named {
        QByteArray path; // full path under a watched folder, or empty when outside
        bool isDir;
    };

    TFanotifyTree(int fd, quint32 filterWord, bool subtree);
    bool addRoot(const QByteArray& folder, QByteArray& whyNot);

    // raw: the event as read, its information records after the fixed part.
    void handle(const fanotify_event_metadata& event, const char* raw, TChangeBatch& batch);
    Named name(const void* info, bool isDir);
    // Where the folder of an event's file id info is now (ending in "/"), or empty.
    QByteArray folderOf(const void* fidInfo);
    QByteArray underRoot(const QByteArray& real) const;
    void foldersMoved();

    void created(const Named& entry, TChangeBatch& batch);
    void deleted(const Named& entry, TChangeBatch& batch);
    void writeCompleted(const Named& entry, TChangeBatch& batch);
    void statusChanged(const Named& entry, TChangeBatch& batch);
    void renamed(const Named& from, const Named& to, TChangeBatch& batch);
    void overflowed(TChangeBatch& batch);
    void reportChangedSince(const QByteArray& folder, int depth, TChangeBatch& batch);
    // Every non-empty file under a folder moved in, as modified.
    void reportFilesIn(const QByteArray& folder, TChangeBatch& batch);

    bool reportsNames(bool isDir) const;
    bool reportsWrites() const;
    bool movesAreWrites() const;
    void add(TChangeBatch& batch, TChangeAction action, const QByteArray& path) const;

    const int m_fd;
    const quint32 m_filters;
    const bool m_subtree;
    const QByteArray m_noFolder;
    std::vector<Root> m_roots;
    std::vector<FileSystem> m_fileSystems;
    QHash<QByteArray, QByteArray> m_folders; // handle to where that folder was last seen
    TRecentNames m_createdUnwritten{4096};
    TRecentNames m_written{4096};
    timespec m_readSince{}; // changes before it have been read from the queue
};

// Why a process cannot watch with fanotify here (the rights it lacks, or what the kernel or the
// folder's file system does not support); empty when it can.
QByteArray FanotifyUnavailable(const QByteArrayList& folders);

} // namespace pw
