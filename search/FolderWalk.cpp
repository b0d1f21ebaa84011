#include "search/FolderWalk.h"

#include "search/FolderEnumeration.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace pw {

namespace {

// Restores the depth counter on every way out of a folder, errors included.
class LevelGuard {
public:
    explicit LevelGuard(int& level)
        : m_level(level) {
        ++m_level;
    }
    ~LevelGuard() { --m_level; }
    LevelGuard(const LevelGuard&) = delete;
    LevelGuard& operator=(const LevelGuard&) = delete;

private:
    int& m_level;
};

bool filesWanted(TFolderIgnore ignore) {
    return ignore == fiNone || ignore == fiJustSubfolders;
}
bool subfoldersWanted(TFolderIgnore ignore) {
    return ignore == fiNone || ignore == fiJustThis;
}

} // namespace

TFolderWalk::TFolderWalk(const TTargetFolderList& Targets, TWalkHost& Host)
    : m_targets(Targets)
    , m_host(Host) {}

void TFolderWalk::SearchAllFolders() {
    const int count = m_targets.Count();
    for (int i = count - 1; i >= 0 && !m_host.Aborted(); --i) {
        m_currentLevel = 0;
        m_currentFolder = &m_targets[i];
        SearchFolder(m_currentFolder->Path);
    }
}

void TFolderWalk::SearchFolder(const QByteArray& Folder) {
    if (m_host.Aborted()) return;
    const LevelGuard level(m_currentLevel);
    const TFolderIgnore ignore = m_host.DoFolderChange(Folder);
    const bool files = filesWanted(ignore) && m_currentLevel >= m_currentFolder->MinLevel;
    const bool subfolders =
        m_currentFolder->Recursive && subfoldersWanted(ignore) &&
        !(m_currentFolder->MaxLevel != 0 && m_currentLevel >= m_currentFolder->MaxLevel);
    if (!files && !subfolders) return;

    // The folder is listed once and each mask is matched against that list.
    TFolderListing listing(Folder);
    if (files) searchFiles(Folder, listing);
    listing.close();
    if (subfolders && !m_host.Aborted()) searchSubfolders(Folder, listing);
}

void TFolderWalk::searchFiles(const QByteArray& folder, const TFolderListing& listing) {
    const bool needsFindData = m_host.NeedsFindData();
    const QByteArrayList& masks = m_currentFolder->FileMasks;
    for (qsizetype m = masks.size() - 1; m >= 0 && !m_host.Aborted(); --m) {
        for (const TDirEntry& entry : listing.entries()) {
            if (!EnumerationMaskMatch(entry.name, masks[m])) continue;
            TSearchRec rec;
            rec.Name = entry.name;
            rec.Attr = QuickAttributes(listing.fd(), entry.name.constData(), entry.type);
            rec.FindData.dwFileAttributes = rec.Attr;
            if (needsFindData || entry.type == DT_UNKNOWN)
                ReadFindData(listing.fd(), entry.name.constData(), rec);
            if (m_host.AcceptFile(folder, rec)) {
                if (!rec.FindDataRead) ReadFindData(listing.fd(), entry.name.constData(), rec);
                m_host.DoFileMatch(folder, rec);
            }
            if (m_host.Aborted()) break;
        }
    }
}

void TFolderWalk::searchSubfolders(const QByteArray& folder, const TFolderListing& listing) {
    for (const TDirEntry& entry : listing.entries()) {
        // The walk never follows a link, but says where one to a folder leaves the real files.
        if (entry.type == DT_LNK) {
            const QByteArray path = folder + entry.name;
            struct stat st {};
            if (::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                m_host.DoLinkNotFollowed(path);
        }
        if (entry.type != DT_DIR) continue;
        const QByteArray subfolder = folder + entry.name + '/';
        if (m_store.containsPath(subfolder)) continue; // its backups are not the site's files
        SearchFolder(subfolder);
        if (m_host.Aborted()) break;
    }
}

} // namespace pw
