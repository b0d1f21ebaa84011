#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace pw {

QByteArray describe(FileProblem problem, int errnum) {
    switch (problem) {
    case FileProblem::None:
        return "no problem";
    case FileProblem::Missing:
        return "no such file";
    case FileProblem::Folder:
        return "is a folder";
    case FileProblem::SymbolicLink:
        return "is a symbolic link (left unchanged)";
    case FileProblem::Special:
        return "is not a regular file (FIFO, socket or device)";
    case FileProblem::ReadOnly:
        return "is read-only";
    case FileProblem::NoAccess:
        return "permission denied";
    case FileProblem::TooLarge:
        return "too large to clean (over 1 GiB)";
    case FileProblem::Changed:
        return "changed by another program while being cleaned (left as it is)";
    case FileProblem::NotBeneath:
        return "not beneath the tree: a symbolic link or a changed folder on its path (left "
               "unchanged)";
    case FileProblem::OwnerNotKept:
        return "its owner could not be kept (left unchanged)";
    case FileProblem::NoBackup:
        return "its backup could not be written (left unchanged)" +
               (errnum ? QByteArray(": ") + std::strerror(errnum) : QByteArray());
    case FileProblem::Io:
        return errnum ? QByteArray(std::strerror(errnum)) : QByteArray("input/output error");
    }
    return "unknown problem";
}

FileProblem classify(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return FileProblem::None;
    if (S_ISDIR(st.st_mode)) return FileProblem::Folder;
    if (S_ISLNK(st.st_mode)) return FileProblem::SymbolicLink;
    return FileProblem::Special;
}

static FileProblem problemOf(int errnum) {
    switch (errnum) {
    case ENOENT:
    case ENOTDIR:
        return FileProblem::Missing;
    case EACCES:
    case EPERM:
        return FileProblem::NoAccess;
    case ELOOP:
        return FileProblem::SymbolicLink;
    default:
        return FileProblem::Io;
    }
}

RegularFile RegularFile::open(int folderFd, const QByteArray& name) {
    RegularFile file;
    struct stat before {};
    if (::fstatat(folderFd, name.constData(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
        file.fail(problemOf(errno), errno);
        return file;
    }
    if (FileProblem p = classify(before); p != FileProblem::None) {
        file.fail(p, 0);
        return file;
    }
    file.m_fd =
        ::openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file.m_fd < 0) {
        file.fail(problemOf(errno), errno);
        return file;
    }
    if (::fstat(file.m_fd, &file.m_status) != 0) {
        file.fail(FileProblem::Io, errno);
        return file;
    }
    // Swapped for something else between the two looks.
    if (file.m_status.st_ino != before.st_ino || file.m_status.st_dev != before.st_dev ||
        !S_ISREG(file.m_status.st_mode))
        file.fail(FileProblem::Changed, 0);
    return file;
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_problem(other.m_problem)
    , m_errno(other.m_errno)
    , m_status(other.m_status) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_problem = other.m_problem;
        m_errno = other.m_errno;
        m_status = other.m_status;
    }
    return *this;
}

RegularFile::~RegularFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void RegularFile::fail(FileProblem problem, int errnum) {
    m_problem = problem;
    m_errno = errnum;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool RegularFile::readAll(QByteArray& out) {
    if (m_status.st_size > MaxSize) {
        fail(FileProblem::TooLarge, 0);
        return false;
    }
    // Sized from fstat, but read to the end: the file may have grown since.
    out.resize(qsizetype(m_status.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == out.size()) {
            if (used > MaxSize) {
                fail(FileProblem::TooLarge, 0);
                return false;
            }
            out.resize(used * 2 + 4096);
        }
        const ssize_t n = ::read(m_fd, out.data() + used, size_t(out.size() - used));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(FileProblem::Io, errno);
            return false;
        }
        if (n == 0) break;
        used += n;
        // The size fstat gave, short of the room asked for: the end, without a read to see it.
        // Had the file grown since, its size no longer matches the status every rewrite checks.
        if (used == m_status.st_size && used < out.size()) break;
    }
    out.resize(used);
    return true;
}

namespace {

template <typename Write>
bool writeThrough(const QByteArray& bytes, Write write) {
    const char* p = bytes.constData();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(p + done, size_t(bytes.size() - done), done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool writeAll(int fd, const QByteArray& bytes) {
    return writeThrough(bytes,
                        [fd](const char* p, size_t n, qsizetype) { return ::write(fd, p, n); });
}

bool writeAllAt(int fd, const QByteArray& bytes, off_t offset) {
    return writeThrough(bytes, [fd, offset](const char* p, size_t n, qsizetype done) {
        return ::pwrite(fd, p, n, offset + done);
    });
}

} // namespace pw
