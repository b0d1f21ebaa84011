#include "search/PhraseFinder.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pw {

namespace {

// How common a byte is in web text, higher meaning more common; the probes go to the rarest.
int commonness(unsigned char b) {
    static constexpr char Ordered[] = " etaoinsrlhdcupmgfbywvkxjqz<>/=\"'.-_:;,()0123456789"
                                      "\n\r\t{}[]#&?!%+*@|$\\^~`";
    if (b >= 'A' && b <= 'Z') return commonness(static_cast<unsigned char>(b - 'A' + 'a')) / 2;
    if (b >= 0x80) return 120; // UTF-8 and GBK text
    if (const void* hit = std::memchr(Ordered, b, sizeof Ordered - 1))
        return 255 - static_cast<int>(static_cast<const char*>(hit) - Ordered);
    return 0;
}

} // namespace

TPhraseFinder::TPhraseFinder(const QByteArray& pattern, const TByteTable& table)
    : m_pattern(pattern)
    , m_table(&table) {
    int rarest = 1 << 30;
    int secondRarest = 1 << 30;
    for (qsizetype j = 0; j < pattern.size(); ++j) {
        Probe probe;
        bool any = false;
        for (int raw = 0; raw < 256; ++raw)
            any = any || table[raw] == static_cast<unsigned char>(pattern[j]);
        if (!any) {
            m_impossible = true;
            return;
        }
        if (!probeFor(static_cast<unsigned char>(pattern[j]), table, probe)) continue;
        probe.offset = j;
        const int c = commonness(probe.value);
        if (c < rarest) {
            m_second = m_first;
            secondRarest = rarest;
            m_first = probe;
            rarest = c;
            m_hasProbes = true;
        } else if (c < secondRarest) {
            m_second = probe;
            secondRarest = c;
        }
    }
    if (m_hasProbes && secondRarest == 1 << 30) m_second = m_first;
}

// A byte is findable when exactly one raw byte maps to it, or exactly the two raw bytes that
// differ only in bit 0x20 (an ASCII letter in either case).
bool TPhraseFinder::probeFor(unsigned char patternByte, const TByteTable& table, Probe& probe) {
    int count = 0;
    unsigned char raws[2] = {};
    for (int raw = 0; raw < 256; ++raw) {
        if (table[raw] != patternByte) continue;
        if (count == 2) return false;
        raws[count++] = static_cast<unsigned char>(raw);
    }
    if (count == 1) {
        probe.value = raws[0];
        probe.foldBit = 0;
        return true;
    }
    if (count == 2 && (raws[0] ^ raws[1]) == 0x20) {
        probe.value = raws[0] | 0x20;
        probe.foldBit = 0x20;
        return true;
    }
    return false;
}

bool TPhraseFinder::matchesAt(const unsigned char* p) const {
    const auto* pattern = reinterpret_cast<const unsigned char*>(m_pattern.constData());
    const TByteTable& table = *m_table;
    for (qsizetype j = 0; j < m_pattern.size(); ++j)
        if (table[p[j]] != pattern[j]) return false;
    return true;
}

qsizetype TPhraseFinder::scanTail(const unsigned char* data, qsizetype last, qsizetype k) const {
    if (m_hasProbes && m_first.foldBit == 0) {
        // One exact byte: let the C library find each occurrence.
        while (k <= last) {
            const void* hit = std::memchr(data + k + m_first.offset, m_first.value,
                                          static_cast<size_t>(last - k + 1));
            if (!hit) return -1;
            k = static_cast<const unsigned char*>(hit) - data - m_first.offset;
            if (matchesAt(data + k)) return k;
            ++k;
        }
        return -1;
    }
    for (; k <= last; ++k) {
        if (m_hasProbes && (data[k + m_first.offset] | m_first.foldBit) != m_first.value) continue;
        if (matchesAt(data + k)) return k;
    }
    return -1;
}

qsizetype TPhraseFinder::next(const unsigned char* data, qsizetype size, qsizetype from) const {
    const qsizetype last = size - m_pattern.size();
    if (m_impossible || m_pattern.isEmpty() || from > last) return -1;
    qsizetype k = from;
#ifdef __SSE2__
    if (m_hasProbes) {
        const __m128i value1 = _mm_set1_epi8(static_cast<char>(m_first.value));
        const __m128i fold1 = _mm_set1_epi8(static_cast<char>(m_first.foldBit));
        const __m128i value2 = _mm_set1_epi8(static_cast<char>(m_second.value));
        const __m128i fold2 = _mm_set1_epi8(static_cast<char>(m_second.foldBit));
        // Sixteen candidate positions k..k+15 at once, all of them at most last, so every load
        // stays inside the block.
        for (; k + 15 <= last; k += 16) {
            const __m128i a =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + m_first.offset));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + m_second.offset));
            const __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, fold1), value1),
                                               _mm_cmpeq_epi8(_mm_or_si128(b, fold2), value2));
            for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
                 mask &= mask - 1) {
                const qsizetype at = k + __builtin_ctz(mask);
                if (matchesAt(data + at)) return at;
            }
        }
    }
#endif
    return scanTail(data, last, k);
}

} // namespace pw
