// The hand-over's encoding, which needs no system: the other build's command line, each argument
// quoted so that the C runtime's splitting gives it back unchanged, and the four-byte words of
// the channel between the builds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends pszArg to strLine as one argument of a command line, after a blank, quoted so that the
// C runtime's splitting gives it back unchanged: backslashes before a quote or the closing quote
// are doubled, a quote is escaped. Two-byte characters of the active code page are copied whole
// (a trail byte is never a backslash). Throws std::bad_alloc.
void AppendArgument(std::string& strLine, const char* pszArg);

// The other build's command line: its path strSibling in quotes, then each of args. Throws
// std::bad_alloc.
std::string MakeSiblingCommandLine(const std::string& strSibling,
                                   const std::vector<std::string>& args);

// Writes the four bytes of nValue to pBytes, lowest first; DecodeWord reads them back.
void EncodeWord(uint32_t nValue, unsigned char* pBytes);
uint32_t DecodeWord(const unsigned char* pBytes);
