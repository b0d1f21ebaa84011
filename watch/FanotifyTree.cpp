#include "watch/FanotifyTree.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace pw {

namespace {

constexpr qsizetype MaxKnownFolders = 65536;

quint64 fanotifyMask(quint32 filters) {
    // Names are always followed, to keep what is known of folders and files right.
    quint64 mask = FAN_CREATE | FAN_DELETE | FAN_RENAME | FAN_ONDIR;
    if (filters & ContentFilters) mask |= FAN_MODIFY | FAN_CLOSE_WRITE;
    if (filters & StatusFilters) mask |= FAN_ATTRIB;
    if (filters & NotifyFlag::LastAccess) mask |= FAN_ACCESS;
    return mask;
}

// Where an open folder is now, or empty once it has been deleted.
QByteArray pathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    QByteArray path(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(link, path.data(), size_t(path.size()));
    if (n <= 0 || n >= path.size()) return {};
    path.truncate(n);
    if (path.endsWith(" (deleted)") || !path.startsWith('/')) return {};
    return path;
}

QByteArray withSlash(QByteArray folder) {
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

QByteArray fsidOf(const void* fsid) {
    return QByteArray(static_cast<const char*>(fsid), sizeof(__kernel_fsid_t));
}

static_assert(offsetof(fanotify_event_info_fid, handle) ==
                  offsetof(fanotify_event_info_fid, fsid) + sizeof(__kernel_fsid_t),
              "the handle follows the file system id");

struct Handle {
    alignas(file_handle) char bytes[sizeof(file_handle) + MAX_HANDLE_SZ];
    file_handle* get() { return reinterpret_cast<file_handle*>(bytes); }
};

QByteArray markError(int error, const QByteArray& folder) {
    switch (error) {
    case EPERM:
        return "fanotify needs CAP_SYS_ADMIN";
    case EINVAL:
        return "the kernel has no fanotify rename events (Linux 5.17 or later)";
    case ENODEV:
    case EOPNOTSUPP:
    case EXDEV:
        return "the file system of " + folder + " cannot be watched with fanotify (" +
               std::strerror(error) + ")";
    default:
        return "cannot watch " + folder + " with fanotify (" + std::strerror(error) + ")";
    }
}

} // namespace

TFanotifyTree::TFanotifyTree(int fd, quint32 filterWord, bool subtree)
    : m_fd(fd)
    , m_filters(filterWord)
    , m_subtree(subtree) {
    ::clock_gettime(CLOCK_REALTIME, &m_readSince);
}

TFanotifyTree::~TFanotifyTree() {
    for (const Root& root : m_roots)
        ::close(root.fd);
    for (const FileSystem& fs : m_fileSystems)
        ::close(fs.mountFd);
    ::close(m_fd);
}

std::unique_ptr<TFanotifyTree> TFanotifyTree::Open(const QByteArrayList& folders,
                                                   quint32 filterWord, bool subtree,
                                                   QByteArray& whyNot) {
    whyNot.clear();
    const int fd =
        ::fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_DFID_NAME | FAN_CLOEXEC | FAN_NONBLOCK,
                        O_RDONLY | O_CLOEXEC | O_LARGEFILE);
    if (fd < 0) {
        const int error = errno;
        whyNot = error == EPERM ? "fanotify needs CAP_SYS_ADMIN"
                 : error == EINVAL
                     ? "the kernel has no fanotify folder handles and names (Linux "
                       "5.9 or later)"
                     : QByteArray("fanotify cannot start (") + std::strerror(error) + ")";
        return nullptr;
    }
    std::unique_ptr<TFanotifyTree> tree(new TFanotifyTree(fd, filterWord, subtree));
    for (const QByteArray& folder : folders)
        if (!tree->addRoot(folder, whyNot)) return nullptr;
    if (tree->m_roots.empty()) return nullptr; // nothing there to watch
    return tree;
}

