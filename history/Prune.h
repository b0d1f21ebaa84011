#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace pw {

struct PruneLimits {
    std::optional<QDateTime> olderThan; // jobs started before this go
    std::optional<qint64> maxBytes;     // then the oldest jobs go until the store fits
};

struct PruneResult {
    int jobsRemoved = 0;
    int objectsRemoved = 0;
    qint64 bytesFreed = 0;
    int error = 0; // errno of a journal that could not be rewritten; nothing removed then
};

// Removes old jobs from the journal of the store in folder, then every backup no remaining
// record needs. Backups younger than an hour stay whatever the journal says: a rewrite running
// in another process keeps its backup before it writes the record.
PruneResult pruneHistory(const QByteArray& folder, const PruneLimits& limits);

} // namespace pw
