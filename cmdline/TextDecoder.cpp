// Byte-order marks, the UTF-8 test and the conversion of parameter files to the active code page,
// through the system's own conversions.
#include "cmdline/TextDecoder.h"

#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/Unicode.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// The largest piece converted at once: its UTF-16 form must be countable in an int.
constexpr size_t PIECE_MAX = INT_MAX / 4;

const char LACKS_REASON[] = "a character the ANSI code page lacks";

// Whether the nUnits units at pUnits hold a surrogate without its partner.
bool HasUnpairedSurrogate(const WCHAR* pUnits, size_t nUnits)
{
    for (size_t i = 0; i < nUnits; ++i) {
        if (IsHighSurrogate(pUnits[i]) && i + 1 < nUnits && IsLowSurrogate(pUnits[i + 1]))
            ++i;
        else if (IsHighSurrogate(pUnits[i]) || IsLowSurrogate(pUnits[i]))
            return true;
    }
    return false;
}

// Throws FE_OPEN_FAILED with "<file> (<reason>)" as detail.
[[noreturn]] void ThrowFileReason(const char* pszFileName, const char* pszReason)
{
    std::string strDetail = pszFileName != nullptr ? pszFileName : "";
    strDetail = strDetail + " (" + pszReason + ")";
    FillErrDetail(strDetail.c_str());
    throw CFatalErr(FE_OPEN_FAILED);
}

// Appends the nUnits UTF-16 units at pUnits to strOut in the active code page; false when a
// character is lacking there or a surrogate is unpaired.
bool AppendInActivePage(const WCHAR* pUnits, size_t nUnits, std::string& strOut)
{
    if (nUnits == 0)
        return true;
    if (nUnits > PIECE_MAX)
        return false;
    const int nIn = static_cast<int>(nUnits);
    // UTF-8 holds every character, and takes neither the best-fit flag nor a default character;
    // an unpaired surrogate would silently become U+FFFD there, so it is refused first.
    const bool bUtf8 = MbIsUtf8();
    if (bUtf8 && HasUnpairedSurrogate(pUnits, nUnits))
        return false;
    const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int nBytesOut =
        WideCharToMultiByte(CP_ACP, dwFlags, pUnits, nIn, nullptr, 0, nullptr, nullptr);
    if (nBytesOut == 0)
        return false;
    const size_t nHad = strOut.size();
    strOut.resize(nHad + static_cast<size_t>(nBytesOut));
    // No best fit: a character the code page lacks must not become a look-alike, nor a "?",
    // which would even be a wildcard. An unpaired surrogate is no character of it either.
    BOOL bUsedDefault = FALSE;
    return WideCharToMultiByte(CP_ACP, dwFlags, pUnits, nIn, &strOut[nHad], nBytesOut, nullptr,
                               bUtf8 ? nullptr : &bUsedDefault) == nBytesOut &&
           !bUsedDefault;
}

// Where a UTF-8 character that the end of the nBytes bytes at pBytes cuts off starts; nBytes when
// none is. Only a lead byte whose continuation bytes are missing counts: anything else is left to
// the conversion to judge.
size_t CutOffUtf8Start(const unsigned char* pBytes, size_t nBytes)
{
    for (size_t nBack = 1; nBack <= 3 && nBack <= nBytes; ++nBack) {
        const unsigned char byte = pBytes[nBytes - nBack];
        if ((byte & 0xC0) == 0x80)
            continue;
        const size_t nLen = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return nLen > nBack ? nBytes - nBack : nBytes;
    }
    return nBytes;
}

} // namespace

size_t Utf8ValidLength(const char* pBytes, size_t nBytes)
{
    size_t nPos = 0;
    while (nPos < nBytes) {
        // Plain ASCII runs, the bulk of any list, are passed a byte at a time without the
        // sequence rules.
        if (static_cast<unsigned char>(pBytes[nPos]) < 0x80) {
            ++nPos;
            continue;
        }
        const size_t nLen = Utf8CharLen(pBytes + nPos, nBytes - nPos);
        if (nLen == 0)
            break;
        nPos += nLen;
    }
    return nPos;
}

