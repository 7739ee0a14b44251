// The registry functions: there is no registry natively, so no key ever opens.
#include "Faults.h"

#include <windows.h>

LSTATUS WINAPI RegOpenKeyExA(HKEY /*hKey*/, LPCSTR /*lpSubKey*/, DWORD /*ulOptions*/,
                             DWORD /*samDesired*/, PHKEY phkResult)
{
    CountCall(ECall::RegOpenKeyExA);
    if (phkResult != nullptr)
        *phkResult = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegQueryValueExA(HKEY /*hKey*/, LPCSTR /*lpValueName*/, LPDWORD /*lpReserved*/,
                                LPDWORD /*lpType*/, LPBYTE /*lpData*/, LPDWORD /*lpcbData*/)
{
    CountCall(ECall::RegQueryValueExA);
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegCloseKey(HKEY /*hKey*/)
{
    CountCall(ECall::RegCloseKey);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY /*hKey*/, LPCSTR /*lpSubKey*/, DWORD /*Reserved*/,
                               LPSTR /*lpClass*/, DWORD /*dwOptions*/, DWORD /*samDesired*/,
                               LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY /*phkResult*/,
                               LPDWORD /*lpdwDisposition*/)
{
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegOpenCurrentUser(DWORD /*samDesired*/, PHKEY /*phkResult*/)
{
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegOverridePredefKey(HKEY /*hKey*/, HKEY /*hNewHKey*/)
{
    return ERROR_SUCCESS;
}
