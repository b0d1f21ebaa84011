#pragma once

#include "common/EnumSet.h"
#include "common/Events.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <memory>
#include <stdexcept>

namespace pw {

// Compile options; member i is bit i of the one-byte set.
enum TPcreRegExOption {
    preCaseLess,
    preMultiLine,
    preSingleLine,
    preExtended,
    preAnchored,
    preDollarEndOnly,
    preExtra,
    preUnGreedy,
};
using TPcreRegExOptions = EnumSet<TPcreRegExOption>;

// Execution flags added to every search.
enum TPcreMatchFlag { preNotBOL, preNotEOL, preNotEmpty };
using TPcreMatchFlags = EnumSet<TPcreMatchFlag>;

// A pattern that cannot be compiled. offset() is the 0-based byte offset PCRE reports in the
// pattern, or -1 when there is no pattern at all.
class EPcreError : public std::runtime_error {
public:
    EPcreError(const std::string& message, long long offset, QByteArray pcreMessage);
    long long offset() const { return m_offset; }
    const QByteArray& pcreMessage() const { return m_pcreMessage; }

private:
    long long m_offset;
    QByteArray m_pcreMessage;
};

// An object interface over PCRE2 (8-bit, no UTF mode): holds a pattern, its compile options and
// a subject, compiles on first use and walks the successive non-overlapping matches. Positions
// are 1-based byte positions; groupEnd() is the position just after the group's last byte.
// Used by one thread at a time.
class TPcreRegEx : public QObject {
    Q_OBJECT
    Q_PROPERTY(quint8 Options READ optionBits WRITE setOptionBits)
    Q_PROPERTY(QByteArray RegEx READ RegEx WRITE setRegEx)

public:
    explicit TPcreRegEx(QObject* owner = nullptr);
    ~TPcreRegEx() override;

    TPcreRegExOptions Options() const { return m_options; }
    void setOptions(TPcreRegExOptions options);
    quint8 optionBits() const { return m_options.bits(); }
    void setOptionBits(quint8 bits) { setOptions(TPcreRegExOptions::fromBits(bits)); }

    const QByteArray& RegEx() const { return m_regEx; }
    void setRegEx(const QByteArray& pattern);

    // The subject is shared with the caller's string, never copied: a copy the caller changes
    // afterwards detaches from it and leaves this subject as it was.
    const QByteArray& Subject() const { return m_subject; }
    void setSubject(const QByteArray& subject);

    TPcreMatchFlags matchFlags() const { return m_matchFlags; }
    void setMatchFlags(TPcreMatchFlags flags) { m_matchFlags = flags; }

    // The JIT is used when PCRE2 has it; switching it off gives the same results, slower.
    bool jitEnabled() const { return m_jitEnabled; }
    void setJitEnabled(bool enabled);

    // Compiles RegEx now; throws EPcreError. Match and MatchNext compile when needed.
    void Compile();
    bool compiled() const { return m_compiled; }

    bool Match();     // searches from the beginning of the subject
    bool MatchNext(); // searches from just after the previous match
    bool HasMatch() const { return m_matchCount > 0; }

    // The PCRE2 error code of the last search when it gave up rather than finding or not finding
    // a match (a match, depth or JIT stack limit reached); 0 otherwise. Such a search counts as
    // no match, and says nothing about the subject beyond where it began.
    int matchError() const { return m_matchError; }
    // Searches find only matches that start at or before this 1-based position (0: anywhere).
    void setStartLimit(qsizetype position) { m_startLimit = position; }
    // Where MatchNext resumes, as a 1-based position.
    void setStart(qsizetype position) { m_start = position; }

    // Need a successful match (EAssertionFailed otherwise).
    int GroupCount() const;
    QByteArray Group(int i) const;
    qsizetype groupStart(int i) const;
    qsizetype groupEnd(int i) const;

    // The position at which MatchNext resumes.
    qsizetype start() const { return m_start; }

    // The PCRE2 compile flags of Options.
    quint32 pcreOptionWord() const { return m_pcreOptions; }

    TNotifyEvent OnMatch;

private:
    struct Pcre;
    static constexpr int MaxPairs = 100;

    void reset();
    bool search(qsizetype startOffset);

    bool m_compiled = false;
    TPcreRegExOptions m_options;
    TPcreMatchFlags m_matchFlags{preNotEmpty};
    QByteArray m_regEx;
    QByteArray m_subject;
    qsizetype m_start = 1;
    qsizetype m_stop = 0;
    int m_matchCount = 0;
    int m_matchError = 0;
    qsizetype m_startLimit = 0;
    quint32 m_pcreOptions = 0;
    bool m_jitEnabled = true;
    std::array<qsizetype, 2 * MaxPairs> m_offsets{};
    std::unique_ptr<Pcre> m_pcre;
};

} // namespace pw
