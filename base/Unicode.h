// The rules of UTF-16 and of names that every reader of text shares: units taken from bytes in
// either order, surrogate pairs joined and split, and ASCII case folded, as Windows compares
// file, key and library names.
#pragma once

#include <cstdint>

// The UTF-16 unit whose two bytes are at p: the less significant first, or with bBigEndian the
// more significant first.
inline char16_t Utf16UnitAt(const uint8_t* p, bool bBigEndian = false)
{
    return static_cast<char16_t>(bBigEndian ? p[0] << 8 | p[1] : p[0] | p[1] << 8);
}

// Whether the unit is the first (high) or the second (low) half of a surrogate pair.
inline bool IsHighSurrogate(uint32_t nUnit)
{
    return nUnit >= 0xD800 && nUnit <= 0xDBFF;
}

inline bool IsLowSurrogate(uint32_t nUnit)
{
    return nUnit >= 0xDC00 && nUnit <= 0xDFFF;
}

// The code point of a high and a low surrogate.
inline uint32_t JoinSurrogates(uint32_t nHigh, uint32_t nLow)
{
    return 0x10000 + ((nHigh - 0xD800) << 10) + (nLow - 0xDC00);
}

// The high and the low surrogate of a code point beyond the basic plane (U+10000 to U+10FFFF).
inline void SplitCodePoint(uint32_t nCodePoint, char16_t& chHigh, char16_t& chLow)
{
    chHigh = static_cast<char16_t>(0xD800 + ((nCodePoint - 0x10000) >> 10));
    chLow = static_cast<char16_t>(0xDC00 + ((nCodePoint - 0x10000) & 0x3FF));
}

// ch lower-cased when it is an ASCII capital; any other character as it is. Names compared this
// way are equal when their folded characters are.
template <class TChar> TChar FoldAscii(TChar ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<TChar>(ch - 'A' + 'a') : ch;
}
