#include "cleaning/FileRewrite.h"

#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pw {

namespace {

std::atomic<void (*)(const QByteArray&)> beforeReplaceHook{nullptr};

RewriteResult failure(FileProblem problem, int errnum = 0) {
    return {problem, errnum};
}

RewriteResult ioFailure(int errnum) {
    return failure(errnum == EACCES || errnum == EPERM || errnum == EROFS ? FileProblem::NoAccess
                                                                          : FileProblem::Io,
                   errnum);
}

bool writeAll(int fd, const QByteArray& bytes, off_t offset) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= n;
        offset += n;
    }
    return true;
}

bool sameFileUnchanged(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           S_ISREG(b.st_mode);
}

bool stillAsRead(const FolderBeneath& folder, const struct stat& read) {
    struct stat now {};
    return ::fstatat(folder.fd(), folder.name().constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameFileUnchanged(read, now);
}

// A new, exclusively created file in the folder whose name no web mask matches, locked for as
// long as it is open. prefix follows ".pagewarden-" (a copy names the file it belongs to).
int createTemporary(const FolderBeneath& folder, QByteArray& tempName,
                    const QByteArray& prefix = {}) {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray random(6, 'X');
        for (char& c : random)
            c = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
        tempName = ".pagewarden-" + prefix + random + ".tmp";
        const int fd = ::openat(folder.fd(), tempName.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX);
            return fd;
        }
        if (errno != EEXIST) return fd;
    }
    return -1;
}

QByteArray pathIn(const FolderBeneath& folder, const QByteArray& name) {
    return folder.folderPath() + (folder.folderPath().endsWith('/') ? "" : "/") + name;
}

KeptAttributes attributesOf(const struct stat& st) {
    return {st.st_mode & 07777, st.st_uid, st.st_gid, st.st_mtim};
}

// Owner first: changing it can clear the set-id bits that the mode then restores. The
// modification time is set when given, after the last write.
bool keepOwnerAndMode(int fd, const KeptAttributes& wanted, bool setTime) {
    struct stat created {};
    if (::fstat(fd, &created) != 0) return false;
    if ((created.st_uid != wanted.uid || created.st_gid != wanted.gid) &&
        ::fchown(fd, wanted.uid, wanted.gid) != 0)
        return false;
    if (::fchmod(fd, wanted.mode & 07777) != 0) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, wanted.mtime};
    return !setTime || ::futimens(fd, times) == 0;
}

RewriteResult replaceByRename(const FolderBeneath& folder, const struct stat& read,
                              const QByteArray& after, const std::optional<KeptAttributes>& give) {
    QByteArray tempName;
    const int fd = createTemporary(folder, tempName);
    if (fd < 0) return ioFailure(errno);

    RewriteResult result;
    if (!writeAll(fd, after, 0) || ::fsync(fd) != 0)
        result = ioFailure(errno);
    else if (!keepOwnerAndMode(fd, give.value_or(attributesOf(read)), give.has_value()))
        result = failure(FileProblem::OwnerNotKept, errno);

    // The lock is held until the temporary is renamed or removed.
    if (result.ok()) {
        if (auto hook = beforeReplaceHook.load()) hook(pathIn(folder, tempName));
        if (!stillAsRead(folder, read))
            result = failure(FileProblem::Changed);
        else if (::renameat(folder.fd(), tempName.constData(), folder.fd(),
                            folder.name().constData()) == 0) {
            ::close(fd);
            return result;
        } else
            result = ioFailure(errno);
    }
    ::unlinkat(folder.fd(), tempName.constData(), 0);
    ::close(fd);
    return result;
}

RewriteResult rewriteInPlace(const FolderBeneath& folder, const struct stat& read,
                             const QByteArray& before, const QByteArray& after,
                             const std::optional<KeptAttributes>& give) {
    QByteArray copyName;
    const int copy =
        createTemporary(folder, copyName, 'i' + QByteArray::number(qulonglong(read.st_ino)) + '-');
    if (copy < 0) return ioFailure(errno);
    const bool copied = writeAll(copy, before, 0) && ::fsync(copy) == 0;
    if (!copied) {
        const int copyErrno = errno;
        ::unlinkat(folder.fd(), copyName.constData(), 0);
        ::close(copy);
        return ioFailure(copyErrno);
    }

    RewriteResult result;
    const int fd =
        ::openat(folder.fd(), folder.name().constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat now {};
    if (fd < 0) {
        result = ioFailure(errno);
    } else if (::fstat(fd, &now) != 0 || !sameFileUnchanged(read, now)) {
        result = failure(FileProblem::Changed);
    } else if (!writeAll(fd, after, 0) || ::ftruncate(fd, after.size()) != 0 || ::fsync(fd) != 0) {
        result = ioFailure(errno);
        // Put the old bytes back; if even that fails the flushed copy keeps them.
        if (!writeAll(fd, before, 0) || ::ftruncate(fd, before.size()) != 0 || ::fsync(fd) != 0) {
            ::close(fd);
            ::close(copy);
            return result;
        }
    } else if (give && !keepOwnerAndMode(fd, *give, true)) {
        result = failure(FileProblem::OwnerNotKept, errno);
    }
    if (fd >= 0) ::close(fd);
    ::unlinkat(folder.fd(), copyName.constData(), 0);
    ::close(copy);
    return result;
}

} // namespace

RewriteResult rewriteFile(const FolderBeneath& folder, const struct stat& read,
                          const QByteArray& before, const QByteArray& after,
                          const std::optional<KeptAttributes>& give) {
    if (read.st_nlink > 1) return rewriteInPlace(folder, read, before, after, give);
    return replaceByRename(folder, read, after, give);
}

void setBeforeReplaceHook(void (*hook)(const QByteArray& tempPath)) {
    beforeReplaceHook = hook;
}

} // namespace pw
