#pragma once

#include "platform/BeneathRoot.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace pw {

struct RewriteResult {
    FileProblem problem = FileProblem::None;
    int errnum = 0;
    bool ok() const { return problem == FileProblem::None; }
};

// What a restore gives the new content instead of the replaced file's own mode and owner: the
// original's, with its modification time.
struct KeptAttributes {
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    struct timespec mtime {};
};

// Replaces the content of the regular file folder.name(), read earlier as `before` with status
// `read`, by `after`, so that every reader sees either the whole old content or the whole new one.
// Every step goes through the folder's descriptor, never through a path looked up again:
// - one name: the new bytes go to a temporary file beside it (".pagewarden-XXXXXX.tmp", which no
//   web mask matches), created exclusively, given the file's owner and mode, flushed to disk and
//   renamed over it;
// - several hard links: a flushed copy of the old bytes is kept beside it while the file is
//   rewritten in place, so every name gets the new bytes; the copy goes once the rewrite is
//   flushed.
// Refuses, leaving everything as it was, when the path is no longer that file or was written
// since `read`, and when the owner cannot be kept. Each temporary file is held under an exclusive
// flock while in use, so a later run can tell a crash's leftover from a live one. The copy of the
// old bytes is named ".pagewarden-i<inode>-XXXXXX.tmp" after the file it belongs to.
// With give, the new content gets that mode, owner and modification time instead.
RewriteResult rewriteFile(FolderBeneath folder, const struct stat& read, const QByteArray& before,
                          const QByteArray& after,
                          const std::optional<KeptAttributes>& give = std::nullopt);

// Several rewrites done together, so that the file system can commit them at once: each file's
// new bytes are written to its temporary file as it is added, and commit() then goes in phases:
// flush every temporary file together, then (every new file complete on disk, no original
// touched yet) replace each file that is still as read. Every
// promise of rewriteFile holds for each file: a file changed since it was read is left as its
// writer left it, and after a crash each file holds its original bytes or its new ones. A file
// with several hard links is rewritten in place, as rewriteFile does, in the replace phase.
class RewriteGroup {
public:
    RewriteGroup();
    ~RewriteGroup(); // the temporary files of rewrites never committed are removed
    RewriteGroup(const RewriteGroup&) = delete;
    RewriteGroup& operator=(const RewriteGroup&) = delete;

    // Takes the folder of the file; the rewrite's result comes from commit() at this index.
    qsizetype add(FolderBeneath folder, const struct stat& read, const QByteArray& before,
                  const QByteArray& after,
                  const std::optional<KeptAttributes>& give = std::nullopt);
    qsizetype size() const;
    qsizetype bytes() const { return m_bytes; } // held in memory until commit

    // Runs once every new file is on disk and before any original is touched, with the errno
    // of each path flushed along (see commit) and the results so far in the order added: a
    // rewrite given a result that is not ok is not done.
    using BeforeReplace =
        std::function<void(const QList<int>& flushedAlong, QList<RewriteResult>& results)>;
    // The results in the order added; the group is empty again afterwards. flushAlong names the
    // files and folders that must be on disk before any file is replaced (the originals kept in
    // a backup store): they are flushed in the same round as the new files.
    QList<RewriteResult> commit(const QByteArrayList& flushAlong = {},
                                const BeforeReplace& beforeReplace = {});

private:
    struct Rewrite;
    QList<int> flushAll(const QByteArrayList& flushAlong);
    void stopRefused(const QList<int>& flushedAlong, const BeforeReplace& beforeReplace);
    void replaceAll();
    QList<RewriteResult> results() const;

    std::vector<Rewrite> m_rewrites;
    qsizetype m_bytes = 0;
};

// Crash tests only: called with the temporary file's path once it holds the new bytes and just
// before it replaces the original.
void setBeforeReplaceHook(void (*hook)(const QByteArray& tempPath));

} // namespace pw
