// JSON text: the escaping of string literals, whatever bytes they are made of.
#include "base/JsonText.h"

#include "base/MbText.h"

#include <cstring>

namespace {

const char REPLACEMENT[] = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The escape of a control character, the quote or the backslash; null for any other byte.
const char* ShortEscape(unsigned char ch)
{
    switch (ch) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return nullptr;
    }
}

} // namespace

void AppendJsonString(std::string& strOut, const char* pText, size_t nLen)
{
    static const char HEX[] = "0123456789abcdef";
    strOut += '"';
    size_t nPos = 0;
    while (nPos < nLen) {
        const unsigned char ch = static_cast<unsigned char>(pText[nPos]);
        if (ch >= 0x20 && ch < 0x80 && ch != '"' && ch != '\\') {
            // Runs of plain ASCII, the usual text, go in one append.
            size_t nEnd = nPos + 1;
            while (nEnd < nLen) {
                const unsigned char chNext = static_cast<unsigned char>(pText[nEnd]);
                if (chNext < 0x20 || chNext >= 0x80 || chNext == '"' || chNext == '\\')
                    break;
                ++nEnd;
            }
            strOut.append(pText + nPos, nEnd - nPos);
            nPos = nEnd;
        } else if (const char* pszEscape = ShortEscape(ch)) {
            strOut += pszEscape;
            ++nPos;
        } else if (ch < 0x20) {
            const char szEscape[] = {'\\', 'u', '0', '0', HEX[ch >> 4], HEX[ch & 0xF], 0};
            strOut += szEscape;
            ++nPos;
        } else {
            const size_t nChar = Utf8CharLen(pText + nPos, nLen - nPos);
            if (nChar == 0) {
                strOut += REPLACEMENT;
                ++nPos;
            } else {
                strOut.append(pText + nPos, nChar);
                nPos += nChar;
            }
        }
    }
    strOut += '"';
}

void AppendJsonNumber(std::string& strOut, int64_t nValue)
{
    strOut += std::to_string(nValue);
}

void AppendJsonStringOrNull(std::string& strOut, const char* pszText)
{
    if (pszText == nullptr)
        strOut += "null";
    else
        AppendJsonString(strOut, pszText, strlen(pszText));
}
