#pragma once

#include <array>
#include <cstdint>

namespace pw {

// The byte classification shared by every content scan: built at compile time, so the tables
// exist before any criteria object and never change.
using TByteTable = std::array<unsigned char, 256>;

// A set of bytes, one bit per value.
class TByteSet {
public:
    constexpr bool contains(unsigned char b) const { return (m_words[b >> 6] >> (b & 63)) & 1u; }
    constexpr void add(unsigned char b) { m_words[b >> 6] |= std::uint64_t{1} << (b & 63); }

private:
    std::array<std::uint64_t, 4> m_words{};
};

namespace detail {

constexpr TByteTable makeIdentityTable() {
    TByteTable t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<unsigned char>(b);
    return t;
}

// Only 'A'-'Z' fold; bytes 0x80-0xFF stay as they are (no code page applies).
constexpr TByteTable makeLowerCaseTable() {
    TByteTable t = makeIdentityTable();
    for (int b = 'A'; b <= 'Z'; ++b)
        t[b] = static_cast<unsigned char>(b - 'A' + 'a');
    return t;
}

// Word bytes are ASCII letters, ASCII digits and every byte 0x80-0xFF, so that words written in
// UTF-8 are never split; every other byte, NUL and '_' included, is a delimiter.
constexpr bool isWordByte(int b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b >= 0x80;
}

constexpr TByteSet makeDelimiterSet() {
    TByteSet s;
    for (int b = 0; b < 256; ++b)
        if (!isWordByte(b)) s.add(static_cast<unsigned char>(b));
    return s;
}

} // namespace detail

// Entry b holds b.
inline constexpr TByteTable IdentityTable = detail::makeIdentityTable();
// Entry b holds b lowered ('A'-'Z' only).
inline constexpr TByteTable LowerCaseTable = detail::makeLowerCaseTable();
// The bytes that end a word for the whole-word option.
inline constexpr TByteSet DelimiterSet = detail::makeDelimiterSet();

} // namespace pw
