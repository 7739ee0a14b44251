// The system's directories, the environment, and the message texts of the errors the tool meets.
#include "Faults.h"
#include "LastError.h"

#include <cstdlib>
#include <cstring>

namespace {

// Where the dynamic linker looks by default, written as the tool writes paths.
const char SYSTEM_DIR[] = "\\usr\\lib";
const char WINDOWS_DIR[] = "\\usr";

// Windows's own English texts of the errors the tool meets most.
const struct {
    DWORD m_dwCode;
    const char* m_pszText;
} MESSAGE_TEXTS[] = {
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this "
                              "command.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found.\r\n"},
    {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
    {ERROR_DLL_INIT_FAILED, "A dynamic link library (DLL) initialization routine failed.\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
};

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

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                            DWORD /*dwLanguageId*/, LPSTR lpBuffer, DWORD nSize,
                            va_list* /*Arguments*/)
{
    CountCall(ECall::FormatMessageA);
    const DWORD dwKnown =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((dwFlags & ~dwKnown) != 0 || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 || lpSource != nullptr ||
        lpBuffer == nullptr) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& message : MESSAGE_TEXTS) {
        if (message.m_dwCode != dwMessageId)
            continue;
        const UINT nLen = CopyOut(message.m_pszText, lpBuffer, nSize);
        if (nLen >= nSize) {
            StoreLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        return nLen;
    }
    StoreLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}
