#include "tests/support/TempTree.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

namespace pw::test {

TempTree::TempTree() {
    EXPECT_TRUE(m_dir.isValid());
}

TempTree::~TempTree() {
    // Qt cannot name entries whose names are not valid UTF-8: remove by bytes first.
    ::nftw(
        path().constData(),
        [](const char* entry, const struct stat*, int, struct FTW* ftw) {
            if (ftw->level > 0) ::remove(entry);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QByteArray TempTree::path() const {
    return QFile::encodeName(m_dir.path());
}

QByteArray TempTree::path(const QByteArray& relative) const {
    return path() + '/' + relative;
}

QByteArray TempTree::write(const QByteArray& relative, const QByteArray& bytes, mode_t mode) const {
    // Raw bytes all the way, so names that are not valid UTF-8 stay as given.
    const QByteArray full = path(relative);
    for (qsizetype slash = full.indexOf('/', path().size() + 1); slash > 0;
         slash = full.indexOf('/', slash + 1))
        ::mkdir(full.left(slash).constData(), 0755);
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0) << full.constData();
    EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
    // Only when asked: a change of mode is itself a change a watcher reports.
    if (mode != 0644)
        ::chmod(full.constData(), mode);
    return full;
}

void TempTree::mkdir(const QByteArray& relative) const {
    EXPECT_TRUE(QDir().mkpath(QFile::decodeName(path(relative))));
}

QByteArray readFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "<unreadable>";
    QByteArray bytes;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

struct stat statOf(const QByteArray& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.constData(), &st), 0) << path.constData();
    return st;
}

QByteArray sourcePath(const QByteArray& relative) {
    return QByteArray(PAGEWARDEN_SOURCE_DIR) + '/' + relative;
}

QByteArray binaryPath(const QByteArray& relative) {
    return QByteArray(PAGEWARDEN_BINARY_DIR) + '/' + relative;
}

} // namespace pw::test
