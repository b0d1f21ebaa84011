#include "cleaning/Leftovers.h"

#include "history/BackupStore.h"
#include "history/HistoryLocation.h"
#include "history/Journal.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

// A file written this long after its copy was made was written by someone after the crash.
constexpr time_t EditedAfterCrash = 5;

bool isTemporaryName(const QByteArray& name) {
    return name.startsWith(".pagewarden-") && name.endsWith(".tmp");
}

// The inode a copy's name gives (".pagewarden-i<inode>-XXXXXX.tmp"), 0 for new-bytes files.
ino_t copyInode(const QByteArray& name) {
    if (!name.startsWith(".pagewarden-i")) return 0;
    const qsizetype dash = name.indexOf('-', 13);
    bool ok = false;
    const qulonglong ino = name.mid(13, dash - 13).toULongLong(&ok);
    return ok && dash > 13 ? ino_t(ino) : 0;
}

QByteArrayList listNames(int folderFd) {
    QByteArrayList names;
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return names;
    }
    while (const dirent* e = ::readdir(dir))
        names.append(e->d_name);
    ::closedir(dir);
    return names;
}

bool readAll(int fd, QByteArray& out) {
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buffer, n);
    }
}

bool writeBack(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return ::ftruncate(fd, bytes.size()) == 0 && ::fsync(fd) == 0;
}

struct Target {
    QByteArray name;
    struct stat status {};
};

bool findByInode(int folderFd, const QByteArrayList& names, dev_t dev, ino_t ino, Target& out) {
    for (const QByteArray& name : names) {
        if (isTemporaryName(name)) continue;
        struct stat st {};
        if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_dev == dev && st.st_ino == ino) {
            out = {name, st};
            return true;
        }
    }
    return false;
}

bool journalRecordsRewrite(const QByteArray& historyFolder, const QByteArray& fromSha,
                           const QByteArray& toSha) {
    if (historyFolder.isEmpty()) return false;
    for (const JournalRecord& r : Journal(historyFolder).read().records)
        if (r.sha256 == fromSha && r.newSha256 == toSha) return true;
    return false;
}

// A copy of original bytes: see sweepLeftovers.
void settleCopy(int folderFd, const QByteArray& folderPath, const QByteArrayList& names,
                const QByteArray& name, int copyFd, const struct stat& copyStatus,
                const QByteArray& historyFolder, LeftoverSweep& sweep) {
    const QByteArray copyPath = folderPath + name;
    QByteArray original;
    Target target;
    if (!readAll(copyFd, original)) {
        sweep.kept.append(copyPath + ": cannot be read");
        return;
    }
    if (!findByInode(folderFd, names, copyStatus.st_dev, copyInode(name), target)) {
        sweep.kept.append(copyPath + ": original bytes of a file that is no longer here");
        return;
    }
    const int fd = ::openat(folderFd, target.name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    QByteArray current;
    if (fd < 0 || !readAll(fd, current)) {
        if (fd >= 0) ::close(fd);
        sweep.kept.append(copyPath + ": original bytes of " + target.name +
                          ", which cannot be read");
        return;
    }
    bool settled = current == original ||
                   journalRecordsRewrite(historyFolder, sha256Hex(original), sha256Hex(current));
    if (!settled) {
        if (target.status.st_mtim.tv_sec > copyStatus.st_mtim.tv_sec + EditedAfterCrash) {
            sweep.kept.append(copyPath + ": original bytes of " + target.name +
                              ", which was written after the copy was made");
        } else if (writeBack(fd, original)) {
            sweep.putBack.append(folderPath + target.name);
            settled = true;
        } else {
            sweep.kept.append(copyPath + ": could not be put back into " + target.name);
        }
    }
    ::close(fd);
    if (settled && ::unlinkat(folderFd, name.constData(), 0) == 0) sweep.removed.append(copyPath);
}

} // namespace

LeftoverSweep sweepLeftovers(int folderFd, const QByteArray& folderPath,
                             const QByteArray& historyFolder) {
    LeftoverSweep sweep;
    const QByteArray prefix =
        folderPath.isEmpty() || folderPath.endsWith('/') ? folderPath : folderPath + '/';
    const QByteArrayList names = listNames(folderFd);
    for (const QByteArray& name : names) {
        if (!isTemporaryName(name)) continue;
        const int fd =
            ::openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // A lock that cannot be taken belongs to a live rewrite.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        if (copyInode(name) != 0)
            settleCopy(folderFd, prefix, names, name, fd, st, historyFolder, sweep);
        else if (::unlinkat(folderFd, name.constData(), 0) == 0)
            sweep.removed.append(prefix + name);
        ::close(fd);
    }
    return sweep;
}

namespace {

void sweepTree(int folderFd, const QByteArray& path, const QByteArray& historyFolder,
               const HistoryFolders& store, LeftoverSweep& sweep) {
    const LeftoverSweep here = sweepLeftovers(folderFd, path, historyFolder);
    sweep.removed += here.removed;
    sweep.putBack += here.putBack;
    sweep.kept += here.kept;
    for (const QByteArray& name : listNames(folderFd)) {
        if (name == "." || name == ".." || store.contains(folderFd, name.constData())) continue;
        const int sub =
            ::openat(folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        sweepTree(sub, path + name + '/', historyFolder, store, sweep);
        ::close(sub);
    }
}

} // namespace

LeftoverSweep sweepLeftoversInTree(const QByteArray& root, const QByteArray& historyFolder) {
    LeftoverSweep sweep;
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return sweep;
    sweepTree(fd, root.endsWith('/') ? root : root + '/', historyFolder, HistoryFolders::current(),
              sweep);
    ::close(fd);
    return sweep;
}

} // namespace pw
