#pragma once

#include <QByteArray>
#include <QList>

namespace pw {

// fsync of many files at once from a few threads: the file system commits their metadata in one
// go and the disk's cache flushes are shared, where one fsync after the other would each wait
// for a flush of its own. Files and folders are given by descriptor, or by path (each then
// opened read-only, without following a symbolic link, for its flush). The errno of each, those
// of fds first, then those of paths; 0 when it is on disk.
QList<int> flushTogether(const QList<int>& fds, const QByteArrayList& paths = {});
QList<int> flushPathsTogether(const QByteArrayList& paths);

// Whether the file system that holds fd (or path) keeps its files in memory only (tmpfs,
// ramfs): a flush there writes nothing, so there is nothing to wait for.
bool inMemoryOnly(int fd);
bool inMemoryOnly(const QByteArray& path);

// Tests only: each flush gets fault(path) as its errno when that is not 0 (path empty for a
// descriptor), and no file system counts as kept in memory meanwhile. nullptr: no fault.
void setFlushFaultForTests(int (*fault)(const QByteArray& path));

} // namespace pw
