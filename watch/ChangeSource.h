#pragma once

#include "watch/WatchTypes.h"

namespace pw {

// The filters that ask for changes of a file's content, and for changes of its status.
inline constexpr quint32 ContentFilters =
    NotifyFlag::Attributes | NotifyFlag::Size | NotifyFlag::LastWrite;
inline constexpr quint32 StatusFilters =
    NotifyFlag::Attributes | NotifyFlag::Creation | NotifyFlag::Security;
// Records a source reads before it hands them over, and reads on after.
inline constexpr qsizetype MaxBatchRecords = 4096;

// One kernel queue of changes a watcher thread sleeps on: an inotify instance for one folder
// tree, or a fanotify group for several. Built on the owner's thread; from then on used by one
// thread at a time.
class TChangeSource {
public:
    virtual ~TChangeSource() = default;
    // Readable when changes are queued.
    virtual int fd() const = 0;
    // What the records' names are relative to (ending in "/"), or empty when they are full paths.
    virtual const QByteArray& folder() const = 0;
    // Reads what the kernel has queued and adds its records and notices to batch.
    virtual void ReadChanges(TChangeBatch& batch) = 0;
};

} // namespace pw
