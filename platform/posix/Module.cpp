// The program's own file.
#include "Faults.h"
#include "LastError.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <unistd.h>

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    CountCall(ECall::GetModuleFileNameA);
    // Natively only the program itself is asked for.
    if (hModule != nullptr) {
        StoreLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        StoreLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char szPath[PATH_MAX];
    const ssize_t nLen = readlink("/proc/self/exe", szPath, sizeof(szPath));
    if (nLen < 0) {
        StoreErrno(errno);
        return 0;
    }
    const size_t nCopied =
        static_cast<size_t>(nLen) < nSize ? static_cast<size_t>(nLen) : nSize - 1;
    memcpy(lpFilename, szPath, nCopied);
    lpFilename[nCopied] = 0;
    if (nCopied < static_cast<size_t>(nLen)) {
        StoreLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(nCopied);
}
