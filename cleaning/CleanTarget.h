#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace pw {

// A file to clean and the folder it must lie beneath. The root is opened as named; nothing below
// it is followed, so a folder swapped for a symbolic link on the way leaves the file alone.
struct CleanTarget {
    QByteArray root;
    QByteArray path;

    // A file named by the user: its own folder, as given, is the root.
    static CleanTarget inOwnFolder(const QByteArray& path);
    // The longest of roots that holds path (a search's or a watcher's folders); no root at all
    // when none does, and such a target is refused.
    static CleanTarget beneath(const QByteArrayList& roots, const QByteArray& path);
};

} // namespace pw
