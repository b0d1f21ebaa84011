#pragma once

#include "watch/WatchTypes.h"

namespace pw {

// Turns the records of one batch into notifications, in their order. A record's full path is
// folder (ending in "/") followed by its name, exactly as the file system has it; a record
// without a name gives an empty path. Added, removed and modified records notify at once; a
// rename is one foRenamed notification made of an old-name record and the new-name record after
// it. A new-name record with no old-name record before it notifies nothing, and the old name
// carries over, so two new names after one old name are two renames from it. Other actions
// notify nothing.
void DeliverRecords(const QByteArray& folder, const QList<TChangeRecord>& records,
                    const TFileDealMethod& notify);

} // namespace pw