bool TFanotifyTree::addRoot(const QByteArray& folder, QByteArray& whyNot) {
    const QByteArray given = withSlash(folder);
    const int rootFd = ::open(given.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return true; // missing: nothing to report
        whyNot = "cannot open " + given + " (" + std::strerror(error) + ")";
        return false;
    }
    m_roots.push_back({given, withSlash(pathOf(rootFd)), rootFd});

    struct statfs fsStatus {};
    if (::fstatfs(rootFd, &fsStatus) != 0) {
        whyNot = "cannot read the file system of " + given + " (" + std::strerror(errno) + ")";
        return false;
    }
    const QByteArray fsid = fsidOf(&fsStatus.f_fsid);
    for (const FileSystem& fs : m_fileSystems)
        if (fs.fsid == fsid) return true; // one mark serves every folder on it

    if (::fanotify_mark(m_fd, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, fanotifyMask(m_filters), AT_FDCWD,
                        m_roots.back().real.constData()) != 0) {
        whyNot = markError(errno, given);
        return false;
    }
    // Folders are found again by their handles: the file system must give them, and the
    // process must be allowed to open them.
    Handle handle;
    handle.get()->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(rootFd, "", handle.get(), &mountId, AT_EMPTY_PATH) != 0) {
        whyNot =
            "the file system of " + given + " gives no file handles (" + std::strerror(errno) + ")";
        return false;
    }
    const int mountFd = ::open(given.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mountFd < 0) {
        whyNot = "cannot open " + given + " (" + std::strerror(errno) + ")";
        return false;
    }
    m_fileSystems.push_back({fsid, mountFd});
    const int opened = ::open_by_handle_at(mountFd, handle.get(), O_PATH | O_CLOEXEC);
    if (opened < 0) {
        const int error = errno;
        whyNot = error == EPERM ? QByteArray("open_by_handle_at needs CAP_DAC_READ_SEARCH")
                                : "cannot open folders of " + given + " by handle (" +
                                      std::strerror(error) + ")";
        return false;
    }
    ::close(opened);
    if (::fanotify_mark(m_fd, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, fanotifyMask(m_filters), AT_FDCWD,
                        m_roots.back().real.constData()) != 0) {
        whyNot = markError(errno, given);
        return false;
    }
    return true;
}

void TFanotifyTree::ReadChanges(TChangeBatch& batch) {
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    while (batch.Records.size() < MaxBatchRecords) {
        timespec before{};
        ::clock_gettime(CLOCK_REALTIME, &before);
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_readSince = before; // the queue was empty then
            return;
        }
        // Events are aligned to 4 bytes only: each one's fixed part is copied out to be read.
        for (ssize_t at = 0; at + ssize_t(FAN_EVENT_METADATA_LEN) <= n;) {
            fanotify_event_metadata event{};
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.event_len < FAN_EVENT_METADATA_LEN || at + ssize_t(event.event_len) > n)
                break;
            if (event.vers == FANOTIFY_METADATA_VERSION) handle(event, buffer + at, batch);
            if (event.fd >= 0) ::close(event.fd);
            at += event.event_len;
        }
    }
}

void TFanotifyTree::handle(const fanotify_event_metadata& event, const char* raw,
                           TChangeBatch& batch) {
    if (event.mask & FAN_Q_OVERFLOW) {
        overflowed(batch);
        return;
    }
    const void* entryInfo = nullptr;
    const void* oldInfo = nullptr;
    const void* newInfo = nullptr;
    const char* at = raw + event.metadata_len;
    const char* const end = raw + event.event_len;
    while (at + sizeof(fanotify_event_info_header) <= end) {
        const auto* header = reinterpret_cast<const fanotify_event_info_header*>(at);
        if (header->len == 0 || at + header->len > end) break;
        if (header->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) entryInfo = at;
        if (header->info_type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME) oldInfo = at;
        if (header->info_type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) newInfo = at;
        at += header->len;
    }
    const bool isDir = event.mask & FAN_ONDIR;
    // A folder renamed or deleted anywhere may have moved a watched folder or one under it.
    if (isDir && (event.mask & (FAN_RENAME | FAN_DELETE))) foldersMoved();

    if ((event.mask & FAN_RENAME) && oldInfo && newInfo)
        renamed(name(oldInfo, isDir), name(newInfo, isDir), batch);
    if (!entryInfo) return;
    const Named entry = name(entryInfo, isDir);
    if (entry.path.isEmpty()) return;
    // One event may stand for several changes of the entry, merged in the queue: in the order
    // they happen to a file.
    if (event.mask & FAN_CREATE) created(entry, batch);
    if (event.mask & FAN_MODIFY) m_createdUnwritten.take(entry.path);
    if ((event.mask & FAN_ATTRIB) && (m_filters & StatusFilters)) statusChanged(entry, batch);
    if (event.mask & FAN_CLOSE_WRITE) writeCompleted(entry, batch);
    if ((event.mask & FAN_ACCESS) && (m_filters & NotifyFlag::LastAccess))
        add(batch, caModified, entry.path);
    if (event.mask & FAN_DELETE) deleted(entry, batch);
}

