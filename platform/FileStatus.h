#pragma once

#include "platform/FileTimes.h"

#include <QByteArray>

namespace pw {

// The attribute word of a directory entry: these bits and no others are ever set.
inline constexpr quint32 FILE_ATTRIBUTE_READONLY = 0x01;       // owner write bit clear
inline constexpr quint32 FILE_ATTRIBUTE_HIDDEN = 0x02;         // name begins with "."
inline constexpr quint32 FILE_ATTRIBUTE_SYSTEM = 0x04;         // never set on Linux
inline constexpr quint32 FILE_ATTRIBUTE_DIRECTORY = 0x10;      // a folder, or a link to one
inline constexpr quint32 FILE_ATTRIBUTE_ARCHIVE = 0x20;        // every regular file
inline constexpr quint32 FILE_ATTRIBUTE_TEMPORARY = 0x100;     // never set on Linux
inline constexpr quint32 FILE_ATTRIBUTE_SPARSE_FILE = 0x200;   // fewer blocks than the size needs
inline constexpr quint32 FILE_ATTRIBUTE_REPARSE_POINT = 0x400; // a symbolic link
inline constexpr quint32 FILE_ATTRIBUTE_COMPRESSED = 0x800;    // never set on Linux
inline constexpr quint32 FILE_ATTRIBUTE_OFFLINE = 0x1000;      // never set on Linux
inline constexpr quint32 FILE_ATTRIBUTE_ENCRYPTED = 0x4000;    // never set on Linux

// What the enumeration knows of one entry.
struct TFindData {
    quint32 dwFileAttributes = 0;
    TFileTime ftCreationTime = 0; // birth time where the file system keeps one, else status change
    TFileTime ftLastAccessTime = 0;
    TFileTime ftLastWriteTime = 0;
    quint32 nFileSizeHigh = 0;
    quint32 nFileSizeLow = 0;
};

// The find record of one directory entry, as the folder walk hands it to criteria and handlers.
struct TSearchRec {
    TDosDateTime Time = 0; // last-write time, local, packed
    qint64 Size = 0;       // the full size in bytes
    quint32 Attr = 0;      // the attribute word
    QByteArray Name;       // the entry's name, without its folder
    TFindData FindData;
    // False while only the name and the kind of entry are known (attributes from the entry type
    // alone); ReadFindData completes the record.
    bool FindDataRead = false;
};

// The attribute word that the name and the entry type alone give: directory, hidden, archive,
// reparse point. dirFd/name locate the entry (for a symbolic link, whether it points to a folder).
quint32 QuickAttributes(int dirFd, const char* name, unsigned char direntType);

// Fills every field of rec from the entry's status (not following a symbolic link), given the
// folder's descriptor (or AT_FDCWD with a full path). False when the entry cannot be examined;
// rec keeps its name and quick attributes then.
bool ReadFindData(int dirFd, const char* path, TSearchRec& rec);

} // namespace pw
