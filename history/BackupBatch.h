#pragma once

#include "cleaning/FileRewrite.h"
#include "history/BackupStore.h"
#include "platform/BeneathRoot.h"
#include "platform/RegularFile.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>

#include <optional>

#include <sys/stat.h>

namespace pw {

// A file about to be replaced by a rename: its folder, its name, its descriptor and status.
struct ReplacedFile {
    int folderFd;
    const QByteArray& name;
    int fd;
    const struct stat& status;
};

// The file read as file in folder, when it will be replaced by a rename: it has one name (a
// file with several is rewritten in place).
std::optional<ReplacedFile> replacedFile(const FolderBeneath& folder, const RegularFile& file);

// The originals of one group of rewrites, kept in a backup store together: each is staged at
// once, and all of them go on disk in one round of flushes before any file of the group is
// replaced, so a burst of backups does not cost a round of flushes each. Used by one thread at a
// time; several batches may fill one store at once.
class BackupBatch {
public:
    explicit BackupBatch(QByteArray storeFolder)
        : m_store(std::move(storeFolder)) {}
    ~BackupBatch(); // what was staged and never flushed is taken back
    BackupBatch(const BackupBatch&) = delete;
    BackupBatch& operator=(const BackupBatch&) = delete;

    // Stages before, whose hash is sha (nothing to stage when the object exists). A file that
    // will be replaced, not rewritten in place, becomes an object as a second name of itself
    // where the file system allows (its bytes then live on in the store alone, and nothing is
    // copied); any other original is copied. The errno of a failure, 0 on success.
    int keep(const QByteArray& before, const QByteArray& sha,
             const std::optional<ReplacedFile>& file = std::nullopt);
    bool isEmpty() const { return m_staged.isEmpty(); }

    // The two steps of a flush, for a caller that flushes other files in the same round: the
    // files and folders to flush first, then, given the errno of each, the rest of the work
    // (each copy named and its folder flushed). The errno of each hash whose object could not be
    // made safe, which is then not in the store; empty when all are.
    QByteArrayList toFlush() const;
    QHash<QByteArray, int> finish(const QList<int>& flushed);
    // Both steps.
    QHash<QByteArray, int> flush();

private:
    struct Staged {
        QByteArray sha;
        QByteArray temp; // a copy's file until it is renamed into place; empty for a link
        dev_t dev = 0;   // a link: the file it is a second name of
        ino_t ino = 0;
    };
    bool isStaged(const QByteArray& sha) const;
    int stageCopy(const QByteArray& bytes, const QByteArray& sha);
    bool stageLink(const ReplacedFile& file, const QByteArray& sha);
    void takeBack(const Staged& staged) const;
    QByteArray folderOf(const Staged& staged) const;
    QByteArrayList linkFolders() const;

    BackupStore m_store;
    QList<Staged> m_staged;
    bool m_storeChecked = false;
    bool m_inMemory = false; // the store is on tmpfs: nothing to flush
};

// Commits group with the originals staged in backup flushed in the same round (shas[i] the hash
// of rewrite i's original): a rewrite whose original did not reach the disk is not done, and gets
// FileProblem::NoBackup. Without a backup, the group alone.
QList<RewriteResult> commitBackedUp(RewriteGroup& group, std::optional<BackupBatch>& backup,
                                    const QByteArrayList& shas);

} // namespace pw
