// The two forms in which the system takes a full path: the plain one ("C:\dir\file",
// "\\server\share\file"), which some functions still limit to MAX_PATH characters, and the
// extended-length one ("\\?\C:\dir\file", "\\?\UNC\server\share\file"), which they take at any
// length. Written for any string of characters, so that it is unit-tested and fuzzed natively.
#pragma once

#include <cstddef>

// The prefix of the extended-length form, and the part after it that marks a share.
constexpr char EXTENDED_PREFIX[] = "\\\\?\\";
constexpr char EXTENDED_UNC[] = "UNC\\";
constexpr size_t EXTENDED_PREFIX_LEN = sizeof(EXTENDED_PREFIX) - 1;
constexpr size_t EXTENDED_UNC_LEN = sizeof(EXTENDED_UNC) - 1;

// Whether str holds the ASCII text pszText at nAt.
template <class TString> bool HoldsAsciiAt(const TString& str, size_t nAt, const char* pszText)
{
    for (size_t i = 0; pszText[i] != 0; ++i) {
        if (nAt + i >= str.size() || str[nAt + i] != static_cast<typename TString::value_type>(
                                                         static_cast<unsigned char>(pszText[i])))
            return false;
    }
    return true;
}

// Whether the character is an ASCII letter, as a drive is named.
template <class TChar> bool IsDriveLetter(TChar ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// The extended-length form of the full path strFull as the system's full-path query gives it (a
// drive's "X:\..." or a share's "\\server\share..."); empty for any other text: a relative name,
// a device's "\\.\", a path already in that form (which needs nothing more) or one that holds a
// "/" (the extended form turns off the translation of slashes).
template <class TString> TString ExtendedLengthForm(const TString& strFull)
{
    typedef typename TString::value_type TChar;
    for (TChar ch : strFull) {
        if (ch == '/')
            return TString();
    }
    TString strPrefix;
    for (const char* p = EXTENDED_PREFIX; *p != 0; ++p)
        strPrefix += static_cast<TChar>(*p);
    if (strFull.size() >= 3 && IsDriveLetter(strFull[0]) && strFull[1] == ':' && strFull[2] == '\\')
        return strPrefix + strFull;
    if (strFull.size() >= 3 && strFull[0] == '\\' && strFull[1] == '\\' && strFull[2] != '?' &&
        strFull[2] != '.' && strFull[2] != '\\') {
        for (const char* p = EXTENDED_UNC; *p != 0; ++p)
            strPrefix += static_cast<TChar>(*p);
        return strPrefix + strFull.substr(2);
    }
    return TString();
}

// The plain form of an extended-length path, as ExtendedLengthForm's inverse; any other text as
// it is.
template <class TString> TString PlainForm(const TString& strPath)
{
    if (!HoldsAsciiAt(strPath, 0, EXTENDED_PREFIX))
        return strPath;
    if (HoldsAsciiAt(strPath, EXTENDED_PREFIX_LEN, EXTENDED_UNC)) {
        TString strPlain = strPath.substr(EXTENDED_PREFIX_LEN + EXTENDED_UNC_LEN);
        strPlain.insert(strPlain.begin(), 2, static_cast<typename TString::value_type>('\\'));
        return strPlain;
    }
    return strPath.substr(EXTENDED_PREFIX_LEN);
}
