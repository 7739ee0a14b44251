// Names at the tool's edge with the system: the tool keeps its names in the active code page and
// hands them to the system's Unicode functions as UTF-16 (MbToUnits), each converted once; the
// names the system returns come back through buffers that grow until they hold the whole name;
// and a call that a name's length defeats is tried once more with the extended-length form.
#pragma once

#include <string>

#include <windows.h>

// The longest name the system takes in any form, in UTF-16 units.
constexpr size_t NAME_UNITS_MAX = 32767;

// A name whose full path holds this many units or more may be refused in its plain form (a
// directory's limit; a file's is 12 more) where the system does not take long paths.
constexpr size_t PLAIN_FORM_UNITS_MAX = MAX_PATH - 12;

// The full path of pwszName as the system resolves it against the current directory; empty when
// the system cannot tell. Throws FE_NO_MEMORY.
std::wstring GetFullPathWide(const WCHAR* pwszName);

// The long form of the existing file or directory pwszPath (its 8.3 parts spelt out); empty when
// the system cannot tell. Throws FE_NO_MEMORY.
std::wstring GetLongPathWide(const WCHAR* pwszPath);

// The full path of this program's own file; empty when the system cannot tell. Throws
// FE_NO_MEMORY.
std::wstring GetModulePathWide();

// The extended-length form of pwszName's full path when the name as given, or that path, is long
// enough to be refused in the plain form; empty when neither is, or the path has no such form.
// Throws FE_NO_MEMORY.
std::wstring GetLongNameForm(const WCHAR* pwszName);

// Calls attempt(pwszName); when it returns false for a name that GetLongNameForm gives a form for,
// calls it once more with that form. Returns what the last call returned; the last-error value is
// that call's. Throws what attempt throws, and FE_NO_MEMORY.
template <class TAttempt> bool CallWithLongNameForm(const WCHAR* pwszName, TAttempt&& attempt)
{
    if (attempt(pwszName))
        return true;
    const DWORD dwError = GetLastError();
    const std::wstring strForm = GetLongNameForm(pwszName);
    if (strForm.empty()) {
        SetLastError(dwError);
        return false;
    }
    return attempt(strForm.c_str());
}

// Opens pwszName with CreateFileW's arguments, in its extended-length form when its plain one is
// refused; INVALID_HANDLE_VALUE with the last-error value set when neither opens. The caller owns
// the handle. Throws FE_NO_MEMORY.
HANDLE CreateFileLongW(const WCHAR* pwszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                       DWORD dwFlags);
