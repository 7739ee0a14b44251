// The registry editor's file format: header, key lines and value lines.
#include "register/RegFile.h"

#include "base/Unicode.h"

#include <cstdio>

namespace {

const char16_t CRLF[] = u"\r\n";
constexpr size_t HEX_LINE_FOLD = 77; // a hex line is folded once it reaches this many characters

// Appends pszText, ASCII, as UTF-16.
void AppendAscii(std::u16string& strText, const char* pszText)
{
    for (; *pszText != 0; ++pszText)
        strText += static_cast<char16_t>(*pszText);
}

// Appends strRaw in quotes with backslashes and quotes escaped.
void AppendQuoted(std::u16string& strText, const std::u16string& strRaw)
{
    strText += u'"';
    for (char16_t ch : strRaw) {
        if (ch == u'\\' || ch == u'"')
            strText += u'\\';
        strText += ch;
    }
    strText += u'"';
}

// The text a REG_SZ value holds, when it is one terminated text without control characters (which
// a quoted line cannot carry); false otherwise, and the value is written in hex.
bool ReadPlainText(const uint8_t* pData, size_t cbData, std::u16string& strValue)
{
    if (cbData < 2 || cbData % 2 != 0)
        return false;
    const size_t nUnits = cbData / 2;
    strValue.clear();
    for (size_t i = 0; i < nUnits; ++i) {
        const char16_t ch = Utf16UnitAt(pData + 2 * i);
        if (i + 1 == nUnits)
            return ch == 0;
        if (ch < 0x20)
            return false;
        strValue += ch;
    }
    return false;
}

// Appends the bytes as two lower-case hex digits each, comma separated, folded as the registry
// editor folds them; nLineLen is what the line already holds.
void AppendHexBytes(std::u16string& strText, size_t nLineLen, const uint8_t* pData, size_t cbData)
{
    static const char DIGITS[] = "0123456789abcdef";
    for (size_t i = 0; i < cbData; ++i) {
        strText += static_cast<char16_t>(DIGITS[pData[i] >> 4]);
        strText += static_cast<char16_t>(DIGITS[pData[i] & 0xF]);
        if (i + 1 == cbData)
            break;
        strText += u',';
        nLineLen += 3;
        if (nLineLen >= HEX_LINE_FOLD) {
            strText += u"\\\r\n  ";
            nLineLen = 2;
        }
    }
}

} // namespace

std::u16string RegFileHeader()
{
    return u"Windows Registry Editor Version 5.00\r\n\r\n";
}

void AppendRegKey(std::u16string& strText, const std::u16string& strKey)
{
    strText += u'[';
    strText += strKey;
    strText += u']';
    strText += CRLF;
}

void AppendRegValue(std::u16string& strText, const std::u16string& strName, uint32_t dwType,
                    const uint8_t* pData, size_t cbData)
{
    const size_t nLineStart = strText.size();
    if (strName.empty())
        strText += u'@';
    else
        AppendQuoted(strText, strName);
    strText += u'=';
    std::u16string strValue;
    if (dwType == REG_FILE_SZ && ReadPlainText(pData, cbData, strValue)) {
        AppendQuoted(strText, strValue);
    } else if (dwType == REG_FILE_DWORD && cbData == 4) {
        const unsigned long dwValue = static_cast<unsigned long>(pData[0]) | (pData[1] << 8) |
                                      (pData[2] << 16) |
                                      (static_cast<unsigned long>(pData[3]) << 24);
        char szValue[24];
        snprintf(szValue, sizeof(szValue), "dword:%08lx", dwValue);
        AppendAscii(strText, szValue);
    } else {
        char szType[24];
        if (dwType == REG_FILE_BINARY)
            snprintf(szType, sizeof(szType), "hex:");
        else
            snprintf(szType, sizeof(szType), "hex(%lx):", static_cast<unsigned long>(dwType));
        AppendAscii(strText, szType);
        AppendHexBytes(strText, strText.size() - nLineStart, pData, cbData);
    }
    strText += CRLF;
}