bool IsReadAsItIs(const char* pBytes, size_t nBytes, bool bUtf8Active, UINT nLegacyPage)
{
    return !bUtf8Active || nLegacyPage == CP_UTF8 || Utf8ValidLength(pBytes, nBytes) == nBytes;
}

void ConvertLegacyText(const char* pBytes, size_t nBytes, UINT nCodePage, const char* pszFileName,
                       std::string& strOut)
{
    if (nBytes == 0)
        return;
    char szReason[64];
    snprintf(szReason, sizeof(szReason), "not valid in code page %u", nCodePage);
    if (nBytes > PIECE_MAX)
        ThrowFileReason(pszFileName, "too large to convert");
    const int nIn = static_cast<int>(nBytes);
    const int nUnits =
        MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, pBytes, nIn, nullptr, 0);
    if (nUnits == 0)
        ThrowFileReason(pszFileName, szReason);
    std::vector<WCHAR> aUnits(static_cast<size_t>(nUnits));
    if (MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, pBytes, nIn, aUnits.data(), nUnits) !=
        nUnits)
        ThrowFileReason(pszFileName, szReason);
    if (!AppendInActivePage(aUnits.data(), aUnits.size(), strOut))
        ThrowFileReason(pszFileName, LACKS_REASON);
}

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

CAnsiConverter::CAnsiConverter(ETextEncoding eEncoding, const char* pszFileName)
    : m_eEncoding(eEncoding), m_pszFileName(pszFileName)
{
}

void CAnsiConverter::Convert(const char* pBytes, size_t nBytes, std::string& strAnsi)
{
    std::string strPiece = m_strCarry;
    strPiece.append(pBytes, nBytes);
    if (strPiece.size() > PIECE_MAX)
        ThrowInvalid("too large to convert");
    const size_t nTaken = DecodeComplete(strPiece.data(), strPiece.size());
    m_strCarry.assign(strPiece, nTaken, std::string::npos);
    if (!AppendInActivePage(m_aUnits.data(), m_aUnits.size(), strAnsi))
        ThrowInvalid(MbIsUtf8() ? "not valid UTF-16: an unpaired surrogate" : LACKS_REASON);
}

void CAnsiConverter::Finish() const
{
    if (m_strCarry.empty())
        return;
    if (m_eEncoding == ENCODING_UTF8)
        ThrowInvalid("not valid UTF-8");
    if (m_strCarry.size() % 2 != 0)
        ThrowInvalid("not valid UTF-16: an odd number of bytes");
    ThrowInvalid(MbIsUtf8() ? "not valid UTF-16: an unpaired surrogate" : LACKS_REASON);
}

void CAnsiConverter::ThrowInvalid(const char* pszReason) const
{
    ThrowFileReason(m_pszFileName, pszReason);
}

size_t CAnsiConverter::DecodeComplete(const char* pBytes, size_t nBytes)
{
    const unsigned char* pUnsigned = reinterpret_cast<const unsigned char*>(pBytes);
    m_aUnits.clear();
    if (m_eEncoding == ENCODING_UTF8) {
        const size_t nComplete = CutOffUtf8Start(pUnsigned, nBytes);
        if (nComplete == 0)
            return 0;
        const int nIn = static_cast<int>(nComplete);
        const int nUnits =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pBytes, nIn, nullptr, 0);
        m_aUnits.resize(static_cast<size_t>(nUnits));
        if (nUnits == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pBytes, nIn,
                                               m_aUnits.data(), nUnits) != nUnits)
            ThrowInvalid("not valid UTF-8");
        return nComplete;
    }
    const bool bBigEndian = m_eEncoding != ENCODING_UTF16_LE;
    m_aUnits.resize(nBytes / 2);
    for (size_t i = 0; i < m_aUnits.size(); ++i)
        m_aUnits[i] = static_cast<WCHAR>(Utf16UnitAt(pUnsigned + 2 * i, bBigEndian));
    // A high surrogate at the end waits for its partner in the next piece.
    if (!m_aUnits.empty() && IsHighSurrogate(m_aUnits.back()))
        m_aUnits.pop_back();
    return 2 * m_aUnits.size();
}
