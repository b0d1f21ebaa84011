#pragma once

#include "platform/FileStatus.h"
#include "search/SearchCriteria.h"

#include <QByteArray>
#include <QByteArrayList>

#include <memory>
#include <vector>

namespace pw {

// One folder to walk with its own masks, recursion and depth limits.
struct TTargetFolder {
    QByteArray Path;          // full path ending with "/"
    bool Recursive = false;   // descend into subfolders
    QByteArrayList FileMasks; // enumerated in this folder, last to first; duplicates allowed
    quint16 MinLevel = 0;     // files only at this depth or deeper (the folder itself is depth 1)
    quint16 MaxLevel = 0;     // no descent from this depth on; 0 = unlimited
};

// The target folders, newest first (the walk runs from the last to the first, so folders are
// walked in order of first appearance), and the exclusion items.
class TTargetFolderList {
public:
    // The folder for Path after expansion to a full path ending with "/": the existing one, or a
    // new one inserted at the front.
    TTargetFolder& AddFolder(const QByteArray& Path);
    // The index of the folder whose Path equals Path byte for byte, or -1.
    int IndexOfFolder(const QByteArray& Path) const;
    // Whether an exclusion item applies to entry Name of Folder (items tested last to first).
    bool IsExcluded(const QByteArray& Folder, const QByteArray& Name) const;

    int Count() const { return static_cast<int>(m_folders.size()); }
    const TTargetFolder& operator[](int i) const { return *m_folders[static_cast<size_t>(i)]; }

    QByteArrayList ExcludedFiles;

private:
    std::vector<std::unique_ptr<TTargetFolder>> m_folders;
};

// Cuts Text at every ";", trims each piece of bytes up to 0x20, drops empty pieces and pieces
// equal to one already taken ('A'-'Z' folded unless cs is Qt::CaseSensitive); keeps the order.
QByteArrayList SplitList(const QByteArray& Text, Qt::CaseSensitivity cs = Qt::CaseInsensitive);

// A leading "<" is removed and answers false, a leading ">" is removed and answers true;
// otherwise Default.
bool TakeRecursionPrefix(QByteArray& Item, bool Default);

// The absolute form of a path: relative to the current folder, "." and ".." resolved by name,
// symbolic links left as they are. Empty stays empty.
QByteArray ExpandPath(const QByteArray& path);

// One search pass: the target folders and private copies of the criteria, so that edits of the
// component's criteria during a search do not touch it.
class TTargetSearch {
public:
    explicit TTargetSearch(const TSearchCriteria& Criteria);

    // The acceptance test: size, attributes, extended attributes, time stamps, exclusion, then
    // the content scan (the only test that opens the file). FileInfo must hold its find data
    // when NeedsFindData() says so.
    bool Matches(const QByteArray& Folder, const TSearchRec& FileInfo) const;
    // Every test but the content scan.
    bool MatchesWithoutContent(const QByteArray& Folder, const TSearchRec& FileInfo) const;

    // Whether any test looks at more than the name and the kind of entry (size, times, the
    // read-only or sparse bits), so that the walk must read each entry's status first.
    bool NeedsFindData() const { return m_needsFindData; }

    TTargetFolderList TargetFolders;
    TAttributeCriteria Attribute;
    TAttributeCriteriaEx AttributeEx;
    TDateTimeCriteria TimeStamp;
    TSizeCriteria Size;
    TContentCriteria Content;

private:
    void buildFolders(const TFileCriteria& files);

    bool m_needsFindData = true;
};

// The folders a search with these criteria walks from (full paths ending with "/"): every entry
// it reports lies beneath one of them.
QByteArrayList SearchRoots(const TSearchCriteria& Criteria);

} // namespace pw
