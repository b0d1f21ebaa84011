#include "history/BackupStore.h"
#include "platform/RegularFile.h"

#include <QFile>

#include <openssl/sha.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

std::atomic<int> injectedFailure{0};

bool validSha(const QByteArray& sha) {
    if (sha.size() != 64) return false;
    for (char c : sha)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

} // namespace

QByteArray sha256Hex(const QByteArray& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    ::SHA256(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()),
             digest);
    return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
}

int makeFolders(const QByteArray& folder) {
    struct stat st {};
    if (::stat(folder.constData(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash > 0)
        if (const int error = makeFolders(folder.left(slash))) return error;
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

QByteArray BackupStore::objectPath(const QByteArray& sha) const {
    return objectsFolder() + '/' + sha.left(2) + '/' + sha;
}

bool BackupStore::contains(const QByteArray& sha) const {
    struct stat st {};
    return validSha(sha) && ::lstat(objectPath(sha).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

int BackupStore::keep(const QByteArray& bytes, const QByteArray& sha) {
    if (const int error = injectedFailure.load()) return error;
    const QByteArray path = objectPath(sha);
    struct stat st {};
    // An object that still shares its file with another name (a rewrite that failed after the
    // link, or a crash between the two) is replaced by a copy of its own.
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == bytes.size() &&
        st.st_nlink == 1)
        return 0;
    const QByteArray folder = path.left(path.lastIndexOf('/'));
    if (const int error = makeFolders(folder)) return error;

    QByteArray temp = folder + "/.object-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno ? errno : EIO;
    ::close(fd);
    if (!error && ::rename(temp.constData(), path.constData()) != 0) error = errno;
    if (error) {
        ::unlink(temp.constData());
        return error;
    }
    syncFolder(folder);
    return 0;
}

bool BackupStore::keepByLink(int folderFd, const QByteArray& name, int fd, const struct stat& read,
                             const QByteArray& sha) {
    if (injectedFailure.load()) return false;
    const QByteArray path = objectPath(sha);
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0)
        return S_ISREG(st.st_mode) && st.st_size == read.st_size && st.st_nlink == 1;
    const QByteArray folder = path.left(path.lastIndexOf('/'));
    if (makeFolders(folder) != 0 ||
        ::linkat(folderFd, name.constData(), AT_FDCWD, path.constData(), 0) != 0)
        return false;
    // The name may have been given to another file, or the file written, since it was read.
    if (::lstat(path.constData(), &st) != 0 || st.st_dev != read.st_dev ||
        st.st_ino != read.st_ino || st.st_size != read.st_size ||
        st.st_mtim.tv_sec != read.st_mtim.tv_sec || st.st_mtim.tv_nsec != read.st_mtim.tv_nsec ||
        ::fsync(fd) != 0) {
        ::unlink(path.constData());
        return false;
    }
    syncFolder(folder);
    return true;
}

std::optional<QByteArray> BackupStore::read(const QByteArray& sha) const {
    if (!validSha(sha)) return std::nullopt;
    QFile file(QFile::decodeName(objectPath(sha)));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (sha256Hex(bytes) != sha) return std::nullopt;
    return bytes;
}

void setBackupFailureForTests(int errnum) {
    injectedFailure = errnum;
}

} // namespace pw
