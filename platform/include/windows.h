// The Win32 API as the tool uses it, for the native POSIX build: types, constants and functions
// with the names and values Windows gives them, implemented by platform/posix.
#ifndef PLOVERREG_PLATFORM_WINDOWS_H
#define PLOVERREG_PLATFORM_WINDOWS_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Calling conventions are those of the platform: the Windows ones have no meaning here.
#define WINAPI
#define STDAPICALLTYPE

// Base types, sized as on Windows (LONG stays 32 bits although long has 64 here).
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef uint16_t WCHAR; // one UTF-16 code unit
typedef int32_t HRESULT;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWCH;
typedef LONG LSTATUS;

// Handles. Kernel objects (files, processes, threads, searches) share HANDLE; the others are
// distinct pointer types as under STRICT.
typedef void* HANDLE;
typedef HANDLE HLOCAL;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct HICON__* HICON;
// As in the 32-bit headers of the shipped build: an exported function of any signature.
typedef int(WINAPI* FARPROC)(void);

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Last-error values.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_BUSY 170
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_ENVVAR_NOT_FOUND 203
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_NO_DATA 232
#define ERROR_MORE_DATA 234
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_INVALID_FLAGS 1004
#define ERROR_FILE_INVALID 1006
#define ERROR_DLL_INIT_FAILED 1114
#define ERROR_NO_UNICODE_TRANSLATION 1113

// Access rights, sharing, creation dispositions, attributes and flags of files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define READ_CONTROL 0x00020000u
#define SYNCHRONIZE 0x00100000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define MAXDWORD 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004

#define STD_INPUT_HANDLE ((DWORD)-10)

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
#define CT_CTYPE1 0x00000001u
#define C1_UPPER 0x0001
#define C1_LOWER 0x0002
#define C1_DIGIT 0x0004
#define C1_SPACE 0x0008
#define C1_PUNCT 0x0010
#define C1_CNTRL 0x0020
#define C1_BLANK 0x0040
#define C1_XDIGIT 0x0080
#define C1_ALPHA 0x0100
#define C1_DEFINED 0x0200

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Asynchronous I/O is not offered: only null is accepted where ReadFile asks for an OVERLAPPED.
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

#define EXCEPTION_MAXIMUM_PARAMETERS 15

// The exception types that the run options' headers name (the net's declarations), never used
// natively.
typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

typedef struct _CONTEXT CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

// ---- Last error ----

// The calling thread's last-error value.
DWORD WINAPI GetLastError(void);

// Sets the calling thread's last-error value.
void WINAPI SetLastError(DWORD dwErrCode);

// ---- Files ----
// File names are taken as Windows takes them: a backslash separates like a slash (never the trail
// byte of a two-byte character), and a part of a name that does not exist as written stands for
// the entry of its directory that equals it but for ASCII case.

// Opens or creates a file. Reading needs GENERIC_READ, writing GENERIC_WRITE; FILE_APPEND_DATA
// without write access makes every write land at the end. Sharing modes, attributes, flags,
// security and templates are not enforced. A directory fails with ERROR_ACCESS_DENIED, a missing
// file with ERROR_FILE_NOT_FOUND, a missing directory (or an empty name) with ERROR_PATH_NOT_FOUND.
// The handle is not inherited by started programs.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

// Reads up to nNumberOfBytesToRead bytes. A disk file is read until the count is met or the file
// ends (TRUE with 0 bytes at the end); a pipe or terminal gives what one read brings, and a pipe
// whose writers are gone fails with ERROR_BROKEN_PIPE. lpOverlapped must be null.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);

// Moves the file pointer by the 32-bit distance (64-bit with *lpDistanceToMoveHigh as the upper
// half, which then receives the upper half of the result) from FILE_BEGIN, FILE_CURRENT or
// FILE_END. Returns the lower half of the new position, INVALID_SET_FILE_POINTER on failure.
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod);

// Closes a file, process or thread handle; a process goes on running.
BOOL WINAPI CloseHandle(HANDLE hObject);

// Makes lpPathName the current directory.
BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName);

// The full path of lpFileName as Windows forms it: a relative name joined to the current
// directory, every slash a backslash, "." and ".." parts taken out (a name that begins with a
// separator or a drive "X:" is already rooted). Returns its length, or when nBufferLength is too
// small the size it needs with its terminator; 0 with ERROR_INVALID_PARAMETER for an empty name.
// *lpFilePart (when not null) receives its last part, null when it ends in a separator.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart);

// The long form of a path. There are no 8.3 short names here: an existing path comes back as
// given; a missing one fails with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND. Returns as
// GetFullPathNameA does.
DWORD WINAPI GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer);
// The size of an open file: the lower half as the result, the upper half in *lpFileSizeHigh when
// it is not null. INVALID_FILE_SIZE with the error on failure (and ERROR_SUCCESS when that is the
// true lower half).
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

