#pragma once

#include "platform/ByteTables.h"

#include <QByteArray>

namespace pw {

// Finds the positions where a pattern occurs in a block of bytes read through a byte table:
// position k matches when Table[data[k + j]] == pattern[j] for every j. The search first looks
// for two rare bytes of the pattern at their distance from each other, sixteen positions at a
// time, and confirms each such candidate through the table. Immutable once built, so one
// finder serves every thread.
class TPhraseFinder {
public:
    TPhraseFinder() = default;
    TPhraseFinder(const QByteArray& pattern, const TByteTable& table);

    qsizetype length() const { return m_pattern.size(); }

    // The first matching position k with from <= k and k + length() <= size, or -1.
    qsizetype next(const unsigned char* data, qsizetype size, qsizetype from) const;

    // Whether the pattern matches at p (length() bytes are readable there).
    bool matchesAt(const unsigned char* p) const;

private:
    // How one pattern byte is found among raw bytes: (raw | foldBit) == value.
    struct Probe {
        qsizetype offset = 0;
        unsigned char value = 0;
        unsigned char foldBit = 0;
    };
    static bool probeFor(unsigned char patternByte, const TByteTable& table, Probe& probe);
    qsizetype scanTail(const unsigned char* data, qsizetype last, qsizetype k) const;

    QByteArray m_pattern;
    const TByteTable* m_table = &IdentityTable;
    Probe m_first;  // the rarest findable byte
    Probe m_second; // the next rarest one (the same byte for a one-byte pattern)
    bool m_hasProbes = false;
    bool m_impossible = false; // some pattern byte is the image of no raw byte
};

} // namespace pw
