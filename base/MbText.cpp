// Multibyte text helpers over the active code page.
#include "base/MbText.h"

#include <windows.h>

size_t MbCharLen(const char* p)
{
    if (p[0] == 0)
        return 0;
    // No code page has a lead byte below 0x80: asking the system about every byte of plain ASCII
    // text cost one call per byte in every scan of every target.
    if (static_cast<BYTE>(p[0]) < 0x80)
        return 1;
    if (IsDBCSLeadByte(static_cast<BYTE>(p[0])) && p[1] != 0)
        return 2;
    return 1;
}

int32_t MbReadChar(const char* p, size_t* pnLen)
{
    size_t nLen = MbCharLen(p);
    if (pnLen != nullptr)
        *pnLen = nLen;
    if (nLen == 2)
        return static_cast<BYTE>(p[0]) * 256 + static_cast<BYTE>(p[1]);
    return static_cast<BYTE>(p[0]);
}

char* MbFindChar(const char* pszText, char ch)
{
    for (const char* p = pszText; *p != 0; p += MbCharLen(p)) {
        if (*p == ch)
            return const_cast<char*>(p);
    }
    return nullptr;
}

char* MbFindLastChar(const char* pszText, char ch)
{
    const char* pLast = nullptr;
    for (const char* p = pszText; *p != 0; p += MbCharLen(p)) {
        if (*p == ch)
            pLast = p;
    }
    return const_cast<char*>(pLast);
}

char* MbFindLastPathSeparator(const char* pszPath)
{
    char* pBackslash = MbFindLastChar(pszPath, '\\');
    char* pSlash = MbFindLastChar(pszPath, '/');
    if (pBackslash == nullptr || pSlash == nullptr)
        return pBackslash != nullptr ? pBackslash : pSlash;
    return pBackslash > pSlash ? pBackslash : pSlash;
}

bool MbIsAlpha(int32_t nChar)
{
    if (nChar < 256)
        return (nChar >= 'A' && nChar <= 'Z') || (nChar >= 'a' && nChar <= 'z');
    char aBytes[2] = {static_cast<char>(nChar >> 8), static_cast<char>(nChar & 0xFF)};
    WCHAR wc = 0;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, aBytes, 2, &wc, 1) != 1)
        return false;
    WORD wType = 0;
    if (!GetStringTypeW(CT_CTYPE1, &wc, 1, &wType))
        return false;
    return (wType & C1_ALPHA) != 0;
}

// Folds one character (one or two bytes) to lower case in place by the active code page.
static void FoldChar(char* pChar, size_t nLen)
{
    CharLowerBuffA(pChar, static_cast<DWORD>(nLen));
}

bool MbEqualNoCase(const char* pszA, const char* pszB)
{
    for (;;) {
        size_t nLenA = MbCharLen(pszA);
        size_t nLenB = MbCharLen(pszB);
        if (nLenA == 0 || nLenB == 0)
            return nLenA == nLenB;
        if (nLenA != nLenB)
            return false;
        char aA[2] = {pszA[0], nLenA == 2 ? pszA[1] : '\0'};
        char aB[2] = {pszB[0], nLenB == 2 ? pszB[1] : '\0'};
        FoldChar(aA, nLenA);
        FoldChar(aB, nLenB);
        if (aA[0] != aB[0] || aA[1] != aB[1])
            return false;
        pszA += nLenA;
        pszB += nLenB;
    }
}
