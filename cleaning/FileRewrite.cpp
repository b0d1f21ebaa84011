#include "cleaning/FileRewrite.h"

#include <QRandomGenerator>

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

bool stillAsRead(const FolderBeneath& folder, const struct stat& read) {
    struct stat now {};
    return ::fstatat(folder.fd(), folder.name().constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameFileUnchanged(read, now);
}

// A new, exclusively created file in the folder whose name no web mask matches.
int createTemporary(const FolderBeneath& folder, QByteArray& tempName) {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = ".pagewarden-XXXXXX.tmp";
        for (qsizetype i = 12; i < 18; ++i)
            tempName[i] = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
        const int fd = ::openat(folder.fd(), tempName.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

QByteArray pathIn(const FolderBeneath& folder, const QByteArray& name) {
    return folder.folderPath() + (folder.folderPath().endsWith('/') ? "" : "/") + name;
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

RewriteResult replaceByRename(const FolderBeneath& folder, const struct stat& read,
                              const QByteArray& after) {
    QByteArray tempName;
    const int fd = createTemporary(folder, tempName);
    if (fd < 0) return ioFailure(errno);

    RewriteResult result;
    if (!writeAll(fd, after, 0) || ::fsync(fd) != 0)
        result = ioFailure(errno);
    else if (!keepOwnerAndMode(fd, read))
        result = failure(FileProblem::OwnerNotKept, errno);
    ::close(fd);

    if (result.ok()) {
        if (auto hook = beforeReplaceHook.load()) hook(pathIn(folder, tempName));
        if (!stillAsRead(folder, read))
            result = failure(FileProblem::Changed);
        else if (::renameat(folder.fd(), tempName.constData(), folder.fd(),
                            folder.name().constData()) == 0)
            return result;
        else
            result = ioFailure(errno);
    }
    ::unlinkat(folder.fd(), tempName.constData(), 0);
    return result;
}

RewriteResult rewriteInPlace(const FolderBeneath& folder, const struct stat& read,
                             const QByteArray& before, const QByteArray& after) {
    QByteArray copyName;
    const int copy = createTemporary(folder, copyName);
    if (copy < 0) return ioFailure(errno);
    const bool copied = writeAll(copy, before, 0) && ::fsync(copy) == 0;
    const int copyErrno = errno;
    ::close(copy);
    if (!copied) {
        ::unlinkat(folder.fd(), copyName.constData(), 0);
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
            return result;
        }
    }
    if (fd >= 0) ::close(fd);
    ::unlinkat(folder.fd(), copyName.constData(), 0);
    return result;
}

} // namespace

RewriteResult rewriteFile(const FolderBeneath& folder, const struct stat& read,
                          const QByteArray& before, const QByteArray& after) {
    if (read.st_nlink > 1) return rewriteInPlace(folder, read, before, after);
    return replaceByRename(folder, read, after);
}

void setBeforeReplaceHook(void (*hook)(const QByteArray& tempPath)) {
    beforeReplaceHook = hook;
}

} // namespace pw
