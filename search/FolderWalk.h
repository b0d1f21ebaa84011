#pragma once

#include "history/HistoryLocation.h"
#include "platform/FileStatus.h"
#include "search/TargetSearch.h"

#include <QByteArray>

namespace pw {

// What a handler of a folder notification asks to skip.
enum TFolderIgnore {
    fiNone,              // files searched, subfolders walked
    fiJustThis,          // files skipped, subfolders walked
    fiJustSubfolders,    // files searched, subfolders skipped
    fiThisAndSubfolders, // both skipped
};

// What the walk reads and calls while it runs.
class TWalkHost {
public:
    // Read from any thread the walk runs helpers on.
    virtual bool Aborted() const = 0;
    // Whether each entry's status must be read before AcceptFile.
    virtual bool NeedsFindData() const = 0;
    virtual TFolderIgnore DoFolderChange(const QByteArray& Folder) = 0;
    virtual bool AcceptFile(const QByteArray& Folder, const TSearchRec& FileInfo) = 0;
    // FileInfo holds its find data.
    virtual void DoFileMatch(const QByteArray& Folder, const TSearchRec& FileInfo) = 0;
    // A symbolic link to a folder where the walk would have entered a subfolder (its full path,
    // no "/" at the end): the walk does not follow it.
    virtual void DoLinkNotFollowed(const QByteArray& Path) { (void)Path; }

protected:
    ~TWalkHost() = default;
};

// The depth-first, pre-order walk of the target folders: a folder's notification, then its
// files mask by mask (last mask first, entries in the order the system lists them), then each
// subfolder's tree. Symbolic links to folders are never entered, nor the history store when it
// lies inside a target folder.
class TFolderWalk {
public:
    TFolderWalk(const TTargetFolderList& Targets, TWalkHost& Host);

    void SearchAllFolders();
    void SearchFolder(const QByteArray& Folder);

    // 0 between target folders, 1 in a target folder itself, one more per level below.
    int CurrentLevel() const { return m_currentLevel; }
    const TTargetFolder* CurrentFolder() const { return m_currentFolder; }

private:
    void searchFiles(const QByteArray& folder, const class TFolderListing& listing);
    void searchSubfolders(const QByteArray& folder, const class TFolderListing& listing);

    const TTargetFolderList& m_targets;
    TWalkHost& m_host;
    int m_currentLevel = 0;
    const TTargetFolder* m_currentFolder = nullptr;
    const HistoryFolders m_store = HistoryFolders::current();
};

} // namespace pw
