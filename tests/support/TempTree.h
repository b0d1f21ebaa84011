#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace pw::test {

// A temporary folder with helpers to lay out fixture files by relative path; removed at the end.
class TempTree {
public:
    TempTree();
    ~TempTree();
    QByteArray path() const;                           // the folder, without a trailing "/"
    QByteArray path(const QByteArray& relative) const; // a file under it
    QByteArray write(const QByteArray& relative, const QByteArray& bytes,
                     mode_t mode = 0644) const; // creates parent folders; returns the path
    void mkdir(const QByteArray& relative) const;

private:
    QTemporaryDir m_dir;
};

QByteArray readFile(const QByteArray& path);
struct stat statOf(const QByteArray& path);        // lstat; fails the test if it cannot
QByteArray sourcePath(const QByteArray& relative); // a file of the source tree
QByteArray binaryPath(const QByteArray& relative); // a file of the build tree

} // namespace pw::test
