#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include <sys/types.h>

namespace pw {

// The folder of the backup store and journal: $PAGEWARDEN_HISTORY when set, else
// /var/lib/pagewarden/history beside the settings store when it can be written, else the
// per-user $XDG_STATE_HOME/pagewarden/history (by default ~/.local/state/...). Nothing is
// created here.
QByteArray historyFolder();

// The folders the store may be in, as they exist now, so that a search or a watch of a tree
// holding the store leaves it out. Taken once when a walk starts.
class HistoryFolders {
public:
    static HistoryFolders current();
    // Whether the entry name of the folder open as dirFd is one of them.
    bool contains(int dirFd, const char* name) const;
    // Whether the folder at path (a trailing "/" allowed) is one of them.
    bool containsPath(const QByteArray& path) const;

private:
    struct Id {
        QByteArray name;
        dev_t dev;
        ino_t ino;
    };
    QList<Id> m_ids;
    QByteArrayList m_paths; // full paths, for a store made after the walk started
};

} // namespace pw
