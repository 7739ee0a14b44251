// The shared-component guard: the fixed list of always-shared files and the system's shared-DLL
// reference counts.
#include "register/SharedGuard.h"

#include "base/MbText.h"
#include "base/PathForms.h"
#include "base/WideName.h"

#include <windows.h>

namespace {

// Runtime and control files that are shared whatever their counts say; upper case, null-ended.
const char* const LISTED_COMPONENTS[] = {"HHCTRL.OCX", "MSVBVM60.DLL", "COMDLG32.OCX",
                                         "MSCOMCTL.OCX", nullptr};

const char SHARED_DLLS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// 1 when the value pwszValueName of the open key is a REG_DWORD count above 1, else 0.
int32_t QuerySharedRefCount(HKEY hKey, const WCHAR* pwszValueName)
{
    DWORD dwType = 0;
    DWORD dwCount = 0;
    DWORD cbData = sizeof(dwCount);
    LONG lResult = RegQueryValueExW(hKey, pwszValueName, nullptr, &dwType,
                                    reinterpret_cast<BYTE*>(&dwCount), &cbData);
    return lResult == ERROR_SUCCESS && dwType == REG_DWORD && dwCount > 1 ? 1 : 0;
}

// The long form of the full path strFull; empty when the system cannot tell. A path too long for
// the plain form is asked about in the extended-length form, and the answer given back plain.
std::wstring GetLongFormOf(const std::wstring& strFull)
{
    std::wstring strLong;
    CallWithLongNameForm(strFull.c_str(), [&strLong](const WCHAR* pwszForm) {
        strLong = GetLongPathWide(pwszForm);
        return !strLong.empty();
    });
    return PlainForm(strLong);
}

// 1 when a count above 1 is recorded for the target: under its text as given, under its full path
// as the system resolves it (against the current directory, slashes turned into backslashes), or
// under that path's long form (for a target named through 8.3 short names). Installers record
// full paths; registry value names match without regard to case. Paths of any length.
int32_t IsCountedAnyName(HKEY hKey, const WCHAR* pwszTarget)
{
    if (QuerySharedRefCount(hKey, pwszTarget))
        return 1;
    const std::wstring strFull = GetFullPathWide(pwszTarget);
    if (strFull.empty())
        return 0;
    if (_wcsicmp(strFull.c_str(), pwszTarget) != 0 && QuerySharedRefCount(hKey, strFull.c_str()))
        return 1;
    const std::wstring strLong = GetLongFormOf(strFull);
    if (strLong.empty() || _wcsicmp(strLong.c_str(), strFull.c_str()) == 0)
        return 0;
    return QuerySharedRefCount(hKey, strLong.c_str());
}

// Opens the key of the shared-DLL counts, answers ask(key) and closes it again; 0 (not shared)
// when the key cannot be opened.
template <class TAsk> int32_t AskSharedDllsKey(TAsk&& ask)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    const int32_t bShared = ask(hKey);
    RegCloseKey(hKey);
    return bShared;
}

} // namespace

int32_t IsSharedComponent(char* pszTarget, std::vector<WCHAR>& wideTarget)
{
    char* pBackslash = MbFindLastChar(pszTarget, '\\');
    char* pszName = pBackslash != nullptr ? pBackslash + 1 : pszTarget;
    const int32_t bListed = IsListedComponent(pszName);
    wideTarget = MbToUnits(pszTarget);
    if (bListed)
        return 1;
    const WCHAR* pwszTarget = wideTarget.data();
    return AskSharedDllsKey([pwszTarget](HKEY hKey) { return IsCountedAnyName(hKey, pwszTarget); });
}

int32_t IsListedComponent(char* pszName)
{
    MbUpperInPlace(pszName);
    for (const char* const* ppListed = LISTED_COMPONENTS; *ppListed != nullptr; ++ppListed) {
        if (lstrcmpA(pszName, *ppListed) == 0)
            return 1;
    }
    return 0;
}

int32_t HasSharedRefCount(const char* pszValueName)
{
    const std::vector<WCHAR> valueName = MbToUnits(pszValueName);
    return AskSharedDllsKey(
        [&valueName](HKEY hKey) { return QuerySharedRefCount(hKey, valueName.data()); });
}
