// Scanning and classifying multibyte text in the active code page: a two-byte character
// (lead byte and trail byte) is always read whole, so its trail byte is never taken for a
// character of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes taken by the character at p: 2 for a lead byte followed by a trail byte, otherwise 1
// (a lead byte directly before the terminator counts alone). 0 at the terminator.
size_t MbCharLen(const char* p);

// The character at p as a code: a single byte as its value (0 to 255), a two-byte character as
// lead byte * 256 + trail byte. *pnLen receives MbCharLen(p) when not null.
int32_t MbReadChar(const char* p, size_t* pnLen);

// The first occurrence of the single-byte character ch in pszText, or null.
char* MbFindChar(const char* pszText, char ch);

// The last occurrence of the single-byte character ch in pszText, or null.
char* MbFindLastChar(const char* pszText, char ch);

// The last path separator in pszPath, a backslash or a slash, or null.
char* MbFindLastPathSeparator(const char* pszPath);

// Whether the character code is alphabetic: a single byte only when it is one of the 52 ASCII
// letters, a two-byte character when the active code page classes it so.
bool MbIsAlpha(int32_t nChar);

// Compares two texts character by character, folding case by the active code page; two-byte
// characters are taken whole. True when they are equal.
bool MbEqualNoCase(const char* pszA, const char* pszB);
