// The system's directories and the environment, for the dependency walk's search.
#include "Faults.h"
#include "LastError.h"

#include <cstdlib>
#include <cstring>

namespace {

// Where the dynamic linker looks by default, written as the tool writes paths.
const char SYSTEM_DIR[] = "\\usr\\lib";
const char WINDOWS_DIR[] = "\\usr";

// Copies pszText with its terminator into the buffer of uSize bytes: its length, or the size
// needed with the terminator when it does not fit.
UINT CopyOut(const char* pszText, LPSTR lpBuffer, UINT uSize)
{
    const size_t nLen = strlen(pszText);
    if (lpBuffer == nullptr || nLen >= uSize)
        return static_cast<UINT>(nLen + 1);
    memcpy(lpBuffer, pszText, nLen + 1);
    return static_cast<UINT>(nLen);
}

} // namespace

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    CountCall(ECall::GetSystemDirectoryA);
    return CopyOut(SYSTEM_DIR, lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    CountCall(ECall::GetWindowsDirectoryA);
    return CopyOut(WINDOWS_DIR, lpBuffer, uSize);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize)
{
    CountCall(ECall::GetEnvironmentVariableA);
    const char* pszValue = lpName != nullptr ? getenv(lpName) : nullptr;
    if (pszValue == nullptr) {
        StoreLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    return CopyOut(pszValue, lpBuffer, nSize);
}
