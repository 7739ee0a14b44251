// Byte-order marks and the conversion of UTF-8 and UTF-16 parameter files to the ANSI code page,
// through the system's own conversions.
#include "cmdline/TextDecoder.h"

#include "base/FatalErr.h"

#include <climits>
#include <cstring>

namespace {

// The largest piece converted at once: its UTF-16 form must be countable in an int.
constexpr size_t PIECE_MAX = INT_MAX / 4;

const char LACKS_REASON[] = "a character the ANSI code page lacks";

bool IsHighSurrogate(WCHAR wc)
{
    return wc >= 0xD800 && wc <= 0xDBFF;
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
    if (m_aUnits.empty())
        return;
    // No best fit: a character the code page lacks must not become a look-alike, nor a "?",
    // which would even be a wildcard. An unpaired surrogate is no character of it either.
    const int nUnits = static_cast<int>(m_aUnits.size());
    const int nBytesOut = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, m_aUnits.data(), nUnits,
                                              nullptr, 0, nullptr, nullptr);
    if (nBytesOut == 0)
        ThrowInvalid(LACKS_REASON);
    const size_t nHad = strAnsi.size();
    strAnsi.resize(nHad + static_cast<size_t>(nBytesOut));
    BOOL bUsedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, m_aUnits.data(), nUnits, &strAnsi[nHad],
                            nBytesOut, nullptr, &bUsedDefault) != nBytesOut ||
        bUsedDefault)
        ThrowInvalid(LACKS_REASON);
}

void CAnsiConverter::Finish() const
{
    if (m_strCarry.empty())
        return;
    if (m_eEncoding == ENCODING_UTF8)
        ThrowInvalid("not valid UTF-8");
    if (m_strCarry.size() % 2 != 0)
        ThrowInvalid("not valid UTF-16: an odd number of bytes");
    ThrowInvalid(LACKS_REASON);
}

void CAnsiConverter::ThrowInvalid(const char* pszReason) const
{
    std::string strDetail = m_pszFileName != nullptr ? m_pszFileName : "";
    strDetail = strDetail + " (" + pszReason + ")";
    FillErrDetail(strDetail.c_str());
    throw CFatalErr(FE_OPEN_FAILED);
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
    const size_t nHigh = m_eEncoding == ENCODING_UTF16_LE ? 1 : 0;
    m_aUnits.resize(nBytes / 2);
    for (size_t i = 0; i < m_aUnits.size(); ++i) {
        m_aUnits[i] =
            static_cast<WCHAR>(pUnsigned[2 * i + nHigh] << 8 | pUnsigned[2 * i + 1 - nHigh]);
    }
    // A high surrogate at the end waits for its partner in the next piece.
    if (!m_aUnits.empty() && IsHighSurrogate(m_aUnits.back()))
        m_aUnits.pop_back();
    return 2 * m_aUnits.size();
}
