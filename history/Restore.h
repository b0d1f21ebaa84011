#pragma once

#include "history/Journal.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include <memory>

namespace pw {

class HistoryJob;

struct RestoreOptions {
    QByteArrayList paths; // only these files (full paths); all of the job's when empty
    bool dryRun = false;
    bool force = false; // also files whose bytes are no longer the ones the job wrote
};

enum class RestoreOutcome {
    Restored,    // its original bytes are back (a dry run: would be)
    Unchanged,   // it already holds its original bytes
    NotRestored, // left as it is; see reason
};

struct RestoreReport {
    QByteArray path;
    RestoreOutcome outcome = RestoreOutcome::Unchanged;
    QByteArray reason;
    QByteArray historyWarning; // restored, but its journal record could not be written
};

// Puts back the original bytes of a job's rewrites, newest first (so a file rewritten several
// times gets its first original), each through the same atomic rewrite as cleaning, opened
// beneath the folder it was cleaned beneath, with the original mode, owner and modification
// time; only where the file still holds the bytes the job wrote, unless forced. A link, a
// folder or a missing file is left alone and reported. With history, the restore is a job of
// its own: the bytes it replaces are kept first and every restore is journaled.
QList<RestoreReport> restoreJob(const QByteArray& storeFolder,
                                const QList<JournalRecord>& jobRecords,
                                const RestoreOptions& options,
                                const std::shared_ptr<HistoryJob>& history);

} // namespace pw
