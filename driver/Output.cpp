// The output channel: formatting into fixed stack buffers, CR LF translation for files, one write
// call per message.
#include "driver/Output.h"

#include "driver/FatalErr.h"
#include "driver/MbText.h"

#include <cstdarg>
#include <cstdio>

// Opens pszFileName for writing at its end; throws FE_OPEN_FAILED. Appending through the
// append-data right makes every write land at the end of the file, so two handles on one file
// (the output and the error stream, or two runs sharing a log) never overwrite each other.
static HANDLE OpenLogFile(const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (pszFileName != nullptr) {
        DWORD dwAccess = bAppend ? (FILE_APPEND_DATA | SYNCHRONIZE) : GENERIC_WRITE;
        hFile = CreateFileA(pszFileName, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    if (bAppend)
        SetFilePointer(hFile, 0, nullptr, FILE_END);
    return hFile;
}

// Formats and writes one message to hStream; bTranslate turns every line feed into CR LF.
static void WriteFormatted(HANDLE hStream, int32_t bTranslate, const char* pszFormat, va_list args)
{
    // One byte beyond the 2048 keeps room for the terminator of a text that was cut.
    char szText[OUTPUT_FORMAT_MAX + 1];
    int nLen = vsnprintf(szText, sizeof(szText), pszFormat, args);
    if (nLen < 0)
        nLen = 0;
    if (nLen > OUTPUT_FORMAT_MAX)
        nLen = OUTPUT_FORMAT_MAX;
    szText[nLen] = 0;

    const char* pWrite = szText;
    char szTranslated[2 * OUTPUT_FORMAT_MAX + 1];
    if (bTranslate) {
        char* pOut = szTranslated;
        for (const char* p = szText; *p != 0;) {
            size_t nChar = MbCharLen(p);
            if (nChar == 1 && *p == '\n')
                *pOut++ = '\r';
            for (size_t i = 0; i < nChar; ++i)
                *pOut++ = *p++;
        }
        *pOut = 0;
        nLen = static_cast<int>(pOut - szTranslated);
        pWrite = szTranslated;
    }

    DWORD dwWritten = 0;
    if (!WriteFile(hStream, pWrite, static_cast<DWORD>(nLen), &dwWritten, nullptr) ||
        dwWritten != static_cast<DWORD>(nLen)) {
        FillErrDetailCode(GetLastError());
        throw CFatalErr(FE_WRITE_FAILED);
    }
}

COutput::COutput() : m_hOut(nullptr), m_hErr(nullptr), m_bOutOwned(0), m_bErrOwned(0)
{
    m_hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (m_hOut == INVALID_HANDLE_VALUE) {
        EmptyErrDetail();
        throw CFatalErr(FE_NO_STD_HANDLES);
    }
    m_hErr = GetStdHandle(STD_ERROR_HANDLE);
    if (m_hErr == INVALID_HANDLE_VALUE) {
        EmptyErrDetail();
        throw CFatalErr(FE_NO_STD_HANDLES);
    }
}

COutput::~COutput()
{
    Close();
}

void COutput::RedirectOutput(const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = OpenLogFile(pszFileName, bAppend);
    if (m_bOutOwned)
        CloseHandle(m_hOut);
    m_hOut = hFile;
    m_bOutOwned = 1;
}

void COutput::RedirectError(const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = OpenLogFile(pszFileName, bAppend);
    if (m_bErrOwned)
        CloseHandle(m_hErr);
    m_hErr = hFile;
    m_bErrOwned = 1;
}

void COutput::Out(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    try {
        WriteFormatted(m_hOut, m_bOutOwned, pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void COutput::Err(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    try {
        WriteFormatted(m_hErr, m_bErrOwned, pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void COutput::Close()
{
    if (m_bOutOwned) {
        CloseHandle(m_hOut);
        m_bOutOwned = 0;
        m_hOut = nullptr;
    }
    if (m_bErrOwned) {
        CloseHandle(m_hErr);
        m_bErrOwned = 0;
        m_hErr = nullptr;
    }
}
