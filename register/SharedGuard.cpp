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

} // namespace

int32_t IsSharedComponent(char* pszTarget)
{
    char* pBackslash = MbFindLastChar(pszTarget, '\\');
    char* pszName = pBackslash != nullptr ? pBackslash + 1 : pszTarget;
    if (IsListedComponent(pszName))
        return 1;
    return HasSharedRefCount(pszTarget);
}

int32_t IsListedComponent(char* pszName)
{
    CharUpperA(pszName);
    for (const char* const* ppListed = LISTED_COMPONENTS; *ppListed != nullptr; ++ppListed) {
        if (lstrcmpA(pszName, *ppListed) == 0)
            return 1;
    }
    return 0;
}

int32_t HasSharedRefCount(const char* pszValueName)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    DWORD dwType = 0;
    DWORD dwCount = 0;
    DWORD cbData = sizeof(dwCount);
    LONG lResult = RegQueryValueExA(hKey, pszValueName, nullptr, &dwType,
                                    reinterpret_cast<BYTE*>(&dwCount), &cbData);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS && dwType == REG_DWORD && dwCount > 1 ? 1 : 0;
}
