#include "history/HistoryLocation.h"

#include "search/TargetSearch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

const QByteArray MachineFolder = "/var/lib/pagewarden/history";

QByteArray userFolder() {
    QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.isEmpty()) state = qgetenv("HOME") + "/.local/state";
    return state + "/pagewarden/history";
}

// The machine folder, or the nearest folder above it that exists, is writable by this user.
bool machineWritable() {
    QByteArray folder = MachineFolder;
    while (!folder.isEmpty()) {
        if (::access(folder.constData(), F_OK) == 0)
            return ::access(folder.constData(), W_OK | X_OK) == 0;
        folder.truncate(folder.lastIndexOf('/'));
    }
    return false;
}

} // namespace

QByteArray historyFolder() {
    const QByteArray fromEnv = qgetenv("PAGEWARDEN_HISTORY");
    if (!fromEnv.isEmpty()) return fromEnv;
    return machineWritable() ? MachineFolder : userFolder();
}

HistoryFolders HistoryFolders::current() {
    HistoryFolders folders;
    const QByteArray fromEnv = qgetenv("PAGEWARDEN_HISTORY");
    QByteArrayList candidates;
    if (fromEnv.isEmpty())
        candidates << MachineFolder << userFolder();
    else
        candidates << fromEnv;
    for (QByteArray path : candidates) {
        path = ExpandPath(path);
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        folders.m_paths.append(path);
        struct stat st {};
        if (::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            folders.m_ids.append({path.mid(path.lastIndexOf('/') + 1), st.st_dev, st.st_ino});
    }
    return folders;
}

bool HistoryFolders::contains(int dirFd, const char* name) const {
    for (const Id& id : m_ids) {
        // The name is compared first so that a walk pays for a status only on a likely match.
        if (id.name != name) continue;
        struct stat st {};
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == id.dev &&
            st.st_ino == id.ino)
            return true;
    }
    return false;
}

bool HistoryFolders::containsPath(const QByteArray& path) const {
    QByteArray folder = path;
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    if (m_paths.contains(folder)) return true;
    const QByteArray name = folder.mid(folder.lastIndexOf('/') + 1);
    for (const Id& id : m_ids) {
        if (id.name != name) continue;
        struct stat st {};
        if (::lstat(folder.constData(), &st) == 0 && st.st_dev == id.dev && st.st_ino == id.ino)
            return true;
    }
    return false;
}

} // namespace pw
