#include "history/Journal.h"

#include "history/BackupStore.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

bool isUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

void putBytes(QJsonObject& object, const QString& key, const QByteArray& bytes) {
    object[key] = QString::fromUtf8(bytes);
    if (!isUtf8(bytes)) object[key + "_base64"] = QString::fromLatin1(bytes.toBase64());
}

QByteArray getBytes(const QJsonObject& object, const QString& key) {
    const QJsonValue exact = object[key + "_base64"];
    if (exact.isString()) return QByteArray::fromBase64(exact.toString().toLatin1());
    return object[key].toString().toUtf8();
}

// The journal opened for appending (fd, when open already, is tried first) and locked, and
// still the one at its path (a prune may have replaced it between the open and the lock).
int openLocked(const QByteArray& path, int fd = -1) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (fd < 0) fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
        struct stat open {
        }, named{};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &open) == 0 &&
            ::stat(path.constData(), &named) == 0 && open.st_ino == named.st_ino &&
            open.st_dev == named.st_dev)
            return fd;
        ::close(fd);
        fd = -1;
    }
    errno = EAGAIN;
    return -1;
}

} // namespace

QByteArray journalLine(const JournalRecord& r) {
    QJsonObject o;
    o["time"] = r.time.toUTC().toString(Qt::ISODateWithMs);
    o["job"] = QString::fromUtf8(r.job);
    o["origin"] = QString::fromUtf8(r.origin);
    putBytes(o, "folder", r.folder);
    putBytes(o, "root", r.root);
    putBytes(o, "path", r.path);
    o["sha256"] = QString::fromLatin1(r.sha256);
    o["size"] = r.size;
    o["mode"] = qint64(r.mode);
    o["uid"] = qint64(r.uid);
    o["gid"] = qint64(r.gid);
    o["mtime"] = r.mtimeSec;
    o["mtime_nsec"] = r.mtimeNsec;
    o["new_sha256"] = QString::fromLatin1(r.newSha256);
    o["new_size"] = r.newSize;
    QJsonArray removed, exact;
    bool allUtf8 = true;
    for (const QByteArray& text : r.removed) {
        const QByteArray kept = text.left(JournalRecord::RemovedCap);
        removed.append(QString::fromUtf8(kept));
        exact.append(QString::fromLatin1(kept.toBase64()));
        allUtf8 = allUtf8 && isUtf8(kept);
    }
    o["removed"] = removed;
    if (!allUtf8) o["removed_base64"] = exact;
    o["removed_bytes"] = r.removedBytes;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<JournalRecord> parseJournalLine(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    JournalRecord r;
    r.time = QDateTime::fromString(o["time"].toString(), Qt::ISODateWithMs);
    r.job = o["job"].toString().toUtf8();
    r.path = getBytes(o, "path");
    r.sha256 = o["sha256"].toString().toLatin1();
    r.newSha256 = o["new_sha256"].toString().toLatin1();
    if (!r.time.isValid() || r.job.isEmpty() || r.path.isEmpty() || r.sha256.size() != 64 ||
        r.newSha256.size() != 64)
        return std::nullopt;
    r.origin = o["origin"].toString().toUtf8();
    r.folder = getBytes(o, "folder");
    r.root = getBytes(o, "root");
    r.size = o["size"].toInteger();
    r.mode = quint32(o["mode"].toInteger());
    r.uid = quint32(o["uid"].toInteger());
    r.gid = quint32(o["gid"].toInteger());
    r.mtimeSec = o["mtime"].toInteger();
    r.mtimeNsec = o["mtime_nsec"].toInteger();
    r.newSize = o["new_size"].toInteger();
    const QJsonArray exact = o["removed_base64"].toArray();
    const QJsonArray removed = o["removed"].toArray();
    for (qsizetype i = 0; i < removed.size(); ++i)
        r.removed.append(i < exact.size() ? QByteArray::fromBase64(exact[i].toString().toLatin1())
                                          : removed[i].toString().toUtf8());
    r.removedBytes = o["removed_bytes"].toInteger();
    return r;
}

Journal::~Journal() {
    if (m_appendFd >= 0) ::close(m_appendFd);
}

int Journal::append(const QList<JournalRecord>& records) const {
    if (records.isEmpty()) return 0;
    QByteArray lines;
    for (const JournalRecord& record : records)
        lines += journalLine(record) + '\n';
    if (m_appendFd < 0)
        if (const int error = makeFolders(m_folder)) return error;
    m_appendFd = openLocked(path(), m_appendFd);
    if (m_appendFd < 0) return errno;
    // One write under the lock: readers and other writers never see two records mixed.
    const bool written = writeAll(m_appendFd, lines) && ::fdatasync(m_appendFd) == 0;
    const int error = written ? 0 : (errno ? errno : EIO);
    ::flock(m_appendFd, LOCK_UN);
    return error;
}

JournalContents Journal::read() const {
    JournalContents contents;
    QFile file(QFile::decodeName(path()));
    if (!file.open(QIODevice::ReadOnly)) return contents;
    const QByteArray all = file.readAll();
    for (const QByteArray& line : all.split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        if (auto record = parseJournalLine(line))
            contents.records.append(std::move(*record));
        else
            ++contents.skipped;
    }
    return contents;
}

int Journal::rewrite(const QList<JournalRecord>& records) const {
    const int lock = openLocked(path());
    if (lock < 0) return errno;
    QByteArray temp = path() + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        QByteArray all;
        for (const JournalRecord& record : records)
            all += journalLine(record) + '\n';
        if (!writeAll(fd, all) || ::fsync(fd) != 0) error = errno ? errno : EIO;
        ::close(fd);
        if (!error && ::rename(temp.constData(), path().constData()) != 0) error = errno;
        if (error) ::unlink(temp.constData());
    }
    ::close(lock);
    if (!error) syncFolder(m_folder);
    return error;
}

} // namespace pw
