#include "search/ContentCriteria.h"

#include "common/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

// Closes a descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One reusable block buffer per thread, so that scanning a file allocates nothing.
unsigned char* blockBuffer(qsizetype size) {
    thread_local std::unique_ptr<unsigned char[]> buffer;
    thread_local qsizetype capacity = 0;
    if (capacity < size) {
        buffer.reset(); // release the old block before asking for the larger one
        capacity = 0;
        buffer = std::make_unique<unsigned char[]>(static_cast<size_t>(size));
        capacity = size;
    }
    return buffer.get();
}

// Reads up to count bytes; -1 on an error.
qsizetype readSome(int fd, unsigned char* into, qsizetype count) {
    for (;;) {
        const ssize_t n = ::read(fd, into, static_cast<size_t>(count));
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Non-blocking, so that a FIFO put in place of a file cannot hold the search; never through a
// symbolic link put in place of the file the walk listed; without touching
// the access time where the system lets us (the owner and root), so that a search by access
// time finds the same files the next time.
int openForScan(const QByteArray& path) {
    constexpr int Flags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    const int fd = ::open(path.constData(), Flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM) return fd;
    return ::open(path.constData(), Flags);
}

bool isDelimiter(unsigned char b) {
    return DelimiterSet.contains(b);
}

// The block scan over an open regular file of the given size. The buffer always holds the bytes
// from some file offset on; `previous` is the raw byte just before them (0, a delimiter, at the
// start of the file). Positions that cannot be decided yet, because the pattern or the byte
// after it lies beyond the buffer, are carried to the front before the next read.
bool scanFile(int fd, qint64 fileSize, const TPhraseFinder& finder, bool wholeWord,
              qsizetype blockSize) {
    const qsizetype length = finder.length();
    const qsizetype capacity =
        std::max<qsizetype>(length + 1, std::min<qint64>(blockSize, std::max<qint64>(fileSize, 1)));
    unsigned char* buffer = blockBuffer(capacity);
    unsigned char previous = 0;
    qsizetype filled = 0;
    qint64 total = 0;
    bool atEnd = false;
    for (;;) {
        const qsizetype n = readSome(fd, buffer + filled, capacity - filled);
        if (n < 0) return false;
        filled += n;
        total += n;
        // The size taken at opening marks the end, which spares a read that returns nothing.
        atEnd = n == 0 || total >= fileSize;

        qsizetype undecided = -1;
        for (qsizetype k = finder.next(buffer, filled, 0); k >= 0;
             k = finder.next(buffer, filled, k + 1)) {
            if (!wholeWord) return true;
            if (!isDelimiter(k == 0 ? previous : buffer[k - 1])) continue;
            if (k + length < filled) {
                if (isDelimiter(buffer[k + length])) return true;
                continue;
            }
            if (atEnd) return true;
            undecided = k; // the byte after the match is still to be read
            break;
        }
        if (atEnd) return false;

        const qsizetype keep =
            undecided >= 0 ? undecided : std::max<qsizetype>(0, filled - length + 1);
        if (keep > 0) {
            previous = buffer[keep - 1];
            std::memmove(buffer, buffer + keep, static_cast<size_t>(filled - keep));
            filled -= keep;
        }
    }
}

} // namespace

TContentCriteria::TContentCriteria() {
    derive();
}

void TContentCriteria::setPhrase(const QByteArray& phrase) {
    if (phrase == m_phrase) return;
    m_phrase = phrase;
    derive();
}

void TContentCriteria::setIgnoreCase(bool ignoreCase) {
    if (ignoreCase == m_ignoreCase) return;
    m_ignoreCase = ignoreCase;
    derive();
}

void TContentCriteria::derive() {
    m_searchPhrase = m_ignoreCase ? lowerAscii(m_phrase) : m_phrase;
    m_caseTable = m_ignoreCase ? &LowerCaseTable : &IdentityTable;
    m_finder = TPhraseFinder(m_searchPhrase, *m_caseTable);
}

void TContentCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    setPhrase(source.Phrase());
    setIgnoreCase(source.IgnoreCase());
    setWholeWord(source.WholeWord());
}

bool TContentCriteria::Matches(const QByteArray& FilePath) const {
    if (PhraseLen() < 1) return true;
    return FileContainsPhrase(FilePath, m_finder, m_wholeWord);
}

bool FileContainsPhrase(const QByteArray& FilePath, const QByteArray& Pattern, qsizetype PatternLen,
                        bool WholeWord, const TByteTable& Table, qsizetype BlockSize) {
    return FileContainsPhrase(FilePath, TPhraseFinder(Pattern.left(PatternLen), Table), WholeWord,
                              BlockSize);
}

bool FileContainsPhrase(const QByteArray& FilePath, const TPhraseFinder& Finder, bool WholeWord,
                        qsizetype BlockSize) {
    if (Finder.length() < 1) return false;
    try {
        const FileDescriptor fd(openForScan(FilePath));
        if (fd.get() < 0) return false;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < Finder.length())
            return false;
        return scanFile(fd.get(), st.st_size, Finder, WholeWord, BlockSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace pw
