#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace pw {

// A set of enumeration members stored as a bit word: member i is bit i. The stored word is the
// set's value, so a set of eight members fits in one byte and compares as one.
template <typename E, typename Bits = std::uint8_t>
class EnumSet {
    static_assert(std::is_enum_v<E>);
    static_assert(std::is_unsigned_v<Bits>);

public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> members) {
        for (E m : members)
            m_bits |= bit(m);
    }

    static constexpr EnumSet fromBits(Bits bits) {
        EnumSet s;
        s.m_bits = bits;
        return s;
    }
    constexpr Bits bits() const { return m_bits; }

    constexpr bool contains(E m) const { return (m_bits & bit(m)) != 0; }
    constexpr bool empty() const { return m_bits == 0; }

    constexpr EnumSet& operator+=(E m) {
        m_bits |= bit(m);
        return *this;
    }
    constexpr EnumSet& operator-=(E m) {
        m_bits &= static_cast<Bits>(~bit(m));
        return *this;
    }
    constexpr EnumSet operator+(EnumSet o) const { return fromBits(m_bits | o.m_bits); }
    constexpr EnumSet operator-(EnumSet o) const { return fromBits(m_bits & ~o.m_bits); }
    constexpr EnumSet operator*(EnumSet o) const { return fromBits(m_bits & o.m_bits); }
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr Bits bit(E m) {
        const auto i = static_cast<unsigned>(m);
        return i < sizeof(Bits) * 8 ? static_cast<Bits>(Bits{1} << i) : Bits{0};
    }
    Bits m_bits = 0;
};

} // namespace pw
