#include "tests/support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace pw::test {

TempTree::TempTree() {
    EXPECT_TRUE(m_dir.isValid());
}

QByteArray TempTree::path() const {
    return QFile::encodeName(m_dir.path());
}

QByteArray TempTree::path(const QByteArray& relative) const {
    return path() + '/' + relative;
}

QByteArray TempTree::write(const QByteArray& relative, const QByteArray& bytes, mode_t mode) const {
    const QByteArray full = path(relative);
    QDir().mkpath(QFileInfo(QFile::decodeName(full)).path());
    QFile file(QFile::decodeName(full));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << full.constData();
    EXPECT_EQ(file.write(bytes), bytes.size());
    file.close();
    ::chmod(full.constData(), mode);
    return full;
}

void TempTree::mkdir(const QByteArray& relative) const {
    EXPECT_TRUE(QDir().mkpath(QFile::decodeName(path(relative))));
}

QByteArray readFile(const QByteArray& path) {
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
    return file.readAll();
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
