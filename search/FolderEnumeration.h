#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

#include <dirent.h>

namespace pw {

// The enumeration's pattern rule: "*" matches any run of bytes, "?" exactly one, 'A'-'Z' compare
// with 'a'-'z'; a mask ending in ".*" also matches a name without a dot that matches the part
// before it, so "*.*" matches every name.
bool EnumerationMaskMatch(QByteArrayView Name, QByteArrayView Mask);

// One directory entry: its name and kind (a DT_* value; DT_UNKNOWN only for an entry that
// vanished while the folder was read).
struct TDirEntry {
    QByteArray name;
    unsigned char type = DT_UNKNOWN;
};

// The entries of one folder, read once in the order the system returns them ("." and ".."
// left out). A folder that cannot be opened has no entries. The folder stays open, for
// examining its entries by name, until close() or destruction.
class TFolderListing {
public:
    // Folder is a path ending with "/"; an empty one is the current folder.
    explicit TFolderListing(const QByteArray& Folder);
    ~TFolderListing();
    TFolderListing(const TFolderListing&) = delete;
    TFolderListing& operator=(const TFolderListing&) = delete;

    const std::vector<TDirEntry>& entries() const { return m_entries; }
    int fd() const; // -1 once closed or when the folder could not be opened
    void close();

private:
    DIR* m_dir = nullptr;
    std::vector<TDirEntry> m_entries;
};

} // namespace pw
