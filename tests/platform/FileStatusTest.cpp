#include "platform/FileStatus.h"
#include "tests/support/LocalZone.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using pw::test::TempTree;

namespace {

TSearchRec statusOf(const QByteArray& folder, const QByteArray& name) {
    TSearchRec rec;
    rec.Name = name;
    EXPECT_TRUE(ReadFindData(AT_FDCWD, (folder + '/' + name).constData(), rec)) << name.constData();
    return rec;
}

} // namespace

TEST(FileStatus, AttributeWordOfEachKindOfEntry) {
    TempTree tree;
    tree.write("page.htm", "x");
    tree.write("locked.htm", "x", 0444);
    tree.write(".hidden.php", "x");
    tree.mkdir("folder");
    ASSERT_EQ(::symlink("page.htm", tree.path("link.htm").constData()), 0);
    ASSERT_EQ(::symlink("folder", tree.path("folderlink").constData()), 0);
    ASSERT_EQ(::mkfifo(tree.path("pipe").constData(), 0644), 0);
    const int sparse = ::open(tree.path("sparse.bin").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(sparse, 0);
    ASSERT_EQ(::ftruncate(sparse, 1 << 20), 0);
    ::close(sparse);

    struct Case {
        const char* name;
        quint32 attr;
    } const cases[] = {
        {"page.htm", FILE_ATTRIBUTE_ARCHIVE},
        {"locked.htm", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
        {".hidden.php", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
        {"folder", FILE_ATTRIBUTE_DIRECTORY},
        {"link.htm", FILE_ATTRIBUTE_REPARSE_POINT},
        {"folderlink", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"pipe", 0},
        {"sparse.bin", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SPARSE_FILE},
    };
    for (const Case& c : cases) {
        const TSearchRec rec = statusOf(tree.path(), c.name);
        EXPECT_EQ(rec.Attr, c.attr) << c.name;
        EXPECT_EQ(rec.FindData.dwFileAttributes, c.attr) << c.name;
        EXPECT_TRUE(rec.FindDataRead);
    }

    // The quick attributes from the entry type agree where they can know.
    DIR* dir = ::opendir(tree.path().constData());
    ASSERT_NE(dir, nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == ".." || e->d_type == DT_UNKNOWN) continue;
        const quint32 full = statusOf(tree.path(), name).Attr;
        const quint32 unknownBeforeStatus = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SPARSE_FILE;
        EXPECT_EQ(QuickAttributes(::dirfd(dir), e->d_name, e->d_type), full & ~unknownBeforeStatus)
            << e->d_name;
    }
    ::closedir(dir);
}

TEST(FileStatus, SizeAndTimes) {
    const pw::test::LocalZone zone("UTC0");
    TempTree tree;
    const QByteArray path = tree.write("page.htm", QByteArray(1025, 'a'));
    // 2024-07-15 13:30:59.5 written, 2024-07-16 accessed
    const timespec times[2] = {{1721088000, 0}, {1721050259, 500'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);

    const TSearchRec rec = statusOf(tree.path(), "page.htm");
    EXPECT_EQ(rec.Size, 1025);
    EXPECT_EQ(rec.FindData.nFileSizeHigh, 0u);
    EXPECT_EQ(rec.FindData.nFileSizeLow, 1025u);
    EXPECT_EQ(rec.FindData.ftLastWriteTime, FileTimeFromTimespec(1721050259, 500'000'000));
    EXPECT_EQ(rec.FindData.ftLastAccessTime, FileTimeFromTimespec(1721088000, 0));
    EXPECT_NE(rec.FindData.ftCreationTime, 0u);
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(rec.Time), EncodeDateTime(2024, 7, 15, 13, 30, 58, 0));
}

TEST(FileStatus, SizeAboveFourGibibytesKeepsItsHighHalf) {
    TempTree tree;
    const QByteArray path = tree.write("big.bin", "");
    ASSERT_EQ(::truncate(path.constData(), 5LL << 30), 0); // sparse: no space used
    const TSearchRec rec = statusOf(tree.path(), "big.bin");
    EXPECT_EQ(rec.Size, 5LL << 30);
    EXPECT_EQ(rec.FindData.nFileSizeHigh, 1u);
    EXPECT_EQ(rec.FindData.nFileSizeLow, 1u << 30);
}

TEST(FileStatus, MissingEntryIsReported) {
    TSearchRec rec;
    rec.Name = "gone";
    EXPECT_FALSE(ReadFindData(AT_FDCWD, "/nonexistent/pagewarden/gone", rec));
    EXPECT_FALSE(rec.FindDataRead);
}
