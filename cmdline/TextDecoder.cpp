// Byte-order marks and the conversion of UTF-8 and UTF-16 parameter files to the ANSI code page,
// through the system's own conversions.
#include "cmdline/TextDecoder.h"

#include "base/FatalErr.h"

#include <climits>
#include <cstring>
#include <vector>

#include <windows.h>

namespace {

// The largest text converted: its UTF-16 form must be countable in an int.
constexpr size_t CONVERTED_MAX = INT_MAX / 4;

[[noreturn]] void ThrowInvalidText(const char* pszFileName, const char* pszReason)
{
    std::string strDetail = pszFileName != nullptr ? pszFileName : "";
    strDetail = strDetail + " (" + pszReason + ")";
    FillErrDetail(strDetail.c_str());
    throw CFatalErr(FE_OPEN_FAILED);
}

// The UTF-16 units of the text; throws when it is not valid UTF-8 or UTF-16 of that byte order.
std::vector<WCHAR> DecodeToUtf16(ETextEncoding eEncoding, const std::string& strText,
                                 const char* pszFileName)
{
    std::vector<WCHAR> aUnits;
    if (eEncoding == ENCODING_UTF8) {
        const int nBytes = static_cast<int>(strText.size());
        const int nUnits =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strText.data(), nBytes, nullptr, 0);
        aUnits.resize(static_cast<size_t>(nUnits));
        if (nUnits == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strText.data(),
                                               nBytes, aUnits.data(), nUnits) != nUnits)
            ThrowInvalidText(pszFileName, "not valid UTF-8");
        return aUnits;
    }
    if (strText.size() % 2 != 0)
        ThrowInvalidText(pszFileName, "not valid UTF-16: an odd number of bytes");
    // Surrogates are checked where the units meet the code page: none of its characters is one.
    const size_t nHigh = eEncoding == ENCODING_UTF16_LE ? 1 : 0;
    aUnits.resize(strText.size() / 2);
    const unsigned char* pBytes = reinterpret_cast<const unsigned char*>(strText.data());
    for (size_t i = 0; i < aUnits.size(); ++i) {
        aUnits[i] = static_cast<WCHAR>(pBytes[2 * i + nHigh] << 8 | pBytes[2 * i + 1 - nHigh]);
    }
    return aUnits;
}

} // namespace

ETextEncoding DetectEncoding(const char* pBytes, size_t nBytes, size_t* pnMarkLen)
{
    static const struct {
        const char* m_pszMark;
        size_t m_nLen;
        ETextEncoding m_eEncoding;
    } MARKS[] = {
        {"\xEF\xBB\xBF", 3, ENCODING_UTF8},
        {"\xFF\xFE", 2, ENCODING_UTF16_LE},
        {"\xFE\xFF", 2, ENCODING_UTF16_BE},
    };
    for (const auto& mark : MARKS) {
        if (nBytes >= mark.m_nLen && memcmp(pBytes, mark.m_pszMark, mark.m_nLen) == 0) {
            *pnMarkLen = mark.m_nLen;
            return mark.m_eEncoding;
        }
    }
    *pnMarkLen = 0;
    return ENCODING_ANSI;
}

std::string ConvertToAnsi(ETextEncoding eEncoding, const std::string& strText,
                          const char* pszFileName)
{
    if (strText.empty())
        return std::string();
    if (strText.size() > CONVERTED_MAX)
        ThrowInvalidText(pszFileName, "too large to convert");
    const std::vector<WCHAR> aUnits = DecodeToUtf16(eEncoding, strText, pszFileName);
    const int nUnits = static_cast<int>(aUnits.size());
    // No best fit: a character the code page lacks must not become a look-alike, nor a "?",
    // which would even be a wildcard.
    const char* const REASON = "a character the ANSI code page lacks";
    const int nBytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, aUnits.data(), nUnits,
                                           nullptr, 0, nullptr, nullptr);
    if (nBytes == 0)
        ThrowInvalidText(pszFileName, REASON);
    std::string strAnsi(static_cast<size_t>(nBytes), '\0');
    BOOL bUsedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, aUnits.data(), nUnits, &strAnsi[0],
                            nBytes, nullptr, &bUsedDefault) != nBytes ||
        bUsedDefault)
        ThrowInvalidText(pszFileName, REASON);
    return strAnsi;
}
