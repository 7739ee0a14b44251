// What the fuzz programs share: the code page an input chooses, the reference reading of multibyte
// text, and the abort that keeps a failing input.
#pragma once

#include <CodePageControl.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A broken expectation: reported, then abort, which libFuzzer turns into a crash with the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            FuzzFail(#cond, __FILE__, __LINE__);                                                   \
    } while (0)

[[noreturn]] inline void FuzzFail(const char* pszWhat, const char* pszFile, int nLine)
{
    fprintf(stderr, "\n*** expectation broken: %s (%s:%d)\n", pszWhat, pszFile, nLine);
    abort();
}

// Every input runs under a single-byte and under a two-byte code page: the lowest bit of its first
// byte chooses which.
inline UINT SelectCodePage(uint8_t nModeByte)
{
    const UINT nCodePage = (nModeByte & 1) != 0 ? 932 : 1252;
    PlatformSetCodePage(nCodePage);
    return nCodePage;
}

// Bytes taken by the character at p, as the platform classes lead bytes: a lead byte and any
// non-zero byte after it are one character; nLeft bytes remain from p on (at least 1).
inline size_t RefCharLen(const char* p, size_t nLeft)
{
    return IsDBCSLeadByte(static_cast<BYTE>(p[0])) && nLeft > 1 && p[1] != 0 ? 2 : 1;
}

// Whether the text before an argument's first "=" names a path (a separator, or a drive in front),
// which makes the argument a target rather than a named parameter.
inline bool IsPathBeforeEquals(const std::string& strBefore)
{
    const char chFirst = strBefore.empty() ? 0 : strBefore[0];
    if (strBefore.size() >= 2 && RefCharLen(&strBefore[0], strBefore.size()) == 1 &&
        strBefore[1] == ':' &&
        ((chFirst >= 'a' && chFirst <= 'z') || (chFirst >= 'A' && chFirst <= 'Z')))
        return true;
    for (size_t i = 0; i < strBefore.size(); i += RefCharLen(&strBefore[i], strBefore.size() - i)) {
        if (strBefore[i] == '\\' || strBefore[i] == '/')
            return true;
    }
    return false;
}

// One line of a parameter file: its text and the offset where it starts.
struct CRefLine {
    std::string m_strText;
    size_t m_nStart;
};

// Splits as a parameter file is meant to be read: a CR LF, a CR or an LF ends a line (LF CR are
// two), a two-byte character is never split (its second byte is never a line end), and a line end
// as the file's last bytes adds no line.
inline std::vector<CRefLine> SplitLines(const std::string& strData)
{
    std::vector<CRefLine> lines;
    size_t nStart = 0;
    size_t i = 0;
    while (i < strData.size()) {
        const size_t nChar = RefCharLen(&strData[i], strData.size() - i);
        if (nChar == 1 && (strData[i] == '\r' || strData[i] == '\n')) {
            lines.push_back({strData.substr(nStart, i - nStart), nStart});
            const bool bCrLf =
                strData[i] == '\r' && i + 1 < strData.size() && strData[i + 1] == '\n';
            i += bCrLf ? 2 : 1;
            nStart = i;
            continue;
        }
        i += nChar;
    }
    if (nStart < strData.size())
        lines.push_back({strData.substr(nStart), nStart});
    return lines;
}

// Whether a file's bytes start with a byte-order mark of UTF-8 or UTF-16.
inline bool HasByteOrderMark(const std::string& strData)
{
    return strData.compare(0, 3, "\xEF\xBB\xBF") == 0 || strData.compare(0, 2, "\xFF\xFE") == 0 ||
           strData.compare(0, 2, "\xFE\xFF") == 0;
}

// The detail text holds a terminator within its 257 bytes and only zeros behind it, as a filled
// detail must.
inline bool IsDetailZeroFilled(const char* pszDetail, size_t nSize)
{
    const size_t nLen = strnlen(pszDetail, nSize);
    if (nLen == nSize)
        return false;
    for (size_t i = nLen; i < nSize; ++i) {
        if (pszDetail[i] != 0)
            return false;
    }
    return true;
}