TFanotifyTree::Named TFanotifyTree::name(const void* info, bool isDir) {
    const auto* fid = static_cast<const fanotify_event_info_fid*>(info);
    const auto* handle = reinterpret_cast<const file_handle*>(fid->handle);
    const char* entryName = reinterpret_cast<const char*>(handle->f_handle) + handle->handle_bytes;
    if (std::strcmp(entryName, ".") == 0) return {{}, isDir}; // the folder itself
    const QByteArray folder = folderOf(fid);
    if (folder.isEmpty()) return {{}, isDir};
    const QByteArray under = underRoot(folder);
    if (under.isEmpty()) return {{}, isDir};
    return {under + entryName, isDir};
}

QByteArray TFanotifyTree::folderOf(const void* fidInfo) {
    const auto* fid = static_cast<const fanotify_event_info_fid*>(fidInfo);
    const auto* handle = reinterpret_cast<const file_handle*>(fid->handle);
    if (handle->handle_bytes > MAX_HANDLE_SZ) return {};
    // The file system's id and the handle lie one after the other in the event: looked up in
    // place, so an event of a known folder costs no copy.
    const QByteArray key = QByteArray::fromRawData(
        reinterpret_cast<const char*>(&fid->fsid),
        qsizetype(sizeof fid->fsid + sizeof(file_handle) + handle->handle_bytes));
    if (const auto it = m_folders.constFind(key); it != m_folders.cend()) return it.value();

    const QByteArray fsid = fsidOf(&fid->fsid);
    const FileSystem* fs = nullptr;
    for (const FileSystem& candidate : m_fileSystems)
        if (candidate.fsid == fsid) fs = &candidate;
    if (!fs) return {};
    Handle copy;
    std::memcpy(copy.bytes, handle, sizeof(file_handle) + handle->handle_bytes);
    const int fd = ::open_by_handle_at(fs->mountFd, copy.get(), O_PATH | O_CLOEXEC);
    if (fd < 0) return {}; // deleted since
    const QByteArray folder = withSlash(pathOf(fd));
    ::close(fd);
    if (m_folders.size() >= MaxKnownFolders) m_folders.clear();
    m_folders.insert(QByteArray(key.constData(), key.size()), folder);
    return folder;
}

QByteArray TFanotifyTree::underRoot(const QByteArray& real) const {
    for (const Root& root : m_roots) {
        if (root.gone || !real.startsWith(root.real)) continue;
        if (!m_subtree && real.size() != root.real.size()) continue;
        return root.given + real.sliced(root.real.size());
    }
    return {};
}

void TFanotifyTree::foldersMoved() {
    m_folders.clear();
    // A watched folder moved keeps being watched where it went, as an inotify watch would; one
    // deleted is watched no more, even if another folder takes its name.
    for (Root& root : m_roots) {
        struct stat st {};
        const QByteArray real = pathOf(root.fd);
        root.gone = real.isEmpty() || ::fstat(root.fd, &st) != 0 || st.st_nlink == 0;
        if (!root.gone) root.real = withSlash(real);
    }
}

void TFanotifyTree::created(const Named& entry, TChangeBatch& batch) {
    if (reportsNames(entry.isDir)) add(batch, caAdded, entry.path);
    if (!entry.isDir && reportsWrites()) m_createdUnwritten.insert(entry.path);
}

void TFanotifyTree::deleted(const Named& entry, TChangeBatch& batch) {
    if (reportsNames(entry.isDir)) add(batch, caRemoved, entry.path);
    m_createdUnwritten.take(entry.path);
    m_written.take(entry.path);
}

void TFanotifyTree::writeCompleted(const Named& entry, TChangeBatch& batch) {
    if (entry.isDir || m_createdUnwritten.take(entry.path))
        return; // created and closed without a write: an empty new file
    add(batch, caModified, entry.path);
    m_written.insert(entry.path);
}