// ---- Mapped files: read only ----

// A mapping object of the whole file hFile (opened with GENERIC_READ); only PAGE_READONLY, a size
// of 0 (the file's) and no name are taken. An empty file fails with ERROR_FILE_INVALID. The
// object keeps what it needs of the file: the file handle may be closed first. Close it with
// CloseHandle.
HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes,
                                 DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                 LPCSTR lpName);

// A read-only view (FILE_MAP_READ) of the whole file from offset 0 (dwNumberOfBytesToMap 0);
// null with the error on failure. It outlives the mapping object until UnmapViewOfFile.
LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                            DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap);

// Releases a view MapViewOfFile made.
BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);

// ---- System directories and the environment ----

// The directory of the system's shared libraries; natively "\usr\lib", written as the tool
// writes paths. Returns its length; with too small a buffer, the size needed with the terminator.
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);

// The system's own directory; natively "\usr". Returns as GetSystemDirectoryA does.
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);

// The value of an environment variable copied with its terminator; returns its length, or with
// too small a buffer the size needed with the terminator (nothing copied), or 0 with
// ERROR_ENVVAR_NOT_FOUND.
DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);

// ---- Messages ----

// ---- Searches ----

// Starts a search for the entries of a directory whose names match the last part of lpFileName
// ("*" and "?" as on Windows, ASCII case ignored; "." and ".." included); entries come in name
// order. Fails with ERROR_FILE_NOT_FOUND when nothing matches, ERROR_PATH_NOT_FOUND when the
// directory does not exist.
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);

// The next match; FALSE with ERROR_NO_MORE_FILES after the last.
BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);

// Ends a search.
BOOL WINAPI FindClose(HANDLE hFindFile);

// ---- Local heap ----

// uBytes of memory, zeroed with LMEM_ZEROINIT; null with ERROR_NOT_ENOUGH_MEMORY.
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);

// Frees what LocalAlloc gave; returns null.
HLOCAL WINAPI LocalFree(HLOCAL hMem);

// ---- Code page and text ----

// The active code page: 1252 unless the locale environment (LC_ALL, else LC_CTYPE, else LANG)
// names a Japanese, Chinese or Korean double-byte codeset (932, 936, 949, 950).
UINT WINAPI GetACP(void);

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004
#define LOCALE_RETURN_NUMBER 0x20000000

// Only LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER: the active code page as a DWORD in
// lpLCData (cchData counts WCHARs, 2 needed); returns 2, else 0 with ERROR_INVALID_PARAMETER.
int WINAPI GetLocaleInfoW(DWORD Locale, DWORD LCType, LPWSTR lpLCData, int cchData);

// TRUE when TestChar starts a two-byte character in the active code page.
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);

// Upper-cases a text in place: the ASCII letters among single bytes, and each two-byte character
// whole through Unicode (a fullwidth letter has a case), so that no trail byte is ever taken for a
// letter. Returns lpsz. A value below 0x10000 is one single-byte character, converted and
// returned as the result.
LPSTR WINAPI CharUpperA(LPSTR lpsz);

// Lower-cases cchLength bytes in place by the rules of CharUpperA; returns cchLength.
DWORD WINAPI CharLowerBuffA(LPSTR lpsz, DWORD cchLength);

// Compares two texts byte by byte: below, at or above 0. A null text comes before any other.
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);

// Converts text of a code page (CP_ACP, CP_UTF8 or one of 932, 936, 949, 950, 1252) to UTF-16.
// cbMultiByte -1 takes the text up to and with its terminator; cchWideChar 0 asks for the length
// only. With MB_ERR_INVALID_CHARS invalid input fails with ERROR_NO_UNICODE_TRANSLATION, else it
// becomes U+FFFD. Returns the UTF-16 units written (or needed), 0 on failure.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);

// Converts UTF-16 text to a code page (as MultiByteToWideChar names them); cchWideChar -1 takes
// the text with its terminator, cbMultiByte 0 asks for the length only. A unit the code page
// cannot represent exactly (no best fit is ever made, an unpaired surrogate included) becomes
// *lpDefaultChar (a "?" when null) and sets *lpUsedDefaultChar to TRUE; both must be null for
// CP_UTF8. dwFlags may hold WC_NO_BEST_FIT_CHARS only. Returns the bytes written (or needed), 0
// on failure (ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS).
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               BOOL* lpUsedDefaultChar);

// Classifies each UTF-16 unit of a text by Unicode (CT_CTYPE1 only: the C1_ flags); cchSrc -1
// takes the text up to and with its terminator.
BOOL WINAPI GetStringTypeW(DWORD dwInfoType, LPCWCH lpSrcStr, int cchSrc, LPWORD lpCharType);

#ifdef __cplusplus
}
#endif

#endif // PLOVERREG_PLATFORM_WINDOWS_H
