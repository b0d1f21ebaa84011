#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <optional>

namespace pw {

// One rewrite of one file: what it was, what it became, and what was taken out.
struct JournalRecord {
    QDateTime time; // UTC
    QByteArray job;
    QByteArray origin; // what started the job: "window batch", "window monitoring", "clean", ...
    QByteArray folder; // the job's folder (a search's paths, the watched folder)
    QByteArray root;   // the folder the file was opened beneath
    QByteArray path;
    QByteArray sha256; // of the bytes before the rewrite, kept in the backup store
    qint64 size = 0;
    quint32 mode = 0;
    quint32 uid = 0;
    quint32 gid = 0;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
    QByteArray newSha256;
    qint64 newSize = 0;
    QList<QByteArray> removed; // each removed text, the first RemovedCap bytes of it
    qint64 removedBytes = 0;   // the whole length of the removed texts

    static constexpr qsizetype RemovedCap = 4096;
};

// A record as one JSON line (no line break). Byte texts that are not UTF-8 are also given
// exactly, base64-encoded, under "<key>_base64".
QByteArray journalLine(const JournalRecord& record);
// A line read back; none for a torn or foreign line.
std::optional<JournalRecord> parseJournalLine(const QByteArray& line);

struct JournalContents {
    QList<JournalRecord> records; // in the order written
    int skipped = 0;              // lines that were torn or not records
};

// The journal of JSON lines, folder/journal.jsonl. Several processes append to it at once:
// each append is one write() under an exclusive lock, flushed before the call returns.
class Journal {
public:
    explicit Journal(QByteArray folder)
        : m_folder(std::move(folder)) {}
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    QByteArray path() const { return m_folder + "/journal.jsonl"; }

    // The errno of a failure, 0 when the records are on disk.
    int append(const QList<JournalRecord>& records) const;
    // Every readable record; a missing journal is empty.
    JournalContents read() const;
    // Replaces the journal by these records (pruning), atomically and under the lock, so that an
    // append running meanwhile lands in the new journal.
    int rewrite(const QList<JournalRecord>& records) const;

private:
    QByteArray m_folder;
    // Kept open between appends: a job appends again and again.
    mutable int m_appendFd = -1;
};

} // namespace pw
