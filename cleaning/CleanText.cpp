#include "cleaning/CleanText.h"

#include "cleaning/LineBreaks.h"
#include "common/Text.h"
#include "regex/PcreRegEx.h"

#include <QHash>

#include <cstring>

namespace pw {

qsizetype removeAll(QByteArray& text, const QByteArray& pattern, QList<qsizetype>* seams) {
    if (pattern.isEmpty()) return 0;
    const char* begin = text.constData();
    const char* end = begin + text.size();
    const char* from = begin;
    const auto find = [&](const char* at) {
        return static_cast<const char*>(
            ::memmem(at, size_t(end - at), pattern.constData(), size_t(pattern.size())));
    };
    const char* hit = find(from);
    if (!hit) return 0;

    QByteArray out;
    out.reserve(text.size());
    qsizetype count = 0;
    for (; hit; hit = find(from)) {
        out.append(from, hit - from);
        if (seams) seams->append(out.size());
        from = hit + pattern.size();
        ++count;
    }
    out.append(from, end - from);
    text = std::move(out);
    return count;
}

namespace {

// Runs the removal passes on a text kept in line-list form (every line ends with CR LF).
class Remover {
public:
    explicit Remover(QByteArray text)
        : m_text(std::move(text)) {}

    // The three passes for one accepted match text; how many copies went.
    qsizetype remove(const QByteArray& m) {
        // A text known to be absent from this version of the text needs no passes: this keeps
        // a file with thousands of copies of one element linear.
        if (m_absentAt.value(m, -1) == m_version) return 0;
        const QByteArray withBreak = m + CrLf.toByteArray();
        const qsizetype first = pass(withBreak);
        const qsizetype second = pass(m);
        if (second == 0) {
            // With m gone from the text, m + CR LF cannot be found either.
            if (first == 0)
                m_absentAt.insert(m, m_version);
            else
                ++m_version;
            return first;
        }
        const qsizetype third = pass(withBreak);
        ++m_version;
        return first + second + third;
    }

    const QByteArray& text() const { return m_text; }

private:
    qsizetype pass(const QByteArray& pattern) {
        m_seams.clear();
        const qsizetype removed = removeAll(m_text, pattern, &m_seams);
        if (removed > 0) recut();
        return removed;
    }

    // Cutting into lines and joining with CR LF again. The runs between removals keep their
    // CR LF pairs, so a lone CR or LF can only sit right at a seam: the whole text is
    // normalised only then.
    void recut() {
        const qsizetype size = m_text.size();
        for (qsizetype seam : m_seams) {
            if ((seam > 0 && m_text[seam - 1] == '\r') || (seam < size && m_text[seam] == '\n')) {
                m_text = lineListText(m_text);
                return;
            }
        }
        if (size > 0 && m_text.back() != '\n') m_text.append("\r\n", 2);
    }

    QByteArray m_text;
    qint64 m_version = 0;
    QHash<QByteArray, qint64> m_absentAt;
    QList<qsizetype> m_seams;
};

// The keyword as the cleaner compares it: trimmed and lower-cased, prepared again only when the
// source gives another text.
class Keyword {
public:
    explicit Keyword(const KeywordSource& source)
        : m_source(source) {}

    // Whether the lower-cased match holds the keyword (an empty keyword is never held).
    bool heldBy(const QByteArray& match) {
        const QByteArray raw = m_source ? m_source() : QByteArray();
        if (raw != m_raw) {
            m_raw = raw;
            m_prepared = lowerAscii(trimmed(raw));
        }
        return !m_prepared.isEmpty() && containsLowered(match, m_prepared);
    }

private:
    static char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

    // Searches the match as if lower-cased, without making the lower-cased copy.
    static bool containsLowered(const QByteArray& text, const QByteArray& key) {
        const qsizetype last = text.size() - key.size();
        for (qsizetype i = 0; i <= last; ++i) {
            if (lower(text[i]) != key[0]) continue;
            qsizetype j = 1;
            while (j < key.size() && lower(text[i + j]) == key[j])
                ++j;
            if (j == key.size()) return true;
        }
        return false;
    }

    const KeywordSource& m_source;
    QByteArray m_raw;
    QByteArray m_prepared;
};

// The successive matches of the rule in the subject. When a search gives up (a matching limit
// reached) nothing is known about the text from where it began, so from there on every search is
// held to matches that start on one line: a line that exhausts the limits is passed over alone.
class Matches {
public:
    Matches(TPcreRegEx& matcher, const QByteArray& subject)
        : m_matcher(matcher)
        , m_subject(subject) {
        m_matcher.setStartLimit(0);
        m_matcher.setSubject(subject);
    }
    ~Matches() { m_matcher.setStartLimit(0); }

    bool first() { return settle(m_matcher.Match()); }
    bool next() { return m_byLine ? searchLines() : settle(m_matcher.MatchNext()); }
    bool complete() const { return m_complete; }

private:
    bool settle(bool found) {
        if (found || m_matcher.matchError() == 0) return found;
        // Again from where the search began, one line at a time.
        m_byLine = true;
        return searchLines();
    }

    bool searchLines() {
        while (m_matcher.start() <= m_subject.size()) {
            const qsizetype end = lineEnd();
            m_matcher.setStartLimit(end);
            if (m_matcher.MatchNext()) return true;
            if (m_matcher.matchError() != 0) m_complete = false;
            m_matcher.setStart(end + 1);
        }
        return false;
    }

    // The 1-based position of the LF ending the line MatchNext resumes on (the subject's last
    // byte when no LF follows).
    qsizetype lineEnd() const {
        const qsizetype lf = m_subject.indexOf('\n', m_matcher.start() - 1);
        return lf < 0 ? m_subject.size() : lf + 1;
    }

    TPcreRegEx& m_matcher;
    const QByteArray& m_subject;
    bool m_byLine = false;
    bool m_complete = true;
};

} // namespace

TextCleaning cleanText(const QByteArray& data, TPcreRegEx& matcher, const KeywordSource& keyword) {
    TextCleaning result;
    const QByteArray normalised = normaliseLineBreaks(data);
    QByteArray subject = normalised;
    if (!subject.isEmpty() && subject.back() != '\n') subject.append("\r\n", 2);
    Matches matches(matcher, subject);
    if (!matches.first()) {
        // No rewrite from the line list: a missing final line break stays missing.
        result.text = normalised;
        result.complete = matches.complete();
        return result;
    }
    result.ruleMatched = true;
    Remover remover(subject);
    Keyword key(keyword);
    do {
        const QByteArray m = matcher.Group(0);
        if (key.heldBy(m))
            for (qsizetype copies = remover.remove(m); copies > 0; --copies)
                result.removed.append(m);
    } while (matches.next());
    result.text = remover.text();
    result.complete = matches.complete();
    return result;
}

} // namespace pw
