#pragma once

#include "common/EnumSet.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace pw {

enum TFileOperation { foAdded, foRemoved, foModified, foRenamed };

// FileName1 is the full path of the changed entry (for a rename, its old path); FileName2 is the
// new full path of a rename and empty otherwise.
using TFileDealMethod = std::function<void(
    TFileOperation FileOperation, const QByteArray& FileName1, const QByteArray& FileName2)>;

// Which kinds of change are reported; member i is bit i of the one-byte set.
enum TNotifyFilter {
    nfFileNameChange,
    nfDirNameChange,
    nfAttributeChange,
    nfSizeChange,
    nfWriteChange,
    nfAccessChange,
    nfCreationDateChange,
    nfSecurityChange,
};
using TNotifyFilters = EnumSet<TNotifyFilter>;

// The filter flag word: the OR of the members' Windows FILE_NOTIFY_CHANGE_* values.
namespace NotifyFlag {
inline constexpr quint32 FileName = 0x001;
inline constexpr quint32 DirName = 0x002;
inline constexpr quint32 Attributes = 0x004;
inline constexpr quint32 Size = 0x008;
inline constexpr quint32 LastWrite = 0x010;
inline constexpr quint32 LastAccess = 0x020;
inline constexpr quint32 Creation = 0x040;
inline constexpr quint32 Security = 0x100; // not 0x080
} // namespace NotifyFlag

constexpr quint32 NotifyFilterWord(TNotifyFilters filters) {
    constexpr quint32 values[8] = {NotifyFlag::FileName,   NotifyFlag::DirName,
                                   NotifyFlag::Attributes, NotifyFlag::Size,
                                   NotifyFlag::LastWrite,  NotifyFlag::LastAccess,
                                   NotifyFlag::Creation,   NotifyFlag::Security};
    quint32 word = 0;
    for (int i = 0; i < 8; ++i)
        if (filters.contains(static_cast<TNotifyFilter>(i))) word |= values[i];
    return word;
}

// One change as the watcher thread hands it over: an action with the Windows numbering of change
// records, and the entry's name relative to the watched folder.
enum TChangeAction : quint32 {
    caNone = 0,
    caAdded = 1,
    caRemoved = 2,
    caModified = 3,
    caRenamedOldName = 4,
    caRenamedNewName = 5,
};
struct TChangeRecord {
    quint32 Action = caNone;
    QByteArray FileName;
    bool operator==(const TChangeRecord&) const = default;
};

// What the owner is told when watching cannot be complete; text is a line ready for a log.
enum TWatchNoticeKind {
    wnWatchLimit,    // a folder could not be watched: fs.inotify.max_user_watches reached
    wnInstanceLimit, // nothing could be watched: fs.inotify.max_user_instances reached
    wnQueueOverflow, // the kernel dropped changes: its queue limit reached (the reason names it)
    wnWatchFailed,   // a folder could not be watched for another reason
    wnThreadFailed,  // the watcher thread could not be created
    wnBackendChosen, // fanotify cannot be used here, so inotify watches (the reason says why)
};
struct TWatchNotice {
    TWatchNoticeKind Kind = wnWatchFailed;
    QByteArray Path;
    QByteArray Text;
};
using TWatchNoticeEvent = std::function<void(const TWatchNotice& notice)>;

TWatchNotice MakeWatchNotice(TWatchNoticeKind kind, const QByteArray& path,
                             const QByteArray& reason = {});

// How a watcher learns of changes: fanotify (one mark per file system, no watch per folder) when
// the process may use it, else inotify; or one of them forced.
enum TWatchBackend { wbAuto, wbInotify, wbFanotify };

// One hand-over from the watcher thread to the owner's thread.
struct TChangeBatch {
    QByteArray Folder; // the watched folder, ending in "/", or empty when names are full paths
    QList<TChangeRecord> Records;
    QList<TWatchNotice> Notices;
    bool empty() const { return Records.isEmpty() && Notices.isEmpty(); }
};

} // namespace pw
