#include "platform/FileStatus.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace pw {

namespace {

bool isHiddenName(const QByteArray& name) {
    return name.startsWith('.');
}

bool pointsToFolder(int dirFd, const char* path) {
    struct stat st {};
    return ::fstatat(dirFd, path, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

TFileTime fileTime(const struct statx_timestamp& t) {
    return FileTimeFromTimespec(static_cast<std::time_t>(t.tv_sec), t.tv_nsec);
}

} // namespace

quint32 QuickAttributes(int dirFd, const char* name, unsigned char direntType) {
    quint32 attr = name[0] == '.' ? FILE_ATTRIBUTE_HIDDEN : 0;
    switch (direntType) {
    case DT_DIR:
        return attr | FILE_ATTRIBUTE_DIRECTORY;
    case DT_REG:
        return attr | FILE_ATTRIBUTE_ARCHIVE;
    case DT_LNK:
        attr |= FILE_ATTRIBUTE_REPARSE_POINT;
        return pointsToFolder(dirFd, name) ? attr | FILE_ATTRIBUTE_DIRECTORY : attr;
    default:
        return attr;
    }
}

bool ReadFindData(int dirFd, const char* path, TSearchRec& rec) {
    struct statx sx {};
    if (::statx(dirFd, path, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME,
                &sx) != 0)
        return false;

    quint32 attr = isHiddenName(rec.Name) ? FILE_ATTRIBUTE_HIDDEN : 0;
    if (!(sx.stx_mode & S_IWUSR)) attr |= FILE_ATTRIBUTE_READONLY;
    if (S_ISDIR(sx.stx_mode)) {
        attr |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISREG(sx.stx_mode)) {
        attr |= FILE_ATTRIBUTE_ARCHIVE;
        if (sx.stx_blocks * 512 < sx.stx_size) attr |= FILE_ATTRIBUTE_SPARSE_FILE;
    } else if (S_ISLNK(sx.stx_mode)) {
        attr |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (pointsToFolder(dirFd, path)) attr |= FILE_ATTRIBUTE_DIRECTORY;
    }

    TFindData& fd = rec.FindData;
    fd.dwFileAttributes = attr;
    fd.ftCreationTime =
        (sx.stx_mask & STATX_BTIME) ? fileTime(sx.stx_btime) : fileTime(sx.stx_ctime);
    fd.ftLastAccessTime = fileTime(sx.stx_atime);
    fd.ftLastWriteTime = fileTime(sx.stx_mtime);
    fd.nFileSizeHigh = static_cast<quint32>(sx.stx_size >> 32);
    fd.nFileSizeLow = static_cast<quint32>(sx.stx_size);

    rec.Attr = attr;
    rec.Size = static_cast<qint64>(sx.stx_size);
    rec.Time = FileTimeToDosDateTime(fd.ftLastWriteTime);
    rec.FindDataRead = true;
    return true;
}

} // namespace pw
