#include "platform/BeneathRoot.h"

#include <QByteArrayList>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <optional>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace pw {

namespace {

std::atomic<bool> componentWalkOnly{false};
// Cleared at the first ENOSYS: the kernel predates openat2 (Linux 5.6).
std::atomic<bool> haveOpenat2{true};

constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

FileProblem problemOf(int errnum) {
    switch (errnum) {
    case ENOENT:
        return FileProblem::Missing;
    case EACCES:
    case EPERM:
        return FileProblem::NoAccess;
    case ELOOP:   // a symbolic link on the way
    case EXDEV:   // a ".." or a magic link out of the root
    case ENOTDIR: // a folder on the way is now something else
        return FileProblem::NotBeneath;
    default:
        return FileProblem::Io;
    }
}

QByteArray withoutTrailingSlashes(QByteArray folder) {
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

// The part of path below root, or nothing when path does not lie beneath it.
std::optional<QByteArray> relativeTo(const QByteArray& root, const QByteArray& path) {
    if (root.isEmpty()) return std::nullopt;
    if (root == "/") return path.startsWith('/') ? std::optional(path.mid(1)) : std::nullopt;
    // The current folder holds every relative path that does not climb out of it.
    if (root == "." && !path.startsWith('/') && !path.startsWith("./")) return path;
    if (!path.startsWith(root) || path.size() <= root.size() || path[root.size()] != '/')
        return std::nullopt;
    return path.mid(root.size() + 1);
}

int openat2Beneath(int rootFd, const QByteArray& relative) {
    open_how how{};
    how.flags = FolderFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (int attempt = 0;; ++attempt) {
        const long fd = ::syscall(SYS_openat2, rootFd, relative.constData(), &how, sizeof how);
        // EAGAIN: a rename or mount raced with the lookup; the kernel asks for a retry.
        if (fd >= 0 || (errno != EAGAIN && errno != EINTR) || attempt == 16) return int(fd);
    }
}

// The same guarantee without openat2: one folder at a time, none of them a link.
int walkBeneath(int rootFd, const QByteArray& relative) {
    int fd = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    for (const QByteArray& part : relative.split('/')) {
        if (fd < 0) return -1;
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            ::close(fd);
            errno = EXDEV;
            return -1;
        }
        const int next = ::openat(fd, part.constData(), FolderFlags | O_NOFOLLOW);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

int openRoot(const QByteArray& root) {
    return ::open(withoutTrailingSlashes(root).constData(), FolderFlags);
}

int openFolderBeneath(int rootFd, const QByteArray& relative) {
    if (relative.isEmpty()) return ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (!componentWalkOnly && haveOpenat2) {
        const int fd = openat2Beneath(rootFd, relative);
        if (fd >= 0 || errno != ENOSYS) return fd;
        haveOpenat2 = false;
    }
    return walkBeneath(rootFd, relative);
}

} // namespace

FolderBeneath FolderBeneath::open(int rootFd, int rootErrno, const QByteArray& root,
                                  const QByteArray& path) {
    FolderBeneath folder;
    const QByteArray top = withoutTrailingSlashes(root);
    // "folder/" names the folder itself.
    const std::optional<QByteArray> relative = relativeTo(top, withoutTrailingSlashes(path));
    const qsizetype slash = relative ? relative->lastIndexOf('/') : -1;
    folder.m_name = relative ? relative->mid(slash + 1) : QByteArray();
    if (folder.m_name.isEmpty() || folder.m_name == "." || folder.m_name == "..") {
        folder.fail(FileProblem::NotBeneath, 0);
        return folder;
    }
    const QByteArray below = slash < 0 ? QByteArray() : relative->left(slash);
    folder.m_folderPath = below.isEmpty() ? top : (top == "/" ? top : top + '/') + below;

    if (rootFd < 0) {
        folder.fail(rootErrno == ENOTDIR ? FileProblem::NotBeneath : problemOf(rootErrno),
                    rootErrno);
        return folder;
    }
    folder.m_fd = openFolderBeneath(rootFd, below);
    if (folder.m_fd < 0) folder.fail(problemOf(errno), errno);
    return folder;
}

FolderBeneath FolderBeneath::open(const QByteArray& root, const QByteArray& path) {
    const int rootFd = openRoot(root);
    FolderBeneath folder = open(rootFd, errno, root, path);
    if (rootFd >= 0) ::close(rootFd);
    return folder;
}

FolderBeneath OpenRoots::open(const QByteArray& root, const QByteArray& path) {
    auto it = m_fds.find(root);
    if (it == m_fds.end()) {
        const int fd = openRoot(root);
        if (fd < 0) return FolderBeneath::open(fd, errno, root, path); // tried again next time
        it = m_fds.insert(root, fd);
    }
    return FolderBeneath::open(*it, 0, root, path);
}

void OpenRoots::forget() {
    for (const int fd : std::as_const(m_fds))
        ::close(fd);
    m_fds.clear();
}

FolderBeneath::FolderBeneath(FolderBeneath&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_problem(other.m_problem)
    , m_errno(other.m_errno)
    , m_name(std::move(other.m_name))
    , m_folderPath(std::move(other.m_folderPath)) {}

FolderBeneath& FolderBeneath::operator=(FolderBeneath&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_problem = other.m_problem;
        m_errno = other.m_errno;
        m_name = std::move(other.m_name);
        m_folderPath = std::move(other.m_folderPath);
    }
    return *this;
}

FolderBeneath::~FolderBeneath() {
    if (m_fd >= 0) ::close(m_fd);
}

void FolderBeneath::fail(FileProblem problem, int errnum) {
    m_problem = problem;
    m_errno = errnum;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void setComponentWalkForTests(bool on) {
    componentWalkOnly = on;
}

} // namespace pw
