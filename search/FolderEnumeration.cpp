#include "search/FolderEnumeration.h"

#include "platform/ByteTables.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace pw {

namespace {

bool sameByte(char maskByte, char nameByte) {
    return LowerCaseTable[static_cast<unsigned char>(maskByte)] ==
           LowerCaseTable[static_cast<unsigned char>(nameByte)];
}

// "*" and "?" with backtracking to the last "*" only, which is enough for these two wildcards.
bool globMatch(QByteArrayView name, QByteArrayView mask) {
    qsizetype n = 0, m = 0;
    qsizetype starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || sameByte(mask[m], name[n]))) {
            ++n;
            ++m;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

unsigned char typeOf(int dirFd, const char* name) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
    if (S_ISDIR(st.st_mode)) return DT_DIR;
    if (S_ISREG(st.st_mode)) return DT_REG;
    if (S_ISLNK(st.st_mode)) return DT_LNK;
    return S_ISFIFO(st.st_mode) ? DT_FIFO : S_ISSOCK(st.st_mode) ? DT_SOCK : DT_CHR;
}

} // namespace

bool EnumerationMaskMatch(QByteArrayView Name, QByteArrayView Mask) {
    if (globMatch(Name, Mask)) return true;
    return Mask.endsWith(".*") && !Name.contains('.') && globMatch(Name, Mask.chopped(2));
}

TFolderListing::TFolderListing(const QByteArray& Folder) {
    m_dir = ::opendir(Folder.isEmpty() ? "." : Folder.constData());
    if (!m_dir) return;
    const int dirFd = ::dirfd(m_dir);
    while (const dirent* e = ::readdir(m_dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        const unsigned char type = e->d_type != DT_UNKNOWN ? e->d_type : typeOf(dirFd, name);
        m_entries.push_back({QByteArray(name), type});
    }
}

TFolderListing::~TFolderListing() {
    close();
}

int TFolderListing::fd() const {
    return m_dir ? ::dirfd(m_dir) : -1;
}

void TFolderListing::close() {
    if (m_dir) ::closedir(m_dir);
    m_dir = nullptr;
}

} // namespace pw
