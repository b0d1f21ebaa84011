#include "history/BackupBatch.h"

#include "platform/FlushTogether.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace pw {

namespace {

bool sameFileAsRead(const struct stat& now, const struct stat& read) {
    return now.st_dev == read.st_dev && now.st_ino == read.st_ino && now.st_size == read.st_size &&
           now.st_mtim.tv_sec == read.st_mtim.tv_sec && now.st_mtim.tv_nsec == read.st_mtim.tv_nsec;
}

} // namespace

std::optional<ReplacedFile> replacedFile(const FolderBeneath& folder, const RegularFile& file) {
    if (file.status().st_nlink != 1) return std::nullopt;
    return ReplacedFile{folder.fd(), folder.name(), file.fd(), file.status()};
}

BackupBatch::~BackupBatch() {
    for (const Staged& staged : std::exchange(m_staged, {}))
        takeBack(staged);
}

int BackupBatch::keep(const QByteArray& before, const QByteArray& sha,
                      const std::optional<ReplacedFile>& file) {
    if (const int error = backupFailureForTests()) return error;
    if (isStaged(sha)) return 0;
    const int error = file && stageLink(*file, sha) ? 0 : stageCopy(before, sha);
    // The store's file system is known once it holds an object.
    if (!error && !m_storeChecked) {
        m_storeChecked = true;
        const QByteArray path = m_store.objectPath(sha);
        m_inMemory = inMemoryOnly(path.left(path.lastIndexOf('/')));
    }
    return error;
}

bool BackupBatch::isStaged(const QByteArray& sha) const {
    return std::any_of(m_staged.cbegin(), m_staged.cend(),
                       [&](const Staged& staged) { return staged.sha == sha; });
}

int BackupBatch::stageCopy(const QByteArray& bytes, const QByteArray& sha) {
    const QByteArray path = m_store.objectPath(sha);
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
    const bool written = writeAll(fd, bytes);
    const int error = written ? 0 : (errno ? errno : EIO);
    ::close(fd);
    if (error) {
        ::unlink(temp.constData());
        return error;
    }
    m_staged.append({sha, temp});
    return 0;
}

bool BackupBatch::stageLink(const ReplacedFile& file, const QByteArray& sha) {
    const QByteArray path = m_store.objectPath(sha);
    const auto link = [&] {
        return ::linkat(file.folderFd, file.name.constData(), AT_FDCWD, path.constData(), 0) == 0;
    };
    // Linked first and asked after: most originals are new to the store, in a folder it has.
    struct stat st {};
    if (!link()) {
        if (errno == EEXIST)
            return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                   st.st_size == file.status.st_size && st.st_nlink == 1;
        if (errno != ENOENT || makeFolders(path.left(path.lastIndexOf('/'))) != 0 || !link())
            return false;
    }
    const Staged linked{sha, {}, file.status.st_dev, file.status.st_ino};
    // The name may have been given to another file, or the file written, since it was read.
    if (::lstat(path.constData(), &st) != 0 || !sameFileAsRead(st, file.status)) {
        takeBack(linked);
        return false;
    }
    m_staged.append(linked);
    return true;
}

// Nothing refers to an object before it is flushed: a copy's temporary file goes, and so does a
// link, unless another process has put an object of its own under the name meanwhile.
void BackupBatch::takeBack(const Staged& staged) const {
    if (!staged.temp.isEmpty()) {
        ::unlink(staged.temp.constData());
        return;
    }
    const QByteArray path = m_store.objectPath(staged.sha);
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && st.st_dev == staged.dev && st.st_ino == staged.ino)
        ::unlink(path.constData());
}

QByteArray BackupBatch::folderOf(const Staged& staged) const {
    const QByteArray path = m_store.objectPath(staged.sha);
    return path.left(path.lastIndexOf('/'));
}

// The folders that hold a link's new name: flushed in the first round, as the names exist.
QByteArrayList BackupBatch::linkFolders() const {
    QByteArrayList folders;
    QSet<QByteArray> seen;
    for (const Staged& staged : m_staged)
        if (staged.temp.isEmpty())
            if (const QByteArray folder = folderOf(staged); !seen.contains(folder)) {
                seen.insert(folder);
                folders.append(folder);
            }
    return folders;
}

QByteArrayList BackupBatch::toFlush() const {
    if (m_inMemory) return {};
    QByteArrayList paths;
    for (const Staged& staged : m_staged)
        paths.append(staged.temp.isEmpty() ? m_store.objectPath(staged.sha) : staged.temp);
    return paths + linkFolders();
}

QHash<QByteArray, int> BackupBatch::finish(const QList<int>& flushed) {
    const QByteArrayList firstFolders = linkFolders();
    const QList<Staged> staged = std::exchange(m_staged, {});
    // What was not flushed failed, unless the store keeps nothing to flush.
    const int unflushed = m_inMemory ? 0 : EIO;
    QHash<QByteArray, int> folderErrors;
    for (qsizetype f = 0; f < firstFolders.size(); ++f)
        if (const int error = flushed.value(staged.size() + f, unflushed))
            folderErrors.insert(firstFolders[f], error);

    // A copy is named only once its bytes are on disk; then its folder is flushed.
    QHash<QByteArray, int> failed;
    QByteArrayList copyFolders;
    QList<qsizetype> copies;
    for (qsizetype i = 0; i < staged.size(); ++i) {
        const Staged& object = staged[i];
        int error = flushed.value(i, unflushed);
        if (!error && object.temp.isEmpty()) error = folderErrors.value(folderOf(object), 0);
        if (!error && !object.temp.isEmpty() &&
            ::rename(object.temp.constData(), m_store.objectPath(object.sha).constData()) != 0)
            error = errno;
        if (error) {
            takeBack(object);
            failed.insert(object.sha, error);
        } else if (!object.temp.isEmpty()) {
            copies.append(i);
            if (!copyFolders.contains(folderOf(object))) copyFolders.append(folderOf(object));
        }
    }
    const QList<int> synced =
        m_inMemory ? QList<int>(copyFolders.size(), 0) : flushPathsTogether(copyFolders);
    for (const qsizetype i : copies)
        if (const int error = synced[copyFolders.indexOf(folderOf(staged[i]))])
            failed.insert(staged[i].sha, error);
    return failed;
}

QHash<QByteArray, int> BackupBatch::flush() {
    return finish(flushPathsTogether(toFlush()));
}

QList<RewriteResult> commitBackedUp(RewriteGroup& group, std::optional<BackupBatch>& backup,
                                    const QByteArrayList& shas) {
    if (!backup) return group.commit();
    const auto backedUp = [&](const QList<int>& flushed, QList<RewriteResult>& results) {
        const QHash<QByteArray, int> failed = backup->finish(flushed);
        for (qsizetype i = 0; i < results.size(); ++i)
            if (const auto error = failed.constFind(shas[i]); error != failed.cend())
                results[i] = {FileProblem::NoBackup, *error};
    };
    return group.commit(backup->toFlush(), backedUp);
}

} // namespace pw
