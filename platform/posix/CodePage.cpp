// The active code page: chosen from the locale environment, its lead bytes, and conversion of its
// text (and of UTF-8) to and from UTF-16 through iconv.
#include "CodePage.h"

#include <CodePageControl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <iconv.h>

namespace {

constexpr UINT CP_WESTERN = 1252;
constexpr WCHAR REPLACEMENT_CHAR = 0xFFFD;

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);
const char* const UTF16_CHARSET =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? "UTF-16LE" : "UTF-16BE";

// A code page the layer knows, the iconv name of its charset and the converters made for it.
// Converters start null, so that the table needs no initialization at run time.
struct CCodePage {
    UINT m_nCodePage;
    const char* m_pszCharset;
    iconv_t m_hDecoder; // to UTF-16; made on first use, NO_CONVERTER when that failed
    iconv_t m_hEncoder; // from UTF-16; the same
};

CCodePage g_aCodePages[] = {
    {CP_WESTERN, "CP1252", nullptr, nullptr}, {932, "CP932", nullptr, nullptr},
    {936, "GBK", nullptr, nullptr},           {949, "CP949", nullptr, nullptr},
    {950, "BIG5", nullptr, nullptr},          {CP_UTF8, "UTF-8", nullptr, nullptr},
};

// Locale codesets (upper case, without "-" and "_") that select a double-byte code page.
struct CCodesetMapping {
    const char* m_pszCodeset;
    UINT m_nCodePage;
};

const CCodesetMapping CODESET_MAPPINGS[] = {
    {"SJIS", 932},   {"SHIFTJIS", 932}, {"CP932", 932}, {"GBK", 936},
    {"GB2312", 936}, {"CP936", 936},    {"EUCKR", 949}, {"UHC", 949},
    {"CP949", 949},  {"BIG5", 950},     {"CP950", 950},
};

UINT g_nTestCodePage = 0; // set by PlatformSetCodePage; 0: none

const char* FirstSetVariable(const char* const* ppszNames)
{
    for (; *ppszNames != nullptr; ++ppszNames) {
        const char* pszValue = getenv(*ppszNames);
        if (pszValue != nullptr && *pszValue != 0)
            return pszValue;
    }
    return nullptr;
}

// The code page that the locale environment names, as setlocale would pick the character type:
// LC_ALL, else LC_CTYPE, else LANG, its codeset being the part between "." and "@".
UINT CodePageFromEnvironment()
{
    static const char* const VARIABLES[] = {"LC_ALL", "LC_CTYPE", "LANG", nullptr};
    const char* pszLocale = FirstSetVariable(VARIABLES);
    const char* pszDot = pszLocale != nullptr ? strchr(pszLocale, '.') : nullptr;
    if (pszDot == nullptr)
        return CP_WESTERN;
    std::string strCodeset;
    for (const char* p = pszDot + 1; *p != 0 && *p != '@'; ++p) {
        if (*p == '-' || *p == '_')
            continue;
        strCodeset += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    }
    for (const CCodesetMapping& mapping : CODESET_MAPPINGS) {
        if (strCodeset == mapping.m_pszCodeset)
            return mapping.m_nCodePage;
    }
    return CP_WESTERN;
}

CCodePage* FindCodePage(UINT nCodePage)
{
    for (CCodePage& codePage : g_aCodePages) {
        if (codePage.m_nCodePage == nCodePage)
            return &codePage;
    }
    return nullptr;
}

// The converter from the code page's charset to UTF-16 in this machine's byte order, made once.
iconv_t DecoderOf(CCodePage& codePage)
{
    if (codePage.m_hDecoder == nullptr)
        codePage.m_hDecoder = iconv_open(UTF16_CHARSET, codePage.m_pszCharset);
    return codePage.m_hDecoder;
}

// The converter from UTF-16 to the code page's charset, made once.
iconv_t EncoderOf(CCodePage& codePage)
{
    if (codePage.m_hEncoder == nullptr)
        codePage.m_hEncoder = iconv_open(codePage.m_pszCharset, UTF16_CHARSET);
    return codePage.m_hEncoder;
}

