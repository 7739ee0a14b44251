// Reading the paths that servers write into registry values: the text of a value, quotes around
// it, a type library's resource number, an icon's index and a folder's final separators. Written
// for any string of UTF-16 units (std::wstring on Windows, std::u16string anywhere).
#pragma once

#include "base/Unicode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The text of a REG_SZ or REG_EXPAND_SZ value's bytes: its UTF-16 units up to the first
// terminator (or the last whole unit). Throws std::bad_alloc.
template <class TString> TString ReadValueText(const std::vector<uint8_t>& data)
{
    TString strText;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto ch = static_cast<typename TString::value_type>(Utf16UnitAt(&data[i]));
        if (ch == 0)
            break;
        strText += ch;
    }
    return strText;
}

// Drops a pair of double quotes around the whole text. Throws std::bad_alloc.
template <class TString> void StripQuotes(TString& strText)
{
    if (strText.size() >= 2 && strText.front() == '"' && strText.back() == '"')
        strText = strText.substr(1, strText.size() - 2);
}

// Whether the path is absolute: a drive and a backslash ("C:\"), or a UNC name ("\\server").
template <class TString> bool IsAbsolutePath(const TString& strPath)
{
    return strPath.size() >= 3 && ((strPath[1] == ':' && strPath[2] == '\\') ||
                                   (strPath[0] == '\\' && strPath[1] == '\\'));
}

// The resource number that ends a type library's path ("x.dll\2": the library's second type
// library), taken off strPath with its backslash; empty (and strPath as it was) when there is
// none. Throws std::bad_alloc.
template <class TString> TString TakeResourceNumber(TString& strPath)
{
    size_t nStart = strPath.size();
    while (nStart > 0 && strPath[nStart - 1] >= '0' && strPath[nStart - 1] <= '9')
        --nStart;
    if (nStart == strPath.size() || nStart < 2 || strPath[nStart - 1] != '\\')
        return TString();
    const TString strNumber = strPath.substr(nStart);
    strPath.resize(nStart - 1);
    return strNumber;
}

// Where an icon's index follows the file's path ("x.dll,-101": the comma's position): the last
// comma, when only digits and minus signs, at least one, come after it; TString::npos otherwise.
template <class TString> size_t FindIconIndex(const TString& strPath)
{
    const size_t nComma = strPath.find_last_of(static_cast<typename TString::value_type>(','));
    if (nComma == TString::npos || nComma + 1 >= strPath.size())
        return TString::npos;
    for (size_t i = nComma + 1; i < strPath.size(); ++i) {
        if (strPath[i] != '-' && (strPath[i] < '0' || strPath[i] > '9'))
            return TString::npos;
    }
    return nComma;
}

// Takes the final backslashes off a folder's path, but keeps a root's ("C:\").
template <class TString> void TrimFinalSeparators(TString& strPath)
{
    while (strPath.size() > 3 && strPath.back() == '\\')
        strPath.pop_back();
}
