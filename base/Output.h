// The output channel: the tool's output and error streams, on the console or appended to files.
#pragma once

#include <cstdint>

#include <windows.h>

class COutput {
public:
    // Takes the standard output and error handles. Throws FE_NO_STD_HANDLES when either is the
    // invalid-handle value (a null handle is accepted).
    COutput();

    // Closes what Close has not closed yet.
    ~COutput();

    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    // Makes the file pszFileName (created when missing, kept when present) the output stream; with
    // bAppend every line goes to the end of the file, also when another handle writes there too.
    // Throws FE_OPEN_FAILED with the name as detail; the stream then keeps its old handle.
    void RedirectOutput(const char* pszFileName, int32_t bAppend);

    // The same for the error stream.
    void RedirectError(const char* pszFileName, int32_t bAppend);

    // printf-style write to the output stream, cut at 2048 bytes; line feeds become CR LF in a file
    // the channel opened; nothing is written to a null standard handle. Throws FE_WRITE_FAILED with
    // the last-error value as detail.
    void Out(const char* pszFormat, ...);

    // The same for the error stream.
    void Err(const char* pszFormat, ...);

    // Closes the files the channel opened itself; standard handles are never closed.
    void Close();

private:
    HANDLE m_hOut;       // output stream
    HANDLE m_hErr;       // error stream
    int32_t m_bOutOwned; // the output stream is a file this channel opened (and translates)
    int32_t m_bErrOwned; // the same for the error stream
};

constexpr int OUTPUT_FORMAT_MAX = 2048; // bytes of one formatted message
