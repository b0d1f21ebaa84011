#pragma once

#include "platform/ByteTables.h"
#include "search/Persistent.h"
#include "search/PhraseFinder.h"

#include <QByteArray>
#include <QObject>

namespace pw {

// Bytes read per block by the content scan; a file no larger than this is read in one call.
inline constexpr qsizetype DefaultScanBlockSize = 64 * 1024;

// The phrase a found file must contain, with its case and whole-word options.
class TContentCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(QByteArray Phrase READ Phrase WRITE setPhrase)
    Q_PROPERTY(bool IgnoreCase READ IgnoreCase WRITE setIgnoreCase)
    Q_PROPERTY(bool WholeWord READ WholeWord WRITE setWholeWord)

public:
    TContentCriteria();

    const QByteArray& Phrase() const { return m_phrase; }
    void setPhrase(const QByteArray& phrase);
    bool IgnoreCase() const { return m_ignoreCase; }
    void setIgnoreCase(bool ignoreCase);
    bool WholeWord() const { return m_wholeWord; }
    void setWholeWord(bool wholeWord) { m_wholeWord = wholeWord; }

    // Derived from the properties: the phrase's length, the phrase as compared (lowered when
    // IgnoreCase) and the table the file's bytes are read through.
    qsizetype PhraseLen() const { return m_phrase.size(); }
    const QByteArray& SearchPhrase() const { return m_searchPhrase; }
    const TByteTable& CaseTable() const { return *m_caseTable; }

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TContentCriteria"; }

    // True without opening the file when the phrase is empty; otherwise whether the file holds
    // the phrase. A file that cannot be opened or read, or is no regular file, does not.
    // Safe to call from several threads at once.
    bool Matches(const QByteArray& FilePath) const;

private:
    void derive();

    QByteArray m_phrase;
    QByteArray m_searchPhrase;
    bool m_ignoreCase = true;
    bool m_wholeWord = false;
    const TByteTable* m_caseTable = &LowerCaseTable;
    TPhraseFinder m_finder;
};

// Whether the file at FilePath holds Pattern (PatternLen bytes, already lowered when Table is
// LowerCaseTable) read through Table; with WholeWord the match must have a delimiter byte, or
// the start or end of the file, on each side. Reads only regular files, in blocks of BlockSize
// bytes (at least PatternLen + 1). Any failure answers false.
bool FileContainsPhrase(const QByteArray& FilePath, const QByteArray& Pattern, qsizetype PatternLen,
                        bool WholeWord, const TByteTable& Table,
                        qsizetype BlockSize = DefaultScanBlockSize);

// The same scan with a prepared finder.
bool FileContainsPhrase(const QByteArray& FilePath, const TPhraseFinder& Finder, bool WholeWord,
                        qsizetype BlockSize = DefaultScanBlockSize);

} // namespace pw
