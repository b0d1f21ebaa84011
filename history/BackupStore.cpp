#include "history/BackupStore.h"

#include "history/BackupBatch.h"

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

int BackupStore::keep(const QByteArray& bytes, const QByteArray& sha) const {
    BackupBatch batch(m_folder);
    if (const int error = batch.keep(bytes, sha)) return error;
    return batch.flush().value(sha, 0);
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

int backupFailureForTests() {
    return injectedFailure.load();
}

} // namespace pw
