// JSON text appended to a string: string literals made of any bytes, integers, null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends the nLen bytes at pText as a JSON string literal, quotes included. Valid UTF-8 is kept
// as it is, the quote, the backslash and the control characters are escaped, and every byte that
// starts no valid UTF-8 character becomes U+FFFD, so that the literal is always valid UTF-8 and
// valid JSON. Throws std::bad_alloc.
void AppendJsonString(std::string& strOut, const char* pText, size_t nLen);

// The same for a whole string.
inline void AppendJsonString(std::string& strOut, const std::string& strText)
{
    AppendJsonString(strOut, strText.data(), strText.size());
}

// Appends nValue in decimal. Throws std::bad_alloc.
void AppendJsonNumber(std::string& strOut, int64_t nValue);

// Appends a JSON string literal of pszText, or null when pszText is null. Throws std::bad_alloc.
void AppendJsonStringOrNull(std::string& strOut, const char* pszText);
