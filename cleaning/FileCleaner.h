#pragma once

#include "cleaning/CleanTarget.h"
#include "cleaning/CleanText.h"
#include "cleaning/LeftReason.h"
#include "platform/BeneathRoot.h"
#include "platform/RegularFile.h"

#include <QByteArray>
#include <QList>
#include <QSet>

#include <functional>
#include <memory>
#include <sys/stat.h>

namespace pw {

class HistoryJob;
class TPcreRegEx;
struct RewriteResult;

enum class CleanOutcome {
    Cleaned,   // rewritten with the cleaned bytes (a dry run: would be)
    Unchanged, // its bytes are already what cleaning gives
    Failed,    // left exactly as it was for a reason; see left, problem or ruleError
};

struct CleanReport {
    CleanOutcome outcome = CleanOutcome::Unchanged;
    LeftReason left = LeftReason::None; // why it was left (Failed only)
    FileProblem problem = FileProblem::None;
    int errnum = 0;
    QByteArray ruleError; // an empty or invalid rule (see describeRuleError)
    long long ruleErrorOffset = -1;
    QByteArray rulePcreMessage; // PCRE's own text of ruleError
    // Every copy of an element text removed, in the order found (a dry run: that would be).
    QList<QByteArray> removed;
    // False when a line was left as it was because the rule ran out of matching limits on it;
    // everything else in the file was cleaned.
    bool complete = true;
    QByteArray historyWarning; // cleaned, but its journal record could not be written
    QByteArrayList leftovers;  // what became of a crash's temporary files in its folder

    QByteArray reason() const; // why it failed, for messages
};

enum class CleanMode { Write, DryRun };

// Cleans one file: reads it, computes its cleaned bytes (see cleanText) and, only when they
// differ, replaces it atomically with mode and owner kept (see rewriteFile), every step through
// the descriptor of its folder opened beneath the target's root. Symbolic links (the file or a
// folder on its way below the root), folders, special files, read-only files, missing files and
// files with a binary signature (see hasBinarySignature) are left unchanged and reported.
// A rule that does not compile is reported before the file is opened. Safe to call from any
// thread: each call has its own matcher.
CleanReport cleanFile(const CleanTarget& target, const QByteArray& rule,
                      const KeywordSource& keyword, CleanMode mode = CleanMode::Write);

// Cleans files one after the other with one matcher, so that a run of files with the same rule
// compiles it once. Used by one thread at a time. The first time it writes in a folder, it
// sweeps the temporary files a crash left there (see sweepLeftovers).
// With a history job, every rewrite is undoable: the original bytes are kept in the backup
// store before the file is replaced (a file whose backup cannot be written is left unchanged,
// FileProblem::NoBackup), and the rewrite is journaled after it.
class FileCleaner {
public:
    FileCleaner();
    ~FileCleaner();
    CleanReport clean(const CleanTarget& target, const QByteArray& rule,
                      const KeywordSource& keyword, CleanMode mode = CleanMode::Write);
    // Called on the cleaning thread as reports become final: the first `settled` of reports are.
    using Settled = std::function<void(const QList<CleanReport>& reports, qsizetype settled)>;
    // Called on the cleaning thread once the targets given are all prepared: more of them, none
    // to end.
    using MoreTargets = std::function<QList<CleanTarget>()>;
    // Cleans every target as clean() does, but their rewrites go together (see RewriteGroup):
    // the new bytes of many files are written, then flushed, then put in place, so a disk
    // commits them at once. With more, a long job goes on with the targets it gives, until it
    // gives none while nothing is left to commit. Reports in the order of the targets.
    QList<CleanReport> cleanTogether(const QList<CleanTarget>& targets, const QByteArray& rule,
                                     const KeywordSource& keyword, const Settled& settled = {},
                                     const MoreTargets& more = {});

    // Cleans files with a binary signature too: only for files the user named and asked for.
    void setBinaryAllowed(bool allowed) { m_binaryAllowed = allowed; }
    // Set between files; none switches the backup off.
    void setHistory(std::shared_ptr<HistoryJob> history) { m_history = std::move(history); }
    const std::shared_ptr<HistoryJob>& history() const { return m_history; }
    // Folders beneath these trees are not swept on first write: their sweep was done already
    // (monitoring sweeps its trees when it starts).
    void setSweptTrees(QByteArrayList roots) { m_sweptTrees = std::move(roots); }

private:
    // What the journal record of a rewrite needs once the file is replaced.
    struct Pending {
        QByteArray root, path, before, sha, after;
        struct stat status {};
    };
    // Rewrites waiting for one commit, with their reports.
    struct Group;

    class Run;
    class CommitThread;

    QList<CleanReport> cleanAll(const QList<CleanTarget>& targets, const QByteArray& rule,
                                const KeywordSource& keyword, CleanMode mode,
                                const Settled& settled = {}, const MoreTargets& more = {});
    // Everything up to the rewrite, which it adds to group.
    CleanReport prepare(const CleanTarget& target, const QByteArray& rule,
                        const KeywordSource& keyword, CleanMode mode, Group& group);
    // The originals and the new bytes flushed, then the files replaced, then their records
    // written; each report of the group settled.
    void commit(Group& group);
    void settle(CleanReport& report, const RewriteResult& written, const Pending& pending);

    std::unique_ptr<TPcreRegEx> m_matcher;
    OpenRoots m_roots; // of the group being prepared
    std::unique_ptr<CommitThread> m_committer;
    bool m_binaryAllowed = false;
    std::shared_ptr<HistoryJob> m_history;
    bool swept(const QByteArray& folder) const;

    QSet<QByteArray> m_swept;
    QByteArrayList m_sweptTrees;
};

} // namespace pw
