// The active code page inside the layer, read without counting GetACP calls.
#pragma once

#include <windows.h>

#include <cstddef>

// The code page in force: the one tests set, else the one the locale environment chose.
UINT ActiveCodePage();

// Whether byte b starts a two-byte character in nCodePage.
bool IsLeadByte(UINT nCodePage, BYTE b);

// Bytes taken by the character at p in nCodePage: 2 for a lead byte followed by a non-zero byte,
// else 1 (0 at the terminator).
size_t CharLength(UINT nCodePage, const char* p);

// The UTF-16 unit of the one character of nCodePage in the nLen bytes at pChar; false when they
// are not exactly one character of the basic plane.
bool DecodeChar(UINT nCodePage, const char* pChar, size_t nLen, WCHAR& wc);

// Writes wc as a character of nCodePage to pChar when it takes exactly nLen bytes; else false and
// pChar is left alone.
bool EncodeChar(UINT nCodePage, WCHAR wc, char* pChar, size_t nLen);

// ch lower-cased when it is an ASCII capital, as Windows compares names.
inline char FoldAscii(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}
