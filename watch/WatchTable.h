#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

namespace pw {

// The folders one inotify instance watches: watch descriptor to the folder's path relative to the
// watched folder ("" for the watched folder itself, otherwise ending in "/").
class TWatchTable {
public:
    void insert(int wd, const QByteArray& relative) { m_folders.insert(wd, relative); }
    const QByteArray* folder(int wd) const;
    bool contains(int wd) const { return m_folders.contains(wd); }
    void forget(int wd) { m_folders.remove(wd); }
    QList<int> descriptors() const { return m_folders.keys(); }
    void clear() { m_folders.clear(); }

    // A folder renamed within the tree: it and every folder under it take the new path.
    void rename(const QByteArray& from, const QByteArray& to);
    // A folder gone from the tree: forgets it and every folder under it, returning their watches.
    QList<int> takeTree(const QByteArray& relative);

private:
    QHash<int, QByteArray> m_folders;
};

} // namespace pw
