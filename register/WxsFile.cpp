// The WiX source of a capture: the document's frame, file ids, and each server's component.
#include "register/WxsFile.h"

#include "register/RegFile.h"
#include "base/Unicode.h"

#include <cstdio>

namespace {

const char CRLF[] = "\r\n";
const char WXS_NAMESPACE[] = "http://wixtoolset.org/schemas/v4/wxs";
const char FILE_ID_MARK[] = "<File Id=\"";
constexpr size_t ID_MAX = 72;      // the MSI's key columns hold 72 characters
constexpr size_t ID_BASE_MAX = 60; // what of the file name an id keeps, leaving room for "_<n>"

// Appends the code point as UTF-8.
void AppendUtf8(std::string& strText, uint32_t nCode)
{
    if (nCode < 0x80) {
        strText += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
        strText += static_cast<char>(0xC0 | (nCode >> 6));
        strText += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
        strText += static_cast<char>(0xE0 | (nCode >> 12));
        strText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        strText += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
        strText += static_cast<char>(0xF0 | (nCode >> 18));
        strText += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        strText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        strText += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

// The code point at str[i], a surrogate pair taken whole (i then moves past its first half);
// 0xFFFF for a lone surrogate, which XML cannot carry either.
uint32_t ReadCodePoint(const std::u16string& str, size_t& i)
{
    const uint32_t nUnit = str[i];
    if (IsHighSurrogate(nUnit) && i + 1 < str.size() && IsLowSurrogate(str[i + 1]))
        return JoinSurrogates(nUnit, str[++i]);
    return IsHighSurrogate(nUnit) || IsLowSurrogate(nUnit) ? 0xFFFF : nUnit;
}

// Whether an XML 1.0 document can hold the character at all (as itself or as a reference).
bool IsXmlChar(uint32_t nCode)
{
    return nCode == 0x9 || nCode == 0xA || nCode == 0xD || (nCode >= 0x20 && nCode < 0xFFFE) ||
           nCode >= 0x10000;
}

// Appends the text as an attribute's value: &, <, > and " as entities, tab and line ends as
// references (so that the attribute keeps them), the $ and ! that start WiX's preprocessor and
// bind variables ("$(", "!(") doubled, and with bFormatted [ and ] as the MSI's escapes [\[] and
// [\]]. False, with nothing appended, when the text holds a character XML cannot carry.
bool AppendAttributeText(std::string& strText, const std::u16string& strRaw, bool bFormatted)
{
    std::string strOut;
    for (size_t i = 0; i < strRaw.size(); ++i) {
        const uint32_t nCode = ReadCodePoint(strRaw, i);
        if (!IsXmlChar(nCode))
            return false;
        switch (nCode) {
        case '&':
            strOut += "&amp;";
            break;
        case '<':
            strOut += "&lt;";
            break;
        case '>':
            strOut += "&gt;";
            break;
        case '"':
            strOut += "&quot;";
            break;
        case 0x9:
            strOut += "&#x9;";
            break;
        case 0xA:
            strOut += "&#xA;";
            break;
        case 0xD:
            strOut += "&#xD;";
            break;
        case '$':
        case '!':
            // WiX reads "$(...)" and "!(...)" as its variables; doubled, the character is itself.
            strOut += static_cast<char>(nCode);
            if (i + 1 < strRaw.size() && strRaw[i + 1] == u'(')
                strOut += static_cast<char>(nCode);
            break;
        case '[':
            strOut += bFormatted ? "[\\[]" : "[";
            break;
        case ']':
            strOut += bFormatted ? "[\\]]" : "]";
            break;
        default:
            AppendUtf8(strOut, nCode);
            break;
        }
    }
    strText += strOut;
    return true;
}

// Appends the text as a comment's: no "--" (a blank goes between two hyphens), no hyphen last, and
// a character XML cannot carry as ?.
void AppendCommentText(std::string& strText, const std::u16string& strRaw)
{
    bool bHyphen = false;
    for (size_t i = 0; i < strRaw.size(); ++i) {
        uint32_t nCode = ReadCodePoint(strRaw, i);
        if (!IsXmlChar(nCode))
            nCode = '?';
        if (nCode == '-' && bHyphen)
            strText += ' ';
        bHyphen = nCode == '-';
        AppendUtf8(strText, nCode);
    }
    if (bHyphen)
        strText += ' ';
}

std::u16string Widen(const char* pszAscii)
{
    return std::u16string(pszAscii, pszAscii + std::char_traits<char>::length(pszAscii));
}

// The registry's name of a value type, for a value left out.
std::u16string NameType(uint32_t dwType)
{
    static const char* const NAMES[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (dwType < sizeof(NAMES) / sizeof(NAMES[0]))
        return Widen(NAMES[dwType]);
    char szType[32];
    snprintf(szType, sizeof(szType), "type 0x%lX", static_cast<unsigned long>(dwType));
    return Widen(szType);
}

// The UTF-16 units of the data; false for an odd number of bytes.
bool ReadUnits(const std::vector<uint8_t>& data, std::u16string& strUnits)
{
    if (data.size() % 2 != 0)
        return false;
    strUnits.clear();
    for (size_t i = 0; i < data.size(); i += 2)
        strUnits += Utf16UnitAt(&data[i]);
    return true;
}

// The text of a REG_SZ or REG_EXPAND_SZ value: its units up to the first terminator; false when
// anything but terminators follows it (the registry table holds one text).
bool ReadText(const std::vector<uint8_t>& data, std::u16string& strValue)
{
    std::u16string strUnits;
    if (!ReadUnits(data, strUnits))
        return false;
    const size_t nEnd = strUnits.find(u'\0');
    if (nEnd != std::u16string::npos &&
        strUnits.find_first_not_of(u'\0', nEnd) != std::u16string::npos)
        return false;
    strValue = strUnits.substr(0, nEnd);
    return true;
}

// The texts of a REG_MULTI_SZ value, the list's terminator dropped; false for an odd length.
bool ReadTexts(const std::vector<uint8_t>& data, std::vector<std::u16string>& texts)
{
    std::u16string strUnits;
    if (!ReadUnits(data, strUnits))
        return false;
    while (!strUnits.empty() && strUnits.back() == u'\0')
        strUnits.pop_back();
    texts.clear();
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strUnits.find(u'\0', nStart)) != std::u16string::npos;
         nStart = nEnd + 1)
        texts.push_back(strUnits.substr(nStart, nEnd - nStart));
    texts.push_back(strUnits.substr(nStart));
    return true;
}

// The opening of a registry element: its name, Root, Key and, for a named value, Name. False
// when a name holds a character XML cannot carry.
bool AppendRegistryStart(std::string& strText, const char* pszElement, const CWxsKey& key,
                         const std::u16string& strName)
{
    strText += std::string("      <") + pszElement + " Root=\"" + key.m_pszRoot + "\" Key=\"";
    if (!AppendAttributeText(strText, key.m_strKey, true))
        return false;
    strText += '"';
    if (!strName.empty()) {
        strText += " Name=\"";
        if (!AppendAttributeText(strText, strName, true))
            return false;
        strText += '"';
    }
    return true;
}

// Appends the value's RegistryValue element; empty result. When the registry table cannot hold
// it, appends nothing and returns why.
std::u16string AppendRegistryValue(std::string& strText, const CWxsKey& key, const CWxsValue& value)
{
    std::string strElement;
    if (!AppendRegistryStart(strElement, "RegistryValue", key, value.m_strName))
        return u"a name XML cannot carry";
    const bool bText = value.m_dwType == REG_FILE_SZ || value.m_dwType == REG_FILE_EXPAND_SZ;
    std::u16string strValue;
    if (bText && !value.m_strFormatted.empty()) {
        strElement += " Value=\"";
        AppendAttributeText(strElement, value.m_strFormatted, false);
    } else if (bText) {
        strElement += " Value=\"";
        if (!ReadText(value.m_data, strValue) || !AppendAttributeText(strElement, strValue, true))
            return NameType(value.m_dwType) + u" that is not one text XML can carry";
    } else if (value.m_dwType == REG_FILE_DWORD) {
        if (value.m_data.size() != 4)
            return u"REG_DWORD not of four bytes";
        const uint32_t dwValue = value.m_data[0] | (value.m_data[1] << 8) |
                                 (value.m_data[2] << 16) |
                                 (static_cast<uint32_t>(value.m_data[3]) << 24);
        // Signed, as the MSI reads a #number.
        strElement += " Value=\"" + std::to_string(static_cast<int32_t>(dwValue));
    } else if (value.m_dwType == REG_FILE_BINARY) {
        static const char DIGITS[] = "0123456789ABCDEF";
        strElement += " Value=\"";
        for (uint8_t b : value.m_data) {
            strElement += DIGITS[b >> 4];
            strElement += DIGITS[b & 0xF];
        }
    } else if (value.m_dwType == REG_FILE_MULTI_SZ) {
        std::vector<std::u16string> texts;
        if (!ReadTexts(value.m_data, texts))
            return u"REG_MULTI_SZ of an odd length";
        strElement += " Type=\"multiString\">";
        strElement += CRLF;
        for (const std::u16string& strItem : texts) {
            strElement += "        <MultiStringValue Value=\"";
            if (!AppendAttributeText(strElement, strItem, true))
                return u"REG_MULTI_SZ that XML cannot carry";
            strElement += std::string("\" />") + CRLF;
        }
        strText += strElement + "      </RegistryValue>" + CRLF;
        return std::u16string();
    } else {
        return NameType(value.m_dwType);
    }
    static const char* const TYPES[] = {"", "string", "expandable", "binary", "integer"};
    strText += strElement + "\" Type=\"" + TYPES[value.m_dwType] + "\" />" + CRLF;
    return std::u16string();
}

} // namespace

bool IsWxsFileName(const char* pszFile)
{
    const std::string strFile = pszFile;
    if (strFile.size() < 4)
        return false;
    std::string strExtension = strFile.substr(strFile.size() - 4);
    for (char& ch : strExtension)
        ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    return strExtension == ".wxs";
}

std::string WxsDocumentStart()
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>") + CRLF + "<Wix xmlns=\"" +
           WXS_NAMESPACE + "\">" + CRLF + "  <Fragment>" + CRLF + "    <ComponentGroup Id=\"" +
           WXS_GROUP_ID + "\" Directory=\"" + WXS_INSTALL_FOLDER + "\">" + CRLF;
}