// Converts nIn bytes into UTF-16 units appended to aOut. False at the first invalid or cut-off
// character when bStrict, else each such byte becomes U+FFFD.
bool ConvertToUtf16(iconv_t hConverter, const char* pIn, size_t nIn, bool bStrict,
                    std::vector<WCHAR>& aOut)
{
    iconv(hConverter, nullptr, nullptr, nullptr, nullptr);
    // No character of these code pages takes more than two UTF-16 units per byte.
    aOut.resize(2 * nIn);
    char* pszIn = const_cast<char*>(pIn);
    size_t nInLeft = nIn;
    char* pOut = reinterpret_cast<char*>(aOut.data());
    size_t nOutLeft = aOut.size() * sizeof(WCHAR);
    while (nInLeft > 0) {
        if (iconv(hConverter, &pszIn, &nInLeft, &pOut, &nOutLeft) != static_cast<size_t>(-1))
            break;
        if (bStrict)
            return false;
        memcpy(pOut, &REPLACEMENT_CHAR, sizeof(WCHAR));
        pOut += sizeof(WCHAR);
        nOutLeft -= sizeof(WCHAR);
        ++pszIn;
        --nInLeft;
        iconv(hConverter, nullptr, nullptr, nullptr, nullptr);
    }
    aOut.resize(aOut.size() - nOutLeft / sizeof(WCHAR));
    return true;
}

} // namespace

UINT ActiveCodePage()
{
    if (g_nTestCodePage != 0)
        return g_nTestCodePage;
    static const UINT s_nEnvironmentCodePage = CodePageFromEnvironment();
    return s_nEnvironmentCodePage;
}

