#include "cleaning/CleanText.h"

#include "cleaning/LineBreaks.h"
#include "common/Text.h"
#include "regex/PcreRegEx.h"

#include <QHash>

#include <cstring>

namespace pw {

qsizetype removeAll(QByteArray& text, const QByteArray& pattern) {
    if (pattern.isEmpty()) return 0;
    const char* begin = text.constData();
    const char* end = begin + text.size();
    const char* from = begin;
    const auto* hit = static_cast<const char*>(
        ::memmem(from, size_t(end - from), pattern.constData(), size_t(pattern.size())));
    if (!hit) return 0;

    QByteArray out;
    out.reserve(text.size());
    qsizetype count = 0;
    while (hit) {
        out.append(from, hit - from);
        from = hit + pattern.size();
        ++count;
        hit = static_cast<const char*>(
            ::memmem(from, size_t(end - from), pattern.constData(), size_t(pattern.size())));
    }
    out.append(from, end - from);
    text = std::move(out);
    return count;
}

namespace {

// The text between removals is always in line-list form. A match text known to be absent at the
// current version of the text needs no passes: this keeps a file with thousands of copies of one
// element linear.
class Remover {
public:
    explicit Remover(QByteArray text)
        : m_text(std::move(text)) {}

    // Runs the three passes for one accepted match text; true when something went.
    bool remove(const QByteArray& m) {
        if (m_absentAt.value(m, -1) == m_version) return false;
        if (!m_text.contains(m)) {
            m_absentAt.insert(m, m_version);
            return false;
        }
        const QByteArray withBreak = m + CrLf.toByteArray();
        pass(withBreak);
        pass(m);
        pass(withBreak);
        ++m_version;
        return true;
    }

    const QByteArray& text() const { return m_text; }

private:
    void pass(const QByteArray& pattern) {
        if (removeAll(m_text, pattern) > 0) m_text = lineListText(m_text);
    }

    QByteArray m_text;
    qint64 m_version = 0;
    QHash<QByteArray, qint64> m_absentAt;
};

bool accepts(const QByteArray& match, const KeywordSource& keyword) {
    // An empty keyword is never contained.
    const QByteArray key = lowerAscii(trimmed(keyword ? keyword() : QByteArray()));
    return !key.isEmpty() && lowerAscii(match).contains(key);
}

} // namespace

TextCleaning cleanText(const QByteArray& data, TPcreRegEx& matcher, const KeywordSource& keyword) {
    TextCleaning result;
    const QByteArray normalised = normaliseLineBreaks(data);
    const QByteArray subject = lineListText(normalised);
    matcher.setSubject(subject);
    if (!matcher.Match()) {
        // No rewrite from the line list: a missing final line break stays missing.
        result.text = normalised;
        return result;
    }
    result.ruleMatched = true;
    Remover remover(subject);
    do {
        const QByteArray m = matcher.Group(0);
        if (accepts(m, keyword) && remover.remove(m)) result.removed.append(m);
    } while (matcher.MatchNext());
    result.text = remover.text();
    return result;
}

} // namespace pw