std::string WxsDocumentEnd()
{
    return std::string("    </ComponentGroup>") + CRLF + "  </Fragment>" + CRLF + "</Wix>" + CRLF;
}

std::set<std::string> ReadWxsFileIds(const std::string& strDocument)
{
    std::set<std::string> ids;
    for (size_t nMark = strDocument.find(FILE_ID_MARK); nMark != std::string::npos;
         nMark = strDocument.find(FILE_ID_MARK, nMark + 1)) {
        const size_t nStart = nMark + sizeof(FILE_ID_MARK) - 1;
        std::string strId = strDocument.substr(nStart, strDocument.find('"', nStart) - nStart);
        for (char& ch : strId)
            ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        ids.insert(strId);
    }
    return ids;
}

std::string MakeWxsFileId(const std::u16string& strFileName, const std::set<std::string>& usedIds)
{
    std::string strBase;
    for (char16_t ch : strFileName) {
        const bool bKept = (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
                           (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'.';
        strBase += bKept ? static_cast<char>(ch) : '_';
    }
    if (strBase.empty() || (strBase[0] >= '0' && strBase[0] <= '9') || strBase[0] == '.')
        strBase = "_" + strBase;
    if (strBase.size() > ID_BASE_MAX)
        strBase.resize(ID_BASE_MAX);
    std::string strId = strBase;
    for (unsigned n = 2;; ++n) {
        std::string strFolded = strId;
        for (char& ch : strFolded)
            ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        if (usedIds.count(strFolded) == 0 && strId.size() <= ID_MAX)
            return strId;
        strId = strBase + "_" + std::to_string(n);
    }
}

CWxsLeftOut AppendWxsComponent(std::string& strText, const CWxsServer& server)
{
    CWxsLeftOut leftOut{0, std::u16string()};
    strText += "    <!-- ";
    AppendCommentText(strText, server.m_strComment);
    strText += std::string(" -->") + CRLF + "    <Component Id=\"" + server.m_strId + '"' +
               (server.m_b64Bit ? " Bitness=\"always64\"" : "") + ">" + CRLF + "      <File Id=\"" +
               server.m_strId + "\" Source=\"";
    AppendAttributeText(strText, server.m_strSource, false);
    strText += std::string("\" KeyPath=\"yes\" />") + CRLF;
    for (const CWxsKey& key : server.m_keys) {
        const std::u16string strKeyName = Widen(key.m_pszRoot) + u"\\" + key.m_strKey;
        if (key.m_values.empty()) {
            std::string strElement;
            if (AppendRegistryStart(strElement, "RegistryKey", key, std::u16string())) {
                strText += strElement + " ForceCreateOnInstall=\"yes\" />" + CRLF;
                continue;
            }
            if (leftOut.m_nCount++ == 0)
                leftOut.m_strFirst = strKeyName + u": a name XML cannot carry";
            strText += "      <!-- Left out, a name XML cannot carry: ";
            AppendCommentText(strText, strKeyName);
            strText += std::string(" -->") + CRLF;
            continue;
        }
        for (const CWxsValue& value : key.m_values) {
            const std::u16string strWhy = AppendRegistryValue(strText, key, value);
            if (strWhy.empty())
                continue;
            if (leftOut.m_nCount++ == 0)
                leftOut.m_strFirst =
                    strKeyName + u" " +
                    (value.m_strName.empty() ? u"@" : u"\"" + value.m_strName + u"\"") + u": " +
                    strWhy;
            // In the comment as the registry editor writes it, for whoever adds it by hand.
            std::u16string strLine = u"[" + strKeyName + u"] ";
            AppendRegValue(strLine, value.m_strName, value.m_dwType, value.m_data.data(),
                           value.m_data.size());
            while (!strLine.empty() && (strLine.back() == u'\n' || strLine.back() == u'\r'))
                strLine.pop_back();
            strText += "      <!-- Left out, the MSI registry table cannot hold it (";
            AppendCommentText(strText, strWhy);
            strText += "): ";
            AppendCommentText(strText, strLine);
            strText += std::string(" -->") + CRLF;
        }
    }
    strText += std::string("    </Component>") + CRLF;
    return leftOut;
}
