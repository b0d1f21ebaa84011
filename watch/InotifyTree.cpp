#include "watch/InotifyTree.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

constexpr int MoveWaitMs = 10; // for the second half of a move

quint32 inotifyMask(quint32 filters) {
    // Names are always followed, to keep the table of folders and what is known of files right.
    quint32 mask =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_EXCL_UNLINK;
    if (filters & ContentFilters) mask |= IN_MODIFY | IN_CLOSE_WRITE;
    if (filters & StatusFilters) mask |= IN_ATTRIB;
    if (filters & NotifyFlag::LastAccess) mask |= IN_ACCESS;
    return mask;
}

struct FolderEntry {
    QByteArray name;
    bool isDir; // a symbolic link is never a folder here
};

QList<FolderEntry> listFolder(const QByteArray& path) {
    QList<FolderEntry> entries;
    DIR* dir = ::opendir(path.constData());
    if (!dir) return entries;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(st.st_mode);
        }
        entries.append({QByteArray(e->d_name), isDir});
    }
    ::closedir(dir);
    return entries;
}

bool isNonEmptyFile(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

TInotifyTree::TInotifyTree(int fd, QByteArray folder, quint32 filterWord, bool subtree)
    : m_fd(fd)
    , m_folder(std::move(folder))
    , m_filters(filterWord)
    , m_subtree(subtree) {}

TInotifyTree::~TInotifyTree() {
    ::close(m_fd);
}

std::unique_ptr<TInotifyTree> TInotifyTree::Open(const QByteArray& folder, quint32 filterWord,
                                                 bool subtree, QList<TWatchNotice>& notices) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        notices.append(MakeWatchNotice(error == EMFILE ? wnInstanceLimit : wnWatchFailed, folder,
                                       std::strerror(error)));
        return nullptr;
    }
    std::unique_ptr<TInotifyTree> tree(new TInotifyTree(fd, folder, filterWord, subtree));
    TChangeBatch batch;
    tree->addTree({}, Report::Nothing, batch);
    notices += batch.Notices;
    if (tree->m_table.descriptors().isEmpty())
        return nullptr; // the folder itself could not be watched
    return tree;
}

int TInotifyTree::addWatch(const QByteArray& relative, TChangeBatch& batch) {
    const quint32 mask = inotifyMask(m_filters) | (relative.isEmpty() ? 0 : IN_DONT_FOLLOW);
    const int wd = ::inotify_add_watch(m_fd, (m_folder + relative).constData(), mask);
    if (wd >= 0) {
        m_table.insert(wd, relative);
        return wd;
    }
    const int error = errno;
    // A folder that is missing, or already gone again, has nothing to report.
    if (error != ENOENT && error != ENOTDIR)
        notice(batch, error == ENOSPC ? wnWatchLimit : wnWatchFailed, m_folder + relative, error);
    return -1;
}

void TInotifyTree::addTree(const QByteArray& relative, Report report, TChangeBatch& batch) {
    if (!relative.isEmpty() && m_store.containsPath(m_folder + relative)) return;
    // The watch comes first: whatever appears after it is an event, whatever before, a listing.
    const int wd = addWatch(relative, batch);
    if (wd < 0 || !m_subtree) return;
    for (const FolderEntry& entry : listFolder(m_folder + relative)) {
        const QByteArray child = relative + entry.name;
        if (entry.isDir) {
            if (report == Report::NewEntries && reportsNames(true)) add(batch, caAdded, child);
            addTree(child + '/', report, batch);
        } else if (report != Report::Nothing) {
            reportNewFile(wd, child, entry.name, report, batch);
        }
    }
}

void TInotifyTree::reportNewFile(int wd, const QByteArray& relative, const QByteArray& name,
                                 Report report, TChangeBatch& batch) {
    if (report == Report::NewEntries && reportsNames(false)) add(batch, caAdded, relative);
    if (reportsWrites() && isNonEmptyFile(m_folder + relative)) {
        add(batch, caModified, relative);
        m_written.insert(Entry{wd, name, relative, false}.key());
    }
}

void TInotifyTree::ReadChanges(TChangeBatch& batch) {
    alignas(inotify_event) char buffer[64 * 1024];
    bool queueEmpty = false;
    while (!queueEmpty && batch.Records.size() < MaxBatchRecords) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            queueEmpty = !(m_moveFrom && awaitMore());
            continue;
        }
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            handle(*event, batch);
            p += sizeof(inotify_event) + event->len;
        }
    }
    // A move's first half that ends the queue, with nothing after it: the entry left the tree.
    if (m_moveFrom && (queueEmpty || !awaitMore())) resolvePendingMove(batch);
}

bool TInotifyTree::awaitMore() const {
    pollfd pfd{m_fd, POLLIN, 0};
    return ::poll(&pfd, 1, MoveWaitMs) > 0;
}

