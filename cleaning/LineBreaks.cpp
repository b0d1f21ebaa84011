#include "cleaning/LineBreaks.h"

#include <cstring>

namespace pw {

namespace {

// Finds the line breaks of a text in order with two memchr cursors, one for CR and one for LF,
// each moved forward only when passed: linear, and vectorised by the C library.
class BreakScanner {
public:
    BreakScanner(const char* begin, const char* end)
        : m_end(end)
        , m_cr(find(begin, '\r'))
        , m_lf(find(begin, '\n')) {}

    // The next break at or after p: its position and length (2 for CR LF, else 1).
    bool next(const char* p, const char*& at, int& length) {
        if (m_cr && m_cr < p) m_cr = find(p, '\r');
        if (m_lf && m_lf < p) m_lf = find(p, '\n');
        if (m_cr && (!m_lf || m_cr < m_lf)) {
            at = m_cr;
            length = m_cr + 1 < m_end && m_cr[1] == '\n' ? 2 : 1;
            return true;
        }
        at = m_lf;
        length = 1;
        return m_lf != nullptr;
    }

private:
    const char* find(const char* from, char c) const {
        return static_cast<const char*>(std::memchr(from, c, size_t(m_end - from)));
    }

    const char* m_end;
    const char* m_cr;
    const char* m_lf;
};

bool endsWithBreak(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

} // namespace

QByteArray normaliseLineBreaks(const QByteArray& text) {
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    BreakScanner breaks(begin, end);
    const char* at = nullptr;
    int length = 0;
    const char* p = begin;
    while (breaks.next(p, at, length) && length == 2)
        p = at + 2;
    if (!at || length == 2) return text; // every break is already CR LF

    // At most one extra byte per break: size the result once and copy runs between breaks.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char* o = out.data();
    p = begin;
    do {
        std::memcpy(o, p, size_t(at - p));
        o += at - p;
        *o++ = '\r';
        *o++ = '\n';
        p = at + length;
    } while (breaks.next(p, at, length));
    std::memcpy(o, p, size_t(end - p));
    o += end - p;
    out.truncate(o - out.constData());
    return out;
}

QByteArray lineListText(const QByteArray& text) {
    const bool needsFinalBreak = !text.isEmpty() && !endsWithBreak(text);
    QByteArray out = normaliseLineBreaks(text);
    if (needsFinalBreak) out.append("\r\n", 2);
    return out;
}

} // namespace pw