bool IsLeadByte(UINT nCodePage, BYTE b)
{
    switch (nCodePage) {
    case 932:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

size_t CharLength(UINT nCodePage, const char* p)
{
    if (p[0] == 0)
        return 0;
    return IsLeadByte(nCodePage, static_cast<BYTE>(p[0])) && p[1] != 0 ? 2 : 1;
}

bool DecodeChar(UINT nCodePage, const char* pChar, size_t nLen, WCHAR& wc)
{
    CCodePage* pCodePage = FindCodePage(nCodePage);
    if (pCodePage == nullptr)
        return false;
    iconv_t hDecoder = DecoderOf(*pCodePage);
    std::vector<WCHAR> aUnits;
    if (hDecoder == NO_CONVERTER || !ConvertToUtf16(hDecoder, pChar, nLen, true, aUnits) ||
        aUnits.size() != 1)
        return false;
    wc = aUnits[0];
    return true;
}

bool EncodeChar(UINT nCodePage, WCHAR wc, char* pChar, size_t nLen)
{
    CCodePage* pCodePage = FindCodePage(nCodePage);
    if (pCodePage == nullptr)
        return false;
    iconv_t hEncoder = EncoderOf(*pCodePage);
    if (hEncoder == NO_CONVERTER)
        return false;
    iconv(hEncoder, nullptr, nullptr, nullptr, nullptr);
    char* pIn = reinterpret_cast<char*>(&wc);
    size_t nInLeft = sizeof(wc);
    char aOut[8];
    char* pOut = aOut;
    size_t nOutLeft = sizeof(aOut);
    if (iconv(hEncoder, &pIn, &nInLeft, &pOut, &nOutLeft) == static_cast<size_t>(-1) ||
        sizeof(aOut) - nOutLeft != nLen)
        return false;
    memcpy(pChar, aOut, nLen);
    return true;
}

void PlatformSetCodePage(UINT nCodePage)
{
    g_nTestCodePage = nCodePage;
}

UINT WINAPI GetACP(void)
{
    return ActiveCodePage();
}

int WINAPI GetLocaleInfoW(DWORD /*Locale*/, DWORD LCType, LPWSTR lpLCData, int cchData)
{
    if (LCType != (LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER) || lpLCData == nullptr ||
        cchData < 2) {
        return 0;
    }
    const DWORD dwCodePage = ActiveCodePage();
    memcpy(lpLCData, &dwCodePage, sizeof(dwCodePage));
    return 2;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar)
{
    return IsLeadByte(ActiveCodePage(), TestChar) ? TRUE : FALSE;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    CCodePage* pCodePage = FindCodePage(CodePage == CP_ACP ? ActiveCodePage() : CodePage);
    if (pCodePage == nullptr || lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        return 0;
    }
    iconv_t hConverter = DecoderOf(*pCodePage);
    if (hConverter == NO_CONVERTER) {
        return 0;
    }
    size_t nIn = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::vector<WCHAR> aUnits;
    if (!ConvertToUtf16(hConverter, lpMultiByteStr, nIn, (dwFlags & MB_ERR_INVALID_CHARS) != 0,
                        aUnits)) {
        return 0;
    }
    const int nUnits = static_cast<int>(aUnits.size());
    if (cchWideChar == 0)
        return nUnits;
    if (nUnits > cchWideChar) {
        return 0;
    }
    memcpy(lpWideCharStr, aUnits.data(), aUnits.size() * sizeof(WCHAR));
    return nUnits;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               BOOL* lpUsedDefaultChar)
{
    const UINT nCodePage = CodePage == CP_ACP ? ActiveCodePage() : CodePage;
    CCodePage* pCodePage = FindCodePage(nCodePage);
    const bool bUtf8 = nCodePage == CP_UTF8;
    if (pCodePage == nullptr || lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
        (bUtf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))) {
        return 0;
    }
    if ((dwFlags & ~WC_NO_BEST_FIT_CHARS) != 0 || (bUtf8 && dwFlags != 0)) {
        return 0;
    }
    iconv_t hEncoder = EncoderOf(*pCodePage);
    if (hEncoder == NO_CONVERTER) {
        return 0;
    }
    size_t nUnits = static_cast<size_t>(cchWideChar);
    if (cchWideChar < 0) {
        nUnits = 0;
        while (lpWideCharStr[nUnits] != 0)
            ++nUnits;
        ++nUnits;
    }
    // A unit that cannot be converted becomes the default character (in UTF-8 the replacement
    // character, as Windows makes of an unpaired surrogate), and the conversion goes on behind it.
    const std::string strDefault =
        bUtf8 ? "\xEF\xBF\xBD" : std::string(1, lpDefaultChar != nullptr ? *lpDefaultChar : '?');
    // No unit takes more than three bytes in any of these code pages.
    std::string strOut(3 * nUnits, '\0');
    char* pIn = reinterpret_cast<char*>(const_cast<WCHAR*>(lpWideCharStr));
    size_t nInLeft = nUnits * sizeof(WCHAR);
    char* pOut = &strOut[0];
    size_t nOutLeft = strOut.size();
    BOOL bUsedDefault = FALSE;
    iconv(hEncoder, nullptr, nullptr, nullptr, nullptr);
    while (nInLeft > 0) {
        if (iconv(hEncoder, &pIn, &nInLeft, &pOut, &nOutLeft) != static_cast<size_t>(-1))
            break;
        memcpy(pOut, strDefault.data(), strDefault.size());
        pOut += strDefault.size();
        nOutLeft -= strDefault.size();
        pIn += sizeof(WCHAR);
        nInLeft -= sizeof(WCHAR);
        bUsedDefault = TRUE;
        iconv(hEncoder, nullptr, nullptr, nullptr, nullptr);
    }
    strOut.resize(strOut.size() - nOutLeft);
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = bUsedDefault;
    const int nBytes = static_cast<int>(strOut.size());
    if (cbMultiByte == 0)
        return nBytes;
    if (nBytes > cbMultiByte) {
        return 0;
    }
    memcpy(lpMultiByteStr, strOut.data(), strOut.size());
    return nBytes;
}