void TFanotifyTree::statusChanged(const Named& entry, TChangeBatch& batch) {
    // The times touch sets on the empty file it has just made are part of making it.
    if (!m_createdUnwritten.contains(entry.path)) add(batch, caModified, entry.path);
}

void TFanotifyTree::renamed(const Named& from, const Named& to, TChangeBatch& batch) {
    const bool wasIn = !from.path.isEmpty(), isIn = !to.path.isEmpty();
    const bool wasUnwritten = wasIn && m_createdUnwritten.take(from.path);
    const bool wasWritten = wasIn && m_written.take(from.path);
    if (wasIn && isIn) {
        if (reportsNames(to.isDir)) {
            add(batch, caRenamedOldName, from.path);
            add(batch, caRenamedNewName, to.path);
        }
    } else if (wasIn) {
        if (reportsNames(from.isDir)) add(batch, caRemoved, from.path);
        return;
    } else if (isIn) {
        if (reportsNames(to.isDir)) add(batch, caAdded, to.path);
    } else {
        return;
    }
    if (to.isDir) {
        // A folder moved in from outside: its files are new to the tree, as a file moved in is.
        if (!wasIn && m_subtree && movesAreWrites()) reportFilesIn(to.path + '/', batch);
        return;
    }
    if (wasUnwritten) m_createdUnwritten.insert(to.path);
    // A file moved in from outside, or from a name last written here, replaces the file.
    if (!wasIn || wasWritten) {
        if (movesAreWrites()) add(batch, caModified, to.path);
        m_written.insert(to.path);
    }
}

void TFanotifyTree::overflowed(TChangeBatch& batch) {
    batch.Notices.append(
        MakeWatchNotice(wnQueueOverflow, m_roots.front().given, "fs.fanotify.max_queued_events"));
    foldersMoved();
    if (!reportsWrites()) return;
    // The lost events are of changes made since the queue was last read empty.
    for (const Root& root : m_roots)
        if (!root.gone) reportChangedSince(root.given, m_subtree ? -1 : 0, batch);
}

namespace {

// Calls found(path, status) for every non-empty regular file under folder (ending in "/"), down
// depth levels of folders (-1: all), links never followed.
void forEachFileIn(const QByteArray& folder, int depth,
                   const std::function<void(const QByteArray&, const struct stat&)>& found) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const QByteArray path = folder + e->d_name;
        if (S_ISDIR(st.st_mode)) {
            if (depth != 0) forEachFileIn(path + '/', depth - 1, found);
        } else if (S_ISREG(st.st_mode) && st.st_size > 0) {
            found(path, st);
        }
    }
    ::closedir(dir);
}

} // namespace

void TFanotifyTree::reportChangedSince(const QByteArray& folder, int depth, TChangeBatch& batch) {
    const time_t since = m_readSince.tv_sec - 1; // file times lag the clock by a tick
    forEachFileIn(folder, depth, [&](const QByteArray& path, const struct stat& st) {
        if (std::max(st.st_ctim.tv_sec, st.st_mtim.tv_sec) >= since) add(batch, caModified, path);
    });
}

void TFanotifyTree::reportFilesIn(const QByteArray& folder, TChangeBatch& batch) {
    forEachFileIn(folder, -1, [&](const QByteArray& path, const struct stat&) {
        add(batch, caModified, path);
        m_written.insert(path);
    });
}

bool TFanotifyTree::reportsNames(bool isDir) const {
    return m_filters & (isDir ? NotifyFlag::DirName : NotifyFlag::FileName);
}

bool TFanotifyTree::reportsWrites() const {
    return m_filters & ContentFilters;
}

bool TFanotifyTree::movesAreWrites() const {
    return reportsWrites() && !(m_filters & NotifyFlag::FileName);
}

void TFanotifyTree::add(TChangeBatch& batch, TChangeAction action, const QByteArray& path) const {
    // One change of a file seen twice in a row (a status change and the end of a write) is one.
    if (action == caModified && !batch.Records.isEmpty() &&
        batch.Records.last() == TChangeRecord{caModified, path})
        return;
    batch.Records.append({action, path});
}

QByteArray FanotifyUnavailable(const QByteArrayList& folders) {
    QByteArray whyNot;
    TFanotifyTree::Open(folders, NotifyFlag::Attributes, true, whyNot);
    return whyNot;
}

} // namespace pw
