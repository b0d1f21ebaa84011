#include "cleaning/FileRewrite.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
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

bool stillAsRead(const QByteArray& path, const struct stat& read) {
    struct stat now {};
    return ::lstat(path.constData(), &now) == 0 && sameFileUnchanged(read, now);
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// A new, exclusively created file beside path whose name no web mask matches.
int createTemporary(const QByteArray& path, QByteArray& tempPath) {
    tempPath = folderOf(path) + "/.pagewarden-XXXXXX.tmp";
    return ::mkostemps(tempPath.data(), 4, O_CLOEXEC);
}

// Owner first: changing it can clear the set-id bits that the mode then restores.
bool keepOwnerAndMode(int fd, const struct stat& original) {
    struct stat created {};
    if (::fstat(fd, &created) != 0) return false;
    if ((created.st_uid != original.st_uid || created.st_gid != original.st_gid) &&
        ::fchown(fd, original.st_uid, original.st_gid) != 0)
        return false;
    return ::fchmod(fd, original.st_mode & 07777) == 0;
}

RewriteResult replaceByRename(const QByteArray& path, const struct stat& read,
                              const QByteArray& after) {
    QByteArray tempPath;
    const int fd = createTemporary(path, tempPath);
    if (fd < 0) return ioFailure(errno);

    RewriteResult result;
    if (!writeAll(fd, after, 0) || ::fsync(fd) != 0)
        result = ioFailure(errno);
    else if (!keepOwnerAndMode(fd, read))
        result = failure(FileProblem::OwnerNotKept, errno);
    ::close(fd);

    if (result.ok()) {
        if (auto hook = beforeReplaceHook.load()) hook(tempPath);
        if (!stillAsRead(path, read))
            result = failure(FileProblem::Changed);
        else if (::rename(tempPath.constData(), path.constData()) == 0)
            return result;
        else
            result = ioFailure(errno);
    }
    ::unlink(tempPath.constData());
    return result;
}

RewriteResult rewriteInPlace(const QByteArray& path, const struct stat& read,
                             const QByteArray& before, const QByteArray& after) {
    QByteArray copyPath;
    const int copy = createTemporary(path, copyPath);
    if (copy < 0) return ioFailure(errno);
    const bool copied = writeAll(copy, before, 0) && ::fsync(copy) == 0;
    const int copyErrno = errno;
    ::close(copy);
    if (!copied) {
        ::unlink(copyPath.constData());
        return ioFailure(copyErrno);
    }

    RewriteResult result;
    const int fd = ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
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
            return result;
        }
    }
    if (fd >= 0) ::close(fd);
    ::unlink(copyPath.constData());
    return result;
}

} // namespace

RewriteResult rewriteFile(const QByteArray& path, const struct stat& read, const QByteArray& before,
                          const QByteArray& after) {
    if (read.st_nlink > 1) return rewriteInPlace(path, read, before, after);
    return replaceByRename(path, read, after);
}

void setBeforeReplaceHook(void (*hook)(const QByteArray& tempPath)) {
    beforeReplaceHook = hook;
}

} // namespace pw
