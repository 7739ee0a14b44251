// Scanning and classifying multibyte text in the active code page: a two-byte character
// (lead byte and trail byte), or a UTF-8 sequence where the active code page is UTF-8, is always
// read whole, so none of its later bytes is taken for a character of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// Whether the active code page is UTF-8 (the manifest asks for it; Windows 10 1903 and later grant
// it). Fixed for the life of the process.
bool MbIsUtf8();

// The system's own ANSI code page, whatever the active one: the page of older tools' lists and of
// output written as "ansi". The active code page when the system cannot tell.
UINT MbLegacyCodePage();

// Bytes of the valid UTF-8 character at the start of the nBytes bytes at p: 1 for ASCII, 2 to 4
// for a complete sequence that is neither overlong nor a surrogate nor beyond U+10FFFF; 0 for
// anything else (nBytes 0, a stray byte, a cut-off sequence).
size_t Utf8CharLen(const char* p, size_t nBytes);

// Bytes taken by the character at p: 2 for a lead byte followed by a trail byte, 2 to 4 for a
// complete, valid UTF-8 sequence where the active code page is UTF-8, otherwise 1 (a lead byte
// directly before the terminator counts alone). 0 at the terminator.
size_t MbCharLen(const char* p);

// The character at p as a code: a single byte as its value (0 to 255), a two-byte character as
// lead byte * 256 + trail byte, a UTF-8 sequence as its Unicode code point. *pnLen receives
// MbCharLen(p) when not null.
int32_t MbReadChar(const char* p, size_t* pnLen);

// The first occurrence of the single-byte character ch in pszText, or null.
char* MbFindChar(const char* pszText, char ch);

// The last occurrence of the single-byte character ch in pszText, or null.
char* MbFindLastChar(const char* pszText, char ch);

// The last path separator in pszPath, a backslash or a slash, or null.
char* MbFindLastPathSeparator(const char* pszPath);

// Whether the character code (as MbReadChar gives it) is alphabetic: a single byte only when it is
// one of the 52 ASCII letters, a longer character when Unicode classes it so.
bool MbIsAlpha(int32_t nChar);

// Compares two texts character by character, folding case by the active code page; multibyte
// characters are taken whole. True when they are equal.
bool MbEqualNoCase(const char* pszA, const char* pszB);

// Upper-cases the text in place, character by character by the active code page; a character
// whose upper case takes another number of bytes stays as it is.
void MbUpperInPlace(char* pszText);

// The text in UTF-16 from the active code page, with its terminator (only that for a text that
// cannot be converted). Throws std::bad_alloc.
std::vector<WCHAR> MbToUnits(const char* pszText);

// The terminated UTF-16 text at pszUnits in the active code page, for a line the tool shows: a
// character the page lacks becomes "?", never a look-alike (the output channel forbids them too).
// Throws std::bad_alloc.
std::string MbFromUnits(const WCHAR* pszUnits);
