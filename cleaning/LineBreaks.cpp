#include "cleaning/LineBreaks.h"

namespace pw {

namespace {

// Position of the first CR or LF that is not part of a CR LF pair, or size when none.
qsizetype firstIrregularBreak(const char* p, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i) {
        if (p[i] == '\r') {
            if (i + 1 == size || p[i + 1] != '\n') return i;
            ++i;
        } else if (p[i] == '\n') {
            return i;
        }
    }
    return size;
}

bool endsWithBreak(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

} // namespace

QByteArray normaliseLineBreaks(const QByteArray& text) {
    const char* p = text.constData();
    const qsizetype size = text.size();
    qsizetype i = firstIrregularBreak(p, size);
    if (i == size) return text;

    QByteArray out;
    out.reserve(size + size / 16 + 16);
    out.append(p, i);
    for (; i < size; ++i) {
        const char c = p[i];
        if (c == '\r') {
            out.append("\r\n", 2);
            if (i + 1 < size && p[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out.append("\r\n", 2);
        } else {
            // Copy the run up to the next break in one piece.
            qsizetype j = i + 1;
            while (j < size && p[j] != '\r' && p[j] != '\n')
                ++j;
            out.append(p + i, j - i);
            i = j - 1;
        }
    }
    return out;
}

QByteArray lineListText(const QByteArray& text) {
    const bool needsFinalBreak = !text.isEmpty() && !endsWithBreak(text);
    QByteArray out = normaliseLineBreaks(text);
    if (needsFinalBreak) out.append("\r\n", 2);
    return out;
}

} // namespace pw
