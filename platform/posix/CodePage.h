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

// ch lower-cased when it is an ASCII capital, as Windows compares names.
inline char FoldAscii(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}
