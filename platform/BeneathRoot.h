#pragma once

#include "platform/RegularFile.h"

#include <QByteArray>
#include <QHash>

namespace pw {

// The folder that holds a file beneath a root folder, opened so that no later lookup can be
// redirected: the root is opened as named (a link in or at the root is what the user chose), then
// every folder below it without following any symbolic link and without leaving the root. Every
// read, replacement and rename of the file goes through this folder's descriptor, so a folder on
// the path swapped for a link between the report and the job cannot send a write outside the tree.
class FolderBeneath {
public:
    // path must lie beneath root (root "/" holds every absolute path, root "." every relative
    // one). A path outside it, a link or
    // a non-folder on the way, or a ".." that would leave the root gives FileProblem::NotBeneath.
    static FolderBeneath open(const QByteArray& root, const QByteArray& path);

    FolderBeneath() = default;
    FolderBeneath(FolderBeneath&& other) noexcept;
    FolderBeneath& operator=(FolderBeneath&& other) noexcept;
    ~FolderBeneath();

    bool isOpen() const { return m_fd >= 0; }
    FileProblem problem() const { return m_problem; }
    int error() const { return m_errno; }
    int fd() const { return m_fd; }
    // The file's name within the folder, and the folder's path for messages.
    const QByteArray& name() const { return m_name; }
    const QByteArray& folderPath() const { return m_folderPath; }

private:
    friend class OpenRoots;
    // Beneath root open as rootFd, or failed to open with rootErrno.
    static FolderBeneath open(int rootFd, int rootErrno, const QByteArray& root,
                              const QByteArray& path);
    void fail(FileProblem problem, int errnum);

    int m_fd = -1;
    FileProblem m_problem = FileProblem::None;
    int m_errno = 0;
    QByteArray m_name;
    QByteArray m_folderPath;
};

// The descriptors of the roots of a run of files, each opened as named on first use and kept
// until forget(): the files of one group cost no walk from "/" each. Forget them whenever the
// roots may have been swapped since (the next group opens them again).
class OpenRoots {
public:
    OpenRoots() = default;
    OpenRoots(const OpenRoots&) = delete;
    OpenRoots& operator=(const OpenRoots&) = delete;
    ~OpenRoots() { forget(); }

    FolderBeneath open(const QByteArray& root, const QByteArray& path);
    void forget();

private:
    QHash<QByteArray, int> m_fds;
};

// Tests only: walk component by component as on kernels without openat2.
void setComponentWalkForTests(bool on);

} // namespace pw
