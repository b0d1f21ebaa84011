#pragma once

#include <QByteArray>

#include <optional>

#include <sys/stat.h>

namespace pw {

// The SHA-256 of bytes, as 64 lower-case hex digits.
QByteArray sha256Hex(const QByteArray& bytes);

// Original bytes kept by their SHA-256 under folder/objects/xx/<hash>, so identical originals
// are stored once. An object that exists under its name is complete: a copy is written to a
// temporary file, flushed, then renamed into place and its folder flushed. Readable by the owner
// only, since the store holds copies of files such as configuration with passwords. Originals
// are kept by a BackupBatch; keep() is a batch of one.
class BackupStore {
public:
    explicit BackupStore(QByteArray folder)
        : m_folder(std::move(folder)) {}
    const QByteArray& folder() const { return m_folder; }

    // Stores bytes, whose hash is sha, flushed (nothing to write when the object exists). The
    // errno of the failure, 0 on success.
    int keep(const QByteArray& bytes, const QByteArray& sha) const;
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

// Tests only: makes every backup fail with errnum before writing (0 switches it off).
void setBackupFailureForTests(int errnum);
int backupFailureForTests();

} // namespace pw
