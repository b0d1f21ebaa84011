#include "cleaning/FileRewrite.h"

#include "platform/FlushTogether.h"

#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

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
// modification time is set when asked, after the last write.
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

RewriteResult rewriteInPlace(const FolderBeneath& folder, const struct stat& read,
                             const QByteArray& before, const QByteArray& after,
                             const std::optional<KeptAttributes>& give) {
    QByteArray copyName;
    const int copy =
        createTemporary(folder, copyName, 'i' + QByteArray::number(qulonglong(read.st_ino)) + '-');
    if (copy < 0) return ioFailure(errno);
    const bool copied = writeAllAt(copy, before, 0) && ::fsync(copy) == 0;
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
    } else if (!writeAllAt(fd, after, 0) || ::ftruncate(fd, after.size()) != 0 ||
               ::fsync(fd) != 0) {
        result = ioFailure(errno);
        // Put the old bytes back; if even that fails the flushed copy keeps them.
        if (!writeAllAt(fd, before, 0) || ::ftruncate(fd, before.size()) != 0 || ::fsync(fd) != 0) {
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

struct RewriteGroup::Rewrite {
    FolderBeneath folder;
    struct stat read {};
    QByteArray before; // the original bytes, for every step before the replacement
    QByteArray after;  // kept only for a file rewritten in place
    QByteArray tempName;
    int fd = -1; // open, so locked, until the temporary is renamed or removed
    bool inPlace = false;
    std::optional<KeptAttributes> give;
    RewriteResult result;

    void discardTemporary() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!tempName.isEmpty()) ::unlinkat(folder.fd(), tempName.constData(), 0);
        tempName.clear();
    }
};

RewriteGroup::RewriteGroup() = default;

RewriteGroup::~RewriteGroup() {
    for (Rewrite& rewrite : m_rewrites)
        rewrite.discardTemporary();
}

qsizetype RewriteGroup::add(FolderBeneath folder, const struct stat& read, const QByteArray& before,
                            const QByteArray& after, const std::optional<KeptAttributes>& give) {
    Rewrite& rewrite = m_rewrites.emplace_back();
    rewrite.folder = std::move(folder);
    rewrite.read = read;
    rewrite.give = give;
    rewrite.before = before;
    m_bytes += before.size();
    if (read.st_nlink > 1) {
        rewrite.inPlace = true;
        rewrite.after = after;
        m_bytes += after.size();
        return size() - 1;
    }
    rewrite.fd = createTemporary(rewrite.folder, rewrite.tempName);
    if (rewrite.fd < 0) {
        rewrite.tempName.clear();
        rewrite.result = ioFailure(errno);
    } else if (!writeAllAt(rewrite.fd, after, 0)) {
        rewrite.result = ioFailure(errno);
    } else if (!keepOwnerAndMode(rewrite.fd, give.value_or(attributesOf(read)), give.has_value())) {
        rewrite.result = failure(FileProblem::OwnerNotKept, errno);
    }
    if (!rewrite.result.ok()) rewrite.discardTemporary();
    return size() - 1;
}

qsizetype RewriteGroup::size() const {
    return qsizetype(m_rewrites.size());
}

QList<int> RewriteGroup::flushAll(const QByteArrayList& flushAlong) {
    QList<int> fds;
    std::vector<Rewrite*> flushed;
    // Asked once per file system in the group: its files hold it mounted meanwhile.
    std::map<dev_t, bool> inMemory;
    for (Rewrite& rewrite : m_rewrites) {
        if (rewrite.inPlace || !rewrite.result.ok()) continue;
        const auto [known, added] = inMemory.try_emplace(rewrite.read.st_dev, false);
        if (added) known->second = inMemoryOnly(rewrite.fd);
        if (known->second) continue;
        fds.append(rewrite.fd);
        flushed.push_back(&rewrite);
    }
    const QList<int> errors = flushTogether(fds, flushAlong);
    for (qsizetype i = 0; i < fds.size(); ++i) {
        if (!errors[i]) continue;
        flushed[std::size_t(i)]->result = ioFailure(errors[i]);
        flushed[std::size_t(i)]->discardTemporary();
    }
    return errors.mid(fds.size());
}

void RewriteGroup::stopRefused(const QList<int>& flushedAlong, const BeforeReplace& beforeReplace) {
    if (!beforeReplace) return;
    QList<RewriteResult> wanted = results();
    beforeReplace(flushedAlong, wanted);
    for (std::size_t i = 0; i < m_rewrites.size(); ++i) {
        Rewrite& rewrite = m_rewrites[i];
        if (!rewrite.result.ok() || wanted[qsizetype(i)].ok()) continue;
        rewrite.result = wanted[qsizetype(i)];
        rewrite.discardTemporary();
    }
}

void RewriteGroup::replaceAll() {
    for (Rewrite& rewrite : m_rewrites) {
        if (!rewrite.result.ok()) continue;
        if (rewrite.inPlace) {
            rewrite.result = rewriteInPlace(rewrite.folder, rewrite.read, rewrite.before,
                                            rewrite.after, rewrite.give);
            continue;
        }
        // Checked right before the rename: a file written meanwhile keeps its writer's bytes.
        if (!stillAsRead(rewrite.folder, rewrite.read)) {
            rewrite.result = failure(FileProblem::Changed);
        } else if (::renameat(rewrite.folder.fd(), rewrite.tempName.constData(),
                              rewrite.folder.fd(), rewrite.folder.name().constData()) == 0) {
            rewrite.tempName.clear();
            ::close(rewrite.fd);
            rewrite.fd = -1;
            continue;
        } else {
            rewrite.result = ioFailure(errno);
        }
        rewrite.discardTemporary();
    }
}

QList<RewriteResult> RewriteGroup::results() const {
    QList<RewriteResult> results;
    results.reserve(size());
    for (const Rewrite& rewrite : m_rewrites)
        results.append(rewrite.result);
    return results;
}

QList<RewriteResult> RewriteGroup::commit(const QByteArrayList& flushAlong,
                                          const BeforeReplace& beforeReplace) {
    const QList<int> flushedAlong = flushAll(flushAlong);
    stopRefused(flushedAlong, beforeReplace);
    if (auto hook = beforeReplaceHook.load())
        for (const Rewrite& rewrite : m_rewrites)
            if (!rewrite.inPlace && rewrite.result.ok())
                hook(pathIn(rewrite.folder, rewrite.tempName));
    replaceAll();
    // Each result says whether its file now holds the new bytes.
    QList<RewriteResult> done = results();
    m_rewrites.clear();
    m_bytes = 0;
    return done;
}

RewriteResult rewriteFile(FolderBeneath folder, const struct stat& read, const QByteArray& before,
                          const QByteArray& after, const std::optional<KeptAttributes>& give) {
    RewriteGroup group;
    group.add(std::move(folder), read, before, after, give);
    return group.commit().first();
}

void setBeforeReplaceHook(void (*hook)(const QByteArray& tempPath)) {
    beforeReplaceHook = hook;
}

} // namespace pw