void TInotifyTree::handle(const inotify_event& event, TChangeBatch& batch) {
    if (event.mask & IN_Q_OVERFLOW) {
        overflowed(batch);
        return;
    }
    const bool completesMove =
        (event.mask & IN_MOVED_TO) && m_moveFrom && m_moveFrom->cookie == event.cookie;
    if (!completesMove) resolvePendingMove(batch);
    if (event.mask & IN_IGNORED) {
        m_table.forget(event.wd);
        return;
    }
    const QByteArray* folder = m_table.folder(event.wd);
    if (!folder || event.len == 0) return; // a watch already dropped, or the watched folder itself
    const QByteArray name(event.name, qsizetype(::strnlen(event.name, event.len)));
    const Entry entry{event.wd, name, *folder + name, (event.mask & IN_ISDIR) != 0};

    if (event.mask & IN_MOVED_FROM) {
        m_moveFrom = MoveFrom{event.cookie, entry};
    } else if (completesMove) {
        const Entry from = m_moveFrom->entry;
        m_moveFrom.reset();
        renamed(from, entry, batch);
    } else if (event.mask & IN_MOVED_TO) {
        movedIn(entry, batch);
    } else {
        if (event.mask & IN_CREATE) created(entry, batch);
        if (event.mask & IN_DELETE) deleted(entry, batch);
        if (event.mask & IN_MODIFY) m_createdUnwritten.take(entry.key());
        if (event.mask & IN_CLOSE_WRITE) writeCompleted(entry, batch);
        if ((event.mask & IN_ATTRIB) && (m_filters & StatusFilters)) statusChanged(entry, batch);
        if ((event.mask & IN_ACCESS) && (m_filters & NotifyFlag::LastAccess))
            add(batch, caModified, entry.relative);
    }
}

void TInotifyTree::created(const Entry& entry, TChangeBatch& batch) {
    if (reportsNames(entry.isDir)) add(batch, caAdded, entry.relative);
    if (entry.isDir) {
        if (m_subtree) addTree(entry.relative + '/', Report::NewEntries, batch);
    } else if (reportsWrites()) {
        m_createdUnwritten.insert(entry.key());
    }
}

void TInotifyTree::deleted(const Entry& entry, TChangeBatch& batch) {
    if (reportsNames(entry.isDir)) add(batch, caRemoved, entry.relative);
    m_createdUnwritten.take(entry.key());
    m_written.take(entry.key());
}

void TInotifyTree::writeCompleted(const Entry& entry, TChangeBatch& batch) {
    if (entry.isDir || m_createdUnwritten.take(entry.key()))
        return; // created and closed without a write: an empty new file
    add(batch, caModified, entry.relative);
    m_written.insert(entry.key());
}

void TInotifyTree::statusChanged(const Entry& entry, TChangeBatch& batch) {
    // The times touch sets on the empty file it has just made are part of making it.
    if (!m_createdUnwritten.contains(entry.key())) add(batch, caModified, entry.relative);
}

void TInotifyTree::renamed(const Entry& from, const Entry& to, TChangeBatch& batch) {
    if (reportsNames(to.isDir)) {
        add(batch, caRenamedOldName, from.relative);
        add(batch, caRenamedNewName, to.relative);
    }
    if (to.isDir) {
        m_table.rename(from.relative + '/', to.relative + '/');
        return;
    }
    if (m_createdUnwritten.take(from.key())) m_createdUnwritten.insert(to.key());
    if (m_written.take(from.key())) {
        if (movesAreWrites()) add(batch, caModified, to.relative);
        m_written.insert(to.key());
    }
}

void TInotifyTree::movedIn(const Entry& to, TChangeBatch& batch) {
    if (reportsNames(to.isDir)) add(batch, caAdded, to.relative);
    if (to.isDir) {
        if (m_subtree)
            addTree(to.relative + '/', movesAreWrites() ? Report::Writes : Report::Nothing, batch);
        return;
    }
    if (movesAreWrites()) {
        add(batch, caModified, to.relative);
        m_written.insert(to.key());
    }
}

void TInotifyTree::movedOut(const Entry& from, TChangeBatch& batch) {
    if (reportsNames(from.isDir)) add(batch, caRemoved, from.relative);
    if (from.isDir) {
        for (int wd : m_table.takeTree(from.relative + '/'))
            ::inotify_rm_watch(m_fd, wd);
        return;
    }
    m_createdUnwritten.take(from.key());
    m_written.take(from.key());
}

void TInotifyTree::resolvePendingMove(TChangeBatch& batch) {
    if (!m_moveFrom) return;
    const Entry from = m_moveFrom->entry;
    m_moveFrom.reset();
    movedOut(from, batch);
}

void TInotifyTree::overflowed(TChangeBatch& batch) {
    notice(batch, wnQueueOverflow, m_folder, 0);
    m_moveFrom.reset(); // its second half may be among the lost events
    // Folders made, renamed or moved away meanwhile: watch the tree as it is now.
    const QList<int> before = m_table.descriptors();
    m_table.clear();
    addTree({}, Report::Nothing, batch);
    for (int wd : before)
        if (!m_table.contains(wd)) ::inotify_rm_watch(m_fd, wd);
}

bool TInotifyTree::reportsNames(bool isDir) const {
    return m_filters & (isDir ? NotifyFlag::DirName : NotifyFlag::FileName);
}

bool TInotifyTree::reportsWrites() const {
    return m_filters & ContentFilters;
}

bool TInotifyTree::movesAreWrites() const {
    return reportsWrites() && !(m_filters & NotifyFlag::FileName);
}

void TInotifyTree::add(TChangeBatch& batch, TChangeAction action,
                       const QByteArray& relative) const {
    // One change of a file seen twice in a row (a status change and the end of a write) is one.
    if (action == caModified && !batch.Records.isEmpty() &&
        batch.Records.last() == TChangeRecord{caModified, relative})
        return;
    batch.Records.append({action, relative});
}

void TInotifyTree::notice(TChangeBatch& batch, TWatchNoticeKind kind, const QByteArray& path,
                          int error) {
    if (kind != wnQueueOverflow) { // an overflow is news each time; the others would repeat
        const quint32 bit = 1u << kind;
        if (m_noticed & bit) return;
        m_noticed |= bit;
    }
    batch.Notices.append(MakeWatchNotice(kind, path, error ? std::strerror(error) : ""));
}

} // namespace pw
