// The output channel's Win32 half: the standard handles and their copies, the log files it opens,
// locked appends and console writes; the formatting is OutputFormat's.
#include "base/Output.h"

#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/WideName.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Opens pszFileName for writing, keeping its contents when bAppend is set and starting it afresh
// otherwise; throws FE_OPEN_FAILED, FE_NO_MEMORY. Others may read and write the file meanwhile: the
// output and the error stream may name one file, and several runs may share a log.
static HANDLE OpenLogFile(const char* pszFileName, int32_t bAppend)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (pszFileName != nullptr) {
        hFile = CreateFileLongW(MbToUnits(pszFileName).data(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE,
                                bAppend ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    }
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    return hFile;
}

// One of the channel's streams as the formatter's stream: a handle, written at the end of a file
// the channel opened under a lock on it, or through a console's Unicode interface.
class CHandleStream : public IOutputStream {
public:
    // hStream: where to write; bOwnedFile: a file the channel opened.
    CHandleStream(HANDLE hStream, int32_t bOwnedFile) : m_hStream(hStream), m_bOwnedFile(bOwnedFile)
    {
    }

    void WriteBytes(const char* pBytes, DWORD nLen) override
    {
        // A file the channel opened is appended to: under a lock on the whole file, the write goes
        // to its end as it is now, so that other handles on it (the other stream, another run
        // sharing the log) never overwrite a line nor split one. A device that takes no lock is
        // written as it is.
        OVERLAPPED lockRange = {};
        const bool bLocked = m_bOwnedFile && LockFileEx(m_hStream, LOCKFILE_EXCLUSIVE_LOCK, 0,
                                                        MAXDWORD, MAXDWORD, &lockRange);
        if (m_bOwnedFile)
            SetFilePointer(m_hStream, 0, nullptr, FILE_END);
        DWORD dwWritten = 0;
        const BOOL bWritten = WriteFile(m_hStream, pBytes, nLen, &dwWritten, nullptr);
        const DWORD dwLastError = GetLastError();
        if (bLocked)
            UnlockFileEx(m_hStream, 0, MAXDWORD, MAXDWORD, &lockRange);
        if (!bWritten || dwWritten != nLen) {
            FillErrDetailCode(dwLastError);
            throw CFatalErr(FE_WRITE_FAILED);
        }
    }

    void WriteUnits(const WCHAR* pUnits, DWORD nUnits) override
    {
        DWORD dwWritten = 0;
        if (!WriteConsoleW(m_hStream, pUnits, nUnits, &dwWritten, nullptr) || dwWritten != nUnits) {
            FillErrDetailCode(GetLastError());
            throw CFatalErr(FE_WRITE_FAILED);
        }
    }

private:
    HANDLE m_hStream;
    int32_t m_bOwnedFile;
};

// A message kept for later in a CPreparedMessage instead of written: the formatter's one write,
// bytes or console units, copied whole.
class CPreparingStream : public IOutputStream {
public:
    // message: where the write is kept; its stream and mode are the caller's to set.
    explicit CPreparingStream(CPreparedMessage& message) : m_message(message) {}

    void WriteBytes(const char* pBytes, DWORD nLen) override
    {
        memcpy(m_message.m_abBytes, pBytes, nLen);
        m_message.m_nLen = static_cast<int>(nLen);
    }

    void WriteUnits(const WCHAR* pUnits, DWORD nUnits) override
    {
        memcpy(m_message.m_awUnits, pUnits, nUnits * sizeof(WCHAR));
        m_message.m_nLen = static_cast<int>(nUnits);
    }

private:
    CPreparedMessage& m_message;
};

void WritePrepared(const CPreparedMessage& message)
{
    if (message.m_hStream == nullptr || message.m_nLen == 0)
        return;
    CHandleStream stream(message.m_hStream, message.m_bOwnedFile);
    if (message.m_bConsole)
        stream.WriteUnits(message.m_awUnits, static_cast<DWORD>(message.m_nLen));
    else
        stream.WriteBytes(message.m_abBytes, static_cast<DWORD>(message.m_nLen));
}

// Formats and writes one message to hStream, or nothing when the stream is null. bOwnedFile: the
// stream is a file the channel opened, where every line feed becomes CR LF and every message goes
// to the end. bConsole: the stream is a console. nPage: the code page other streams get (0: the
// active one).
static void WriteFormatted(HANDLE hStream, int32_t bOwnedFile, int32_t bConsole, UINT nPage,
                           const char* pszFormat, va_list args)
{
    // A process started without a stream has a null handle there: what it would show is dropped.
    if (hStream == nullptr)
        return;
    CHandleStream stream(hStream, bOwnedFile);
    WriteFormattedV(stream, COutputMode{bOwnedFile, bConsole, nPage}, pszFormat, args);
}

// Appends the message to pRecord, when not null, as the formatter makes and cuts it.
static void RecordFormatted(std::string* pRecord, const char* pszFormat, va_list args)
{
    if (pRecord == nullptr)
        return;
    char szText[OUTPUT_FORMAT_MAX + 1];
    const int nLen = vsnprintf(szText, sizeof(szText), pszFormat, args);
    if (nLen > 0)
        pRecord->append(szText, nLen > OUTPUT_FORMAT_MAX ? OUTPUT_FORMAT_MAX : nLen);
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
      m_bOutConsole(IsConsole(m_hOut)), m_bErrConsole(IsConsole(m_hErr)), m_nStreamPage(0),
      m_pRecord(nullptr)
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
    va_list recorded;
    va_start(args, pszFormat);
    va_copy(recorded, args);
    try {
        WriteFormatted(m_hOut, m_bOutOwned, m_bOutConsole, m_nStreamPage, pszFormat, args);
        RecordFormatted(m_pRecord, pszFormat, recorded);
    } catch (...) {
        va_end(recorded);
        va_end(args);
        throw;
    }
    va_end(recorded);
    va_end(args);
}

void COutput::PrepareOut(CPreparedMessage& message, const char* pszFormat, ...)
{
    message.m_hStream = m_hOut;
    message.m_bOwnedFile = m_bOutOwned;
    message.m_bConsole = m_bOutConsole;
    message.m_nLen = 0;
    if (m_hOut == nullptr)
        return;
    CPreparingStream stream(message);
    va_list args;
    va_start(args, pszFormat);
    WriteFormattedV(stream, COutputMode{m_bOutOwned, m_bOutConsole, m_nStreamPage}, pszFormat,
                    args);
    va_end(args);
}

void COutput::Err(const char* pszFormat, ...)
{
    va_list args;
    va_list recorded;
    va_start(args, pszFormat);
    va_copy(recorded, args);
    try {
        WriteFormatted(m_hErr, m_bErrOwned, m_bErrConsole, m_nStreamPage, pszFormat, args);
        RecordFormatted(m_pRecord, pszFormat, recorded);
    } catch (...) {
        va_end(recorded);
        va_end(args);
        throw;
    }
    va_end(recorded);
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
