#pragma once

#include <QByteArray>

#include <optional>

#include <sys/stat.h>

namespace pw {

// The SHA-256 of bytes, as 64 lower-case hex digits.
QByteArray sha256Hex(const QByteArray& bytes);

// Original bytes kept by their SHA-256 under folder/objects/xx/<hash>, so identical originals
// are stored once. Each object is written to a temporary file, flushed, then renamed into place
// and its folder flushed: an object that exists is complete. Readable by the owner only, since
// the store holds copies of files such as configuration with passwords.
class BackupStore {
public:
    explicit BackupStore(QByteArray folder)
        : m_folder(std::move(folder)) {}
    const QByteArray& folder() const { return m_folder; }

    // Stores bytes (nothing to write when the object exists). The errno of the failure, 0 on
    // success; sha is the hash of bytes.
    int keep(const QByteArray& bytes, const QByteArray& sha);
    // Stores the file named name in the folder open as folderFd, open as fd, whose bytes hash to
    // sha and whose status was read: as a second name of the file itself, flushed, for a file
    // about to be replaced by a rename (its bytes then live on in the store alone), so nothing is
    // copied. False when that cannot be done (another file system, the file changed since it was
    // read): the caller copies instead.
    bool keepByLink(int folderFd, const QByteArray& name, int fd, const struct stat& read,
                    const QByteArray& sha);
    // The bytes of an object, checked against their hash; none when missing or damaged.
    std::optional<QByteArray> read(const QByteArray& sha) const;
    bool contains(const QByteArray& sha) const;
    QByteArray objectPath(const QByteArray& sha) const;
    QByteArray objectsFolder() const { return m_folder + "/objects"; }

private:
    QByteArray m_folder;
};

// Creates folder and its parents (mode 0700 for the ones made); the errno, 0 on success.
int makeFolders(const QByteArray& folder);
// Flushes a folder's entries (a rename or a new name in it) to disk.
void syncFolder(const QByteArray& folder);

// Tests only: makes the next keep() calls fail with errnum before writing (0 switches it off).
void setBackupFailureForTests(int errnum);

} // namespace pw
