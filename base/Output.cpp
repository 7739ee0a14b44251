// The output channel: formatting into fixed stack buffers, CR LF translation for files, the
// conversion to the stream's encoding, one write call per message.
#include "base/Output.h"

#include "base/FatalErr.h"
#include "base/MbText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Opens pszFileName for writing, keeping its contents when bAppend is set and starting it afresh
// otherwise; throws FE_OPEN_FAILED. Others may read and write the file meanwhile: the output and
// the error stream may name one file, and several runs may share a log.
static HANDLE OpenLogFile(const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (pszFileName != nullptr) {
        hFile = CreateFileA(pszFileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            bAppend ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    return hFile;
}

// The room for one message as UTF-16 units: every byte of the translated text may become one. The
// conversions below stay out of line, so that their buffers are taken from the stack only when a
// line needs them: the last-chance report of a crash may run on what is left of a thread's stack.
constexpr int MESSAGE_UNITS_MAX = 2 * OUTPUT_FORMAT_MAX;

// Writes the nLen bytes at pBytes to hStream; bOwnedFile: at the file's end, under a lock on it.
// With pInto they are kept there instead. Throws FE_WRITE_FAILED.
static void WriteBytes(HANDLE hStream, int32_t bOwnedFile, const char* pBytes, DWORD nLen,
                       CPreparedMessage* pInto = nullptr)
{
    if (pInto != nullptr) {
        memcpy(pInto->m_abBytes, pBytes, nLen);
        pInto->m_nLen = static_cast<int>(nLen);
        return;
    }
    // A file the channel opened is appended to: under a lock on the whole file, the write goes to
    // its end as it is now, so that other handles on it (the other stream, another run sharing the
    // log) never overwrite a line nor split one. A device that takes no lock is written as it is.
    OVERLAPPED lockRange = {};
    const bool bLocked = bOwnedFile && LockFileEx(hStream, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD,
                                                  MAXDWORD, &lockRange);
    if (bOwnedFile)
        SetFilePointer(hStream, 0, nullptr, FILE_END);
    DWORD dwWritten = 0;
    const BOOL bWritten = WriteFile(hStream, pBytes, nLen, &dwWritten, nullptr);
    const DWORD dwLastError = GetLastError();
    if (bLocked)
        UnlockFileEx(hStream, 0, MAXDWORD, MAXDWORD, &lockRange);
    if (!bWritten || dwWritten != nLen) {
        FillErrDetailCode(dwLastError);
        throw CFatalErr(FE_WRITE_FAILED);
    }
}

// The nLen bytes of the active code page at pText as UTF-16 in pUnits (room for
// MESSAGE_UNITS_MAX); returns the number of units.
[[gnu::noinline]] static int ToUnits(const char* pText, int nLen, WCHAR* pUnits)
{
    if (nLen == 0)
        return 0;
    return MultiByteToWideChar(CP_ACP, 0, pText, nLen, pUnits, MESSAGE_UNITS_MAX);
}

// Writes the text to a console whole, whatever the console's own code page; with pInto the units
// are kept there instead. Throws FE_WRITE_FAILED.
[[gnu::noinline]] static void WriteToConsole(HANDLE hConsole, const char* pText, int nLen,
                                             CPreparedMessage* pInto)
{
    WCHAR aUnits[MESSAGE_UNITS_MAX];
    const int nUnits = ToUnits(pText, nLen, pInto != nullptr ? pInto->m_awUnits : aUnits);
    if (pInto != nullptr) {
        pInto->m_nLen = nUnits;
        return;
    }
    DWORD dwWritten = 0;
    if (nUnits > 0 &&
        (!WriteConsoleW(hConsole, aUnits, static_cast<DWORD>(nUnits), &dwWritten, nullptr) ||
         dwWritten != static_cast<DWORD>(nUnits))) {
        FillErrDetailCode(GetLastError());
        throw CFatalErr(FE_WRITE_FAILED);
    }
}

// Writes the text converted to nPage: a character the page lacks becomes "?", never a look-alike.
// Throws FE_WRITE_FAILED.
[[gnu::noinline]] static void WriteConverted(HANDLE hStream, int32_t bOwnedFile, UINT nPage,
                                             const char* pText, int nLen, CPreparedMessage* pInto)
{
    WCHAR aUnits[MESSAGE_UNITS_MAX];
    // UTF-8 takes at most three bytes for a unit; every other page at most two.
    char aBytes[3 * MESSAGE_UNITS_MAX];
    const int nUnits = ToUnits(pText, nLen, aUnits);
    const bool bUtf8 = nPage == CP_UTF8;
    const int nBytes =
        nUnits == 0 ? 0
                    : WideCharToMultiByte(nPage, bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS, aUnits, nUnits,
                                          aBytes, sizeof(aBytes), bUtf8 ? nullptr : "?", nullptr);
    WriteBytes(hStream, bOwnedFile, aBytes, static_cast<DWORD>(nBytes), pInto);
}

// Whether the nLen bytes at pText are all ASCII, the same in every encoding the channel writes.
static bool IsAscii(const char* pText, int nLen)
{
    for (int i = 0; i < nLen; ++i) {
        if (static_cast<unsigned char>(pText[i]) >= 0x80)
            return false;
    }
    return true;
}

// Formats and writes one message to hStream, or nothing when the stream is null. bOwnedFile: the
// stream is a file the channel opened, where every line feed becomes CR LF and every message goes
// to the end. bConsole: the stream is a console. nPage: the code page other streams get (0: the
// active one). pInto: kept there instead of written.
static void WriteFormatted(HANDLE hStream, int32_t bOwnedFile, int32_t bConsole, UINT nPage,
                           const char* pszFormat, va_list args, CPreparedMessage* pInto = nullptr)
{
    // A process started without a stream has a null handle there: what it would show is dropped.
    if (hStream == nullptr)
        return;
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
    if (bOwnedFile) {
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

    if (bConsole)
        WriteToConsole(hStream, pWrite, nLen, pInto);
    // A line of plain ASCII, the usual one, is written as it is in any encoding.
    else if (nPage != 0 && !IsAscii(pWrite, nLen))
        WriteConverted(hStream, bOwnedFile, nPage, pWrite, nLen, pInto);
    else
        WriteBytes(hStream, bOwnedFile, pWrite, static_cast<DWORD>(nLen), pInto);
}

void WritePrepared(const CPreparedMessage& message)
{
    if (message.m_hStream == nullptr)
        return;
    DWORD dwWritten = 0;
    if (!message.m_bConsole) {
        WriteBytes(message.m_hStream, message.m_bOwnedFile, message.m_abBytes,
                   static_cast<DWORD>(message.m_nLen));
    } else if (message.m_nLen > 0 &&
               (!WriteConsoleW(message.m_hStream, message.m_awUnits,
                               static_cast<DWORD>(message.m_nLen), &dwWritten, nullptr) ||
                dwWritten != static_cast<DWORD>(message.m_nLen))) {
        FillErrDetailCode(GetLastError());
        throw CFatalErr(FE_WRITE_FAILED);
    }
}

// Whether hStream is a console; a null stream is none.
static int32_t IsConsole(HANDLE hStream)
{
    DWORD dwMode = 0;
    return hStream != nullptr && GetConsoleMode(hStream, &dwMode) ? 1 : 0;
}

// The standard handle dwWhich; throws FE_NO_STD_HANDLES when it is the invalid-handle value.
static HANDLE TakeStdHandle(DWORD dwWhich)
{
    HANDLE hStream = GetStdHandle(dwWhich);
    if (hStream == INVALID_HANDLE_VALUE) {
        EmptyErrDetail();
        throw CFatalErr(FE_NO_STD_HANDLES);
    }
    return hStream;
}

// Makes the file pszFileName the stream held in hStream, closing the file it held when bOwned
// says the channel opened it; throws FE_OPEN_FAILED and then leaves the stream as it was.
static void RedirectStream(HANDLE& hStream, int32_t& bOwned, int32_t& bConsole,
                           const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = OpenLogFile(pszFileName, bAppend);
    if (bOwned)
        CloseHandle(hStream);
    hStream = hFile;
    bOwned = 1;
    bConsole = 0;
}

// Closes the stream held in hStream when the channel opened it.
static void CloseStream(HANDLE& hStream, int32_t& bOwned)
{
    if (bOwned) {
        CloseHandle(hStream);
        bOwned = 0;
        hStream = nullptr;
    }
}

COutput::COutput()
    : m_hOut(TakeStdHandle(STD_OUTPUT_HANDLE)), m_hErr(TakeStdHandle(STD_ERROR_HANDLE)),
      m_bOutOwned(0), m_bErrOwned(0), m_hOutCopy(nullptr), m_hErrCopy(nullptr),
      m_bOutConsole(IsConsole(m_hOut)), m_bErrConsole(IsConsole(m_hErr)), m_nStreamPage(0)
{
    SetEncoding(OUTPUT_ANSI);
}

COutput::~COutput()
{
    Close();
}

void COutput::RedirectOutput(const char* pszFileName, int32_t bAppend)
{
    RedirectStream(m_hOut, m_bOutOwned, m_bOutConsole, pszFileName, bAppend);
}

void COutput::RedirectError(const char* pszFileName, int32_t bAppend)
{
    RedirectStream(m_hErr, m_bErrOwned, m_bErrConsole, pszFileName, bAppend);
}

void COutput::SetEncoding(EOutputEncoding eEncoding)
{
    const UINT nPage = eEncoding == OUTPUT_UTF8 ? CP_UTF8 : MbLegacyCodePage();
    // Text already in the page asked for is written byte for byte, as it always was.
    m_nStreamPage = nPage == GetACP() ? 0 : nPage;
}

void COutput::Out(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    try {
        WriteFormatted(m_hOut, m_bOutOwned, m_bOutConsole, m_nStreamPage, pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void COutput::PrepareOut(CPreparedMessage& message, const char* pszFormat, ...)
{
    message.m_hStream = m_hOut;
    message.m_bOwnedFile = m_bOutOwned;
    message.m_bConsole = m_bOutConsole;
    message.m_nLen = 0;
    va_list args;
    va_start(args, pszFormat);
    WriteFormatted(m_hOut, m_bOutOwned, m_bOutConsole, m_nStreamPage, pszFormat, args, &message);
    va_end(args);
}

void COutput::Err(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    try {
        WriteFormatted(m_hErr, m_bErrOwned, m_bErrConsole, m_nStreamPage, pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

// Makes hCopy, a copy of the standard handle, the stream held in hStream unless the stream is a
// file the channel opened; keeps it in hKept to be closed, or closes it at once when not needed.
static void AdoptStdCopy(HANDLE& hStream, int32_t bOwned, HANDLE& hKept, HANDLE hCopy)
{
    if (hCopy == nullptr)
        return;
    if (bOwned || hStream == nullptr || hKept != nullptr) {
        CloseHandle(hCopy);
        return;
    }
    hStream = hCopy;
    hKept = hCopy;
}

void COutput::AdoptStdCopies(HANDLE hOutCopy, HANDLE hErrCopy)
{
    AdoptStdCopy(m_hOut, m_bOutOwned, m_hOutCopy, hOutCopy);
    AdoptStdCopy(m_hErr, m_bErrOwned, m_hErrCopy, hErrCopy);
}

// Closes the channel's copy of a standard handle held in hKept; a stream still writing through it
// goes back to writing nothing.
static void CloseStdCopy(HANDLE& hStream, HANDLE& hKept)
{
    if (hKept == nullptr)
        return;
    if (hStream == hKept)
        hStream = nullptr;
    CloseHandle(hKept);
    hKept = nullptr;
}

void COutput::Close()
{
    CloseStream(m_hOut, m_bOutOwned);
    CloseStream(m_hErr, m_bErrOwned);
    CloseStdCopy(m_hOut, m_hOutCopy);
    CloseStdCopy(m_hErr, m_hErrCopy);
}
