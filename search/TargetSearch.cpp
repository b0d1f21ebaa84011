#include "search/TargetSearch.h"

#include "common/Text.h"
#include "search/Wildcards.h"

#include <QByteArrayView>

#include <cerrno>

#include <unistd.h>

namespace pw {

namespace {

QByteArray currentFolder() {
    QByteArray buffer(4096, Qt::Uninitialized);
    while (::getcwd(buffer.data(), static_cast<size_t>(buffer.size())) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
}

void setRecursionAndDepth(TTargetFolder& folder, bool recursive, const TFileCriteria& files) {
    folder.Recursive = recursive;
    folder.MinLevel = files.MinLevel();
    folder.MaxLevel = files.MaxLevel();
}

} // namespace

QByteArrayList SplitList(const QByteArray& Text, Qt::CaseSensitivity cs) {
    QByteArrayList result;
    QByteArrayList keys;
    for (const QByteArray& piece : Text.split(';')) {
        QByteArray item = trimmed(piece);
        if (item.isEmpty()) continue;
        QByteArray key = cs == Qt::CaseSensitive ? item : lowerAscii(item);
        if (keys.contains(key)) continue;
        keys.append(std::move(key));
        result.append(std::move(item));
    }
    return result;
}

bool TakeRecursionPrefix(QByteArray& Item, bool Default) {
    if (Item.startsWith('<')) {
        Item.remove(0, 1);
        return false;
    }
    if (Item.startsWith('>')) {
        Item.remove(0, 1);
        return true;
    }
    return Default;
}

QByteArray ExpandPath(const QByteArray& path) {
    if (path.isEmpty()) return {};
    const QByteArray absolute = path.startsWith('/') ? path : currentFolder() + '/' + path;
    QByteArrayList parts;
    for (const QByteArray& part : absolute.split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    QByteArray result = '/' + parts.join('/');
    if (path.endsWith('/') && !result.endsWith('/')) result += '/';
    return result;
}

TTargetFolder& TTargetFolderList::AddFolder(const QByteArray& Path) {
    QByteArray full = ExpandPath(Path);
    if (!full.isEmpty() && !full.endsWith('/')) full += '/';
    const int index = IndexOfFolder(full);
    if (index >= 0) return *m_folders[static_cast<size_t>(index)];
    auto folder = std::make_unique<TTargetFolder>();
    folder->Path = std::move(full);
    m_folders.insert(m_folders.begin(), std::move(folder));
    return *m_folders.front();
}

int TTargetFolderList::IndexOfFolder(const QByteArray& Path) const {
    // Byte for byte: folder names differing only in case are different folders here.
    for (size_t i = 0; i < m_folders.size(); ++i)
        if (m_folders[i]->Path == Path) return static_cast<int>(i);
    return -1;
}

bool TTargetFolderList::IsExcluded(const QByteArray& Folder, const QByteArray& Name) const {
    for (qsizetype i = ExcludedFiles.size() - 1; i >= 0; --i)
        if (MatchesExclusion(Folder, Name, ExcludedFiles[i])) return true;
    return false;
}

TTargetSearch::TTargetSearch(const TSearchCriteria& Criteria) {
    buildFolders(Criteria.Files());
    Attribute.Assign(Criteria.Attribute());
    AttributeEx.Assign(Criteria.AttributeEx());
    TimeStamp.Assign(Criteria.TimeStamp());
    Size.Assign(Criteria.Size());
    Content.Assign(Criteria.Content());
    if (Content.PhraseLen() > 0)
        Attribute.setAttributes(Attribute.Attributes() - TFileAttributes{ffDirectory});

    constexpr quint32 unknownBeforeStatus = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SPARSE_FILE;
    m_needsFindData =
        Size.Min() != 0 || Size.Max() != 0 || TimeStamp.hasBounds() || Attribute.ExactMatch() ||
        !(Attribute.storedBits() & FILE_ATTRIBUTE_READONLY) ||
        ((AttributeEx.requiredMask() | AttributeEx.forbiddenMask()) & unknownBeforeStatus) != 0;
}

void TTargetSearch::buildFolders(const TFileCriteria& files) {
    TargetFolders.ExcludedFiles = files.Excluded();

    for (QByteArray item : files.Included()) {
        const bool recursive = TakeRecursionPrefix(item, files.Subfolders());
        const qsizetype cut = item.lastIndexOf('/') + 1;
        QByteArray mask = item.mid(cut);
        TTargetFolder& folder = TargetFolders.AddFolder(item.left(cut));
        folder.FileMasks.append(mask.isEmpty() ? QByteArray("*.*") : mask);
        setRecursionAndDepth(folder, recursive, files);
    }

    QByteArrayList masks = SplitList(files.FileName());
    if (masks.isEmpty()) masks.append("*.*");
    for (QByteArray item : SplitList(files.Location(), Qt::CaseSensitive)) {
        const bool recursive = TakeRecursionPrefix(item, files.Subfolders());
        TTargetFolder& folder = TargetFolders.AddFolder(item);
        folder.FileMasks.append(masks);
        setRecursionAndDepth(folder, recursive, files);
    }
}

bool TTargetSearch::MatchesWithoutContent(const QByteArray& Folder,
                                          const TSearchRec& FileInfo) const {
    const TFindData& fd = FileInfo.FindData;
    const qint64 size = static_cast<qint64>(quint64{fd.nFileSizeHigh} << 32 | fd.nFileSizeLow);
    return Size.Matches(size) && Attribute.Matches(FileInfo.Attr) &&
           AttributeEx.Matches(fd.dwFileAttributes) &&
           TimeStamp.Matches(fd.ftCreationTime, fd.ftLastWriteTime, fd.ftLastAccessTime) &&
           !TargetFolders.IsExcluded(Folder, FileInfo.Name);
}

bool TTargetSearch::Matches(const QByteArray& Folder, const TSearchRec& FileInfo) const {
    return MatchesWithoutContent(Folder, FileInfo) && Content.Matches(Folder + FileInfo.Name);
}

QByteArrayList SearchRoots(const TSearchCriteria& Criteria) {
    const TTargetSearch search(Criteria);
    QByteArrayList roots;
    for (int i = 0; i < search.TargetFolders.Count(); ++i)
        roots.append(search.TargetFolders[i].Path);
    return roots;
}

} // namespace pw
