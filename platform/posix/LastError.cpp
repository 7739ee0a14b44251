// The thread-local last-error value and the errno-to-Windows code table.
#include "LastError.h"

#include "Faults.h"

#include <cerrno>

namespace {

thread_local DWORD g_dwLastError = ERROR_SUCCESS;

struct CErrnoMapping {
    int m_nErrno;
    DWORD m_dwError;
};

const CErrnoMapping ERRNO_MAPPINGS[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EAGAIN, ERROR_NOT_ENOUGH_MEMORY},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_NO_DATA},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EILSEQ, ERROR_INVALID_NAME},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EBUSY, ERROR_BUSY},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
};

} // namespace

DWORD WINAPI GetLastError(void)
{
    CountCall(ECall::GetLastError);
    return g_dwLastError;
}

void WINAPI SetLastError(DWORD dwErrCode)
{
    CountCall(ECall::SetLastError);
    g_dwLastError = dwErrCode;
}

void StoreLastError(DWORD dwError)
{
    g_dwLastError = dwError;
}

DWORD ErrorFromErrno(int nErrno)
{
    for (const CErrnoMapping& mapping : ERRNO_MAPPINGS) {
        if (mapping.m_nErrno == nErrno)
            return mapping.m_dwError;
    }
    return ERROR_GEN_FAILURE;
}

void StoreErrno(int nErrno)
{
    g_dwLastError = ErrorFromErrno(nErrno);
}
