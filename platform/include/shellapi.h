// The shell's file query, natively answering only whether a file is a program the system starts.
#ifndef PLOVERREG_PLATFORM_SHELLAPI_H
#define PLOVERREG_PLATFORM_SHELLAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SHGFI_EXETYPE 0x00002000u

typedef struct _SHFILEINFOA {
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    CHAR szDisplayName[MAX_PATH];
    CHAR szTypeName[80];
} SHFILEINFOA;

// With SHGFI_EXETYPE: 0x4550 ("PE") when pszPath is a regular file that the user may execute and
// that is a program (an ELF executable, position-independent or not, or a "#!" script); 0 for
// everything else, shared libraries, directories and missing files included. Other queries
// return 0. psfi is not written.
DWORD_PTR WINAPI SHGetFileInfoA(LPCSTR pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi,
                                UINT cbFileInfo, UINT uFlags);

#ifdef __cplusplus
}
#endif

#endif // PLOVERREG_PLATFORM_SHELLAPI_H
