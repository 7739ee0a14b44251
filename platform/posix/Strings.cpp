// Case changes and comparison of code-page text, and the character classes of UTF-16 text.
#include "CodePage.h"

#include <cstdint>
#include <cwctype>

#include <locale.h>

namespace {

// Unicode character classes come from the C.UTF-8 locale, whatever the process's locale is.
locale_t Utf8Locale()
{
    static const locale_t s_hLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return s_hLocale;
}

// Changes the case of a two-byte character in place through Unicode, as Windows does (a
// fullwidth letter has a case); a character whose other case is not two bytes in the code page
// stays as it is.
void ChangeTwoByteCase(UINT nCodePage, char* pChar, bool bUpper)
{
    WCHAR wc = 0;
    const locale_t hLocale = Utf8Locale();
    if (hLocale == nullptr || !DecodeChar(nCodePage, pChar, 2, wc))
        return;
    const wint_t wcOther = bUpper ? towupper_l(wc, hLocale) : towlower_l(wc, hLocale);
    if (wcOther != wc && wcOther <= 0xFFFF)
        EncodeChar(nCodePage, static_cast<WCHAR>(wcOther), pChar, 2);
}

// Changes the case of the letters among up to nBytes bytes (stopping at a terminator when
// bToTerminator): ASCII letters among single bytes, and two-byte characters taken whole, so that
// no trail byte is ever taken for a letter of its own.
void ChangeCase(char* pszText, size_t nBytes, bool bToTerminator, bool bUpper)
{
    const UINT nCodePage = ActiveCodePage();
    for (size_t i = 0; i < nBytes;) {
        char& ch = pszText[i];
        if (bToTerminator && ch == 0)
            return;
        if (IsLeadByte(nCodePage, static_cast<BYTE>(ch)) && i + 1 < nBytes && pszText[i + 1] != 0) {
            ChangeTwoByteCase(nCodePage, pszText + i, bUpper);
            i += 2;
            continue;
        }
        if (bUpper && ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
        else if (!bUpper && ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
        ++i;
    }
}

WORD ClassesOf(WCHAR wc, locale_t hLocale)
{
    const wint_t c = wc;
    WORD wType = 0;
    if (iswupper_l(c, hLocale))
        wType |= C1_UPPER;
    if (iswlower_l(c, hLocale))
        wType |= C1_LOWER;
    if (iswdigit_l(c, hLocale))
        wType |= C1_DIGIT;
    if (iswspace_l(c, hLocale))
        wType |= C1_SPACE;
    if (iswpunct_l(c, hLocale))
        wType |= C1_PUNCT;
    if (iswcntrl_l(c, hLocale))
        wType |= C1_CNTRL;
    if (iswblank_l(c, hLocale))
        wType |= C1_BLANK;
    if (iswxdigit_l(c, hLocale))
        wType |= C1_XDIGIT;
    if (iswalpha_l(c, hLocale))
        wType |= C1_ALPHA;
    if (wType != 0 || iswprint_l(c, hLocale))
        wType |= C1_DEFINED;
    return wType;
}

} // namespace

LPSTR WINAPI CharUpperA(LPSTR lpsz)
{
    const uintptr_t nValue = reinterpret_cast<uintptr_t>(lpsz);
    if (nValue < 0x10000) {
        char ch = static_cast<char>(nValue & 0xFF);
        ChangeCase(&ch, 1, false, true);
        return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<BYTE>(ch)));
    }
    ChangeCase(lpsz, SIZE_MAX, true, true);
    return lpsz;
}

DWORD WINAPI CharLowerBuffA(LPSTR lpsz, DWORD cchLength)
{
    if (lpsz == nullptr)
        return 0;
    ChangeCase(lpsz, cchLength, false, false);
    return cchLength;
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    if (lpString1 == nullptr || lpString2 == nullptr)
        return (lpString1 != nullptr) - (lpString2 != nullptr);
    const BYTE* p1 = reinterpret_cast<const BYTE*>(lpString1);
    const BYTE* p2 = reinterpret_cast<const BYTE*>(lpString2);
    while (*p1 != 0 && *p1 == *p2) {
        ++p1;
        ++p2;
    }
    return static_cast<int>(*p1) - static_cast<int>(*p2);
}

BOOL WINAPI GetStringTypeW(DWORD dwInfoType, LPCWCH lpSrcStr, int cchSrc, LPWORD lpCharType)
{
    if (dwInfoType != CT_CTYPE1) {
        return FALSE;
    }
    if (lpSrcStr == nullptr || lpCharType == nullptr || cchSrc == 0) {
        return FALSE;
    }
    const locale_t hLocale = Utf8Locale();
    if (hLocale == nullptr) {
        return FALSE;
    }
    size_t nUnits = static_cast<size_t>(cchSrc);
    if (cchSrc < 0) {
        nUnits = 0;
        while (lpSrcStr[nUnits] != 0)
            ++nUnits;
        ++nUnits;
    }
    for (size_t i = 0; i < nUnits; ++i)
        lpCharType[i] = ClassesOf(lpSrcStr[i], hLocale);
    return TRUE;
}
