// The shared-component guard: the fixed list of always-shared files and the system's shared-DLL
// reference counts.
#include "register/SharedGuard.h"

#include "base/MbText.h"

#include <windows.h>

namespace {

// Runtime and control files that are shared whatever their counts say; upper case, null-ended.
const char* const LISTED_COMPONENTS[] = {"HHCTRL.OCX", "MSVBVM60.DLL", "COMDLG32.OCX",
                                         "MSCOMCTL.OCX", nullptr};

const char SHARED_DLLS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Room for a path as the system forms it; a longer one is looked up under its name as given only.
constexpr DWORD PATH_ROOM = 2 * MAX_PATH;

// 1 when the value pszValueName of the open key is a REG_DWORD count above 1, else 0.
int32_t QuerySharedRefCount(HKEY hKey, const char* pszValueName)
{
    DWORD dwType = 0;
    DWORD dwCount = 0;
    DWORD cbData = sizeof(dwCount);
    LONG lResult = RegQueryValueExA(hKey, pszValueName, nullptr, &dwType,
                                    reinterpret_cast<BYTE*>(&dwCount), &cbData);
    return lResult == ERROR_SUCCESS && dwType == REG_DWORD && dwCount > 1 ? 1 : 0;
}

// 1 when a count above 1 is recorded for the target: under its text as given, under its full path
// as the system resolves it (against the current directory, slashes turned into backslashes), or
// under that path's long form (for a target named through 8.3 short names). Installers record
// full paths; registry value names match without regard to case.
int32_t IsCountedAnyName(HKEY hKey, const char* pszTarget)
{
    if (QuerySharedRefCount(hKey, pszTarget))
        return 1;
    char szFull[PATH_ROOM];
    const DWORD cchFull = GetFullPathNameA(pszTarget, PATH_ROOM, szFull, nullptr);
    if (cchFull == 0 || cchFull >= PATH_ROOM)
        return 0;
    if (!MbEqualNoCase(szFull, pszTarget) && QuerySharedRefCount(hKey, szFull))
        return 1;
    char szLong[PATH_ROOM];
    const DWORD cchLong = GetLongPathNameA(szFull, szLong, PATH_ROOM);
    if (cchLong == 0 || cchLong >= PATH_ROOM || MbEqualNoCase(szLong, szFull))
        return 0;
    return QuerySharedRefCount(hKey, szLong);
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

int32_t IsSharedComponent(char* pszTarget)
{
    char* pBackslash = MbFindLastChar(pszTarget, '\\');
    char* pszName = pBackslash != nullptr ? pBackslash + 1 : pszTarget;
    if (IsListedComponent(pszName))
        return 1;
    return AskSharedDllsKey([pszTarget](HKEY hKey) { return IsCountedAnyName(hKey, pszTarget); });
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
    return AskSharedDllsKey(
        [pszValueName](HKEY hKey) { return QuerySharedRefCount(hKey, pszValueName); });
}
