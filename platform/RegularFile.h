#pragma once

#include <QByteArray>

#include <sys/stat.h>

namespace pw {

// Why a path could not be read or rewritten. Each is answered by leaving the file as it was.
enum class FileProblem {
    None,
    Missing,
    Folder,
    SymbolicLink,
    Special,  // FIFO, socket or device: never opened
    ReadOnly, // the owner's write bit is clear
    NoAccess, // the running user may not read it, write it, or write in its folder
    TooLarge,
    Changed,    // replaced or written by someone else while we worked on it
    NotBeneath, // a symbolic link, a non-folder or a way out of the tree on its path
    OwnerNotKept,
    NoBackup, // the original bytes could not be kept in the backup store first
    Io,
};

// A short reason for messages ("is a symbolic link"); errnum adds the system's text for Io.
QByteArray describe(FileProblem problem, int errnum = 0);

// Writes all of bytes at the descriptor's position, or from offset, through short writes and
// interruptions. False with errno set on failure.
bool writeAll(int fd, const QByteArray& bytes);
bool writeAllAt(int fd, const QByteArray& bytes, off_t offset);

// A regular file opened for reading, by its name within an open folder, without following a
// symbolic link. Folders, links and special files are refused from their status alone, so a FIFO
// or a device is never opened and nothing blocks.
class RegularFile {
public:
    // Files above this size are refused rather than held in memory several times over.
    static constexpr qint64 MaxSize = qint64(1) << 30;

    static RegularFile open(int folderFd, const QByteArray& name);

    RegularFile() = default;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    ~RegularFile();

    bool isOpen() const { return m_fd >= 0; }
    FileProblem problem() const { return m_problem; }
    int error() const { return m_errno; }
    int fd() const { return m_fd; }
    const struct stat& status() const { return m_status; }

    // Reads the whole content; false (with problem() set) on a read error or a file too large.
    bool readAll(QByteArray& out);

private:
    void fail(FileProblem problem, int errnum);

    int m_fd = -1;
    FileProblem m_problem = FileProblem::None;
    int m_errno = 0;
    struct stat m_status {};
};

// lstat() problems of a path that must be a regular file, FileProblem::None when it is one.
FileProblem classify(const struct stat& st);

} // namespace pw
