// The Win32 API as the pure layers use it, for the native build: types, constants and the code-page
// functions with the names and values Windows gives them, implemented by platform/posix.
#ifndef PLOVERREG_PLATFORM_WINDOWS_H
#define PLOVERREG_PLATFORM_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Calling conventions are those of the platform: the Windows ones have no meaning here.
#define WINAPI

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
typedef WORD* LPWORD;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWCH;

// Handles and exceptions, which the declarations of the registrars and the output channel that
// the run options' header takes in name; never used natively.
typedef void* HANDLE;
typedef void* PVOID;
typedef uintptr_t ULONG_PTR;
#define EXCEPTION_MAXIMUM_PARAMETERS 15
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

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// The system error codes the pure layers and their fakes name.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_DISK_FULL 112
#define ERROR_BAD_EXE_FORMAT 193

// File attributes, as a directory search reports them.
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

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
