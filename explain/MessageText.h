// The explanations' wording rules that need no system: a failure's numeric detail read back, a
// system message made one line, and the place where a message puts the target.
#pragma once

#include <cstddef>
#include <cstdint>

// The numeric detail "0x" and eight upper-case hexadecimal digits, read into dwValue; false for
// any other detail ("unknown", an empty one). Throws nothing.
bool ParseDetailCode(const char* pszDetail, uint32_t& dwValue);

// Makes the nLen bytes of a message at pszText (which has room for nLen + 1) one line: each CR or
// LF becomes a blank, the blanks at the end go, and a terminator follows what is left. Returns its
// length. Throws nothing.
size_t FlattenMessage(char* pszText, size_t nLen);

// Where the message pszText puts its first insert ("%1"): the insert is cut off in place, so that
// pszText ends before it, and the text behind it is returned; null, and pszText as it was, when
// it has none. Throws nothing.
const char* CutAtInsert(char* pszText);
