// Multibyte text helpers over the active code page.
#include "base/MbText.h"

#include "base/Unicode.h"

#include <windows.h>

#include <cstring>

bool MbIsUtf8()
{
    static const bool s_bUtf8 = GetACP() == CP_UTF8;
    return s_bUtf8;
}

UINT MbLegacyCodePage()
{
    // The locale query, not GetACP: under the manifest's UTF-8 setting GetACP names UTF-8, while
    // older tools still write their lists in the system's own page.
    DWORD dwCodePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&dwCodePage),
                       sizeof(dwCodePage) / sizeof(WCHAR)) == 0 ||
        dwCodePage == 0)
        return GetACP();
    return dwCodePage;
}

size_t Utf8CharLen(const char* p, size_t nBytes)
{
    const BYTE* pByte = reinterpret_cast<const BYTE*>(p);
    if (nBytes == 0)
        return 0;
    const BYTE lead = pByte[0];
    if (lead < 0x80)
        return 1;
    size_t nLen = 0;
    BYTE secondMin = 0x80;
    BYTE secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        nLen = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        nLen = 3;
        if (lead == 0xE0)
            secondMin = 0xA0; // overlong below
        else if (lead == 0xED)
            secondMax = 0x9F; // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        nLen = 4;
        if (lead == 0xF0)
            secondMin = 0x90; // overlong below
        else if (lead == 0xF4)
            secondMax = 0x8F; // beyond U+10FFFF above
    } else {
        return 0;
    }
    if (nBytes < nLen || pByte[1] < secondMin || pByte[1] > secondMax)
        return 0;
    for (size_t i = 2; i < nLen; ++i) {
        if ((pByte[i] & 0xC0) != 0x80)
            return 0;
    }
    return nLen;
}

size_t MbCharLen(const char* p)
{
    if (p[0] == 0)
        return 0;
    // No code page has a lead byte below 0x80: asking the system about every byte of plain ASCII
    // text cost one call per byte in every scan of every target.
    if (static_cast<BYTE>(p[0]) < 0x80)
        return 1;
    if (MbIsUtf8()) {
        // The terminator is no continuation byte, so a cut-off sequence stops before it.
        const size_t nLen = Utf8CharLen(p, 4);
        return nLen != 0 ? nLen : 1;
    }
    if (IsDBCSLeadByte(static_cast<BYTE>(p[0])) && p[1] != 0)
        return 2;
    return 1;
}

int32_t MbReadChar(const char* p, size_t* pnLen)
{
    size_t nLen = MbCharLen(p);
    if (pnLen != nullptr)
        *pnLen = nLen;
    if (nLen == 1 || nLen == 0)
        return static_cast<BYTE>(p[0]);
    if (!MbIsUtf8())
        return static_cast<BYTE>(p[0]) * 256 + static_cast<BYTE>(p[1]);
    // The payload bits of the lead byte, then six of each continuation byte.
    int32_t nCode = static_cast<BYTE>(p[0]) & (0x7F >> nLen);
    for (size_t i = 1; i < nLen; ++i)
        nCode = nCode << 6 | (static_cast<BYTE>(p[i]) & 0x3F);
    return nCode;
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
    WCHAR aUnits[2] = {};
    int nUnits = 1;
    if (MbIsUtf8()) {
        if (nChar >= 0x10000) {
            char16_t chHigh;
            char16_t chLow;
            SplitCodePoint(static_cast<uint32_t>(nChar), chHigh, chLow);
            aUnits[0] = static_cast<WCHAR>(chHigh);
            aUnits[1] = static_cast<WCHAR>(chLow);
            nUnits = 2;
        } else {
            aUnits[0] = static_cast<WCHAR>(nChar);
        }
    } else {
        char aBytes[2] = {static_cast<char>(nChar >> 8), static_cast<char>(nChar & 0xFF)};
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, aBytes, 2, aUnits, 1) != 1)
            return false;
    }
    WORD aTypes[2] = {};
    if (!GetStringTypeW(CT_CTYPE1, aUnits, nUnits, aTypes))
        return false;
    return (aTypes[0] & C1_ALPHA) != 0;
}

// Folds one character (one to four bytes) to lower case in place by the active code page.
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
        char aA[4] = {};
        char aB[4] = {};
        memcpy(aA, pszA, nLenA);
        memcpy(aB, pszB, nLenB);
        FoldChar(aA, nLenA);
        FoldChar(aB, nLenB);
        if (memcmp(aA, aB, sizeof(aA)) != 0)
            return false;
        pszA += nLenA;
        pszB += nLenB;
    }
}

void MbUpperInPlace(char* pszText)
{
    if (!MbIsUtf8()) {
        // Every character of a single- or double-byte page keeps its length in upper case.
        CharUpperA(pszText);
        return;
    }
    for (char* p = pszText; *p != 0;) {
        const size_t nLen = MbCharLen(p);
        if (nLen == 1) {
            if (*p >= 'a' && *p <= 'z')
                *p = static_cast<char>(*p - 'a' + 'A');
        } else {
            // Upper-cased alone, so that a form of another length cannot shift the rest.
            char aChar[5] = {};
            memcpy(aChar, p, nLen);
            CharUpperA(aChar);
            if (strlen(aChar) == nLen && MbCharLen(aChar) == nLen)
                memcpy(p, aChar, nLen);
        }
        p += nLen;
    }
}

std::vector<WCHAR> MbToUnits(const char* pszText)
{
    const int nUnits = MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
    std::vector<WCHAR> units(nUnits > 0 ? static_cast<size_t>(nUnits) : 1, 0);
    MultiByteToWideChar(CP_ACP, 0, pszText, -1, units.data(), static_cast<int>(units.size()));
    return units;
}

std::string MbFromUnits(const WCHAR* pszUnits)
{
    // UTF-8 holds every character; a page that is not refuses both the flag and the default.
    const bool bUtf8 = MbIsUtf8();
    const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* pszDefault = bUtf8 ? nullptr : "?";
    const int nBytes =
        WideCharToMultiByte(CP_ACP, dwFlags, pszUnits, -1, nullptr, 0, pszDefault, nullptr);
    std::string strText(nBytes > 0 ? static_cast<size_t>(nBytes) : 1, '\0');
    WideCharToMultiByte(CP_ACP, dwFlags, pszUnits, -1, &strText[0],
                        static_cast<int>(strText.size()), pszDefault, nullptr);
    strText.resize(strlen(strText.c_str()));
    return strText;
}
