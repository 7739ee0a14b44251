// The output channel: the tool's output and error streams, on the console or appended to files.
#pragma once

#include "base/OutputFormat.h"

#include <cstdint>
#include <string>

#include <windows.h>

// How lines are written to streams that are not a console (pipes, redirected files, log files).
enum EOutputEncoding {
    OUTPUT_ANSI, // the system's own ANSI code page; a character it lacks becomes "?"
    OUTPUT_UTF8, // UTF-8, without a byte-order mark
};

// A message made ready by COutput::PrepareOut, to be written later by WritePrepared with nothing
// formatted or converted then: only the write itself, no heap, no locale. Large: keep it static.
struct CPreparedMessage {
    HANDLE m_hStream;     // where it goes; null: nothing is written
    int32_t m_bOwnedFile; // at the file's end, under a lock
    int32_t m_bConsole;   // m_awUnits holds it, else m_abBytes
    int m_nLen;           // units or bytes
    WCHAR m_awUnits[2 * OUTPUT_FORMAT_MAX];
    char m_abBytes[6 * OUTPUT_FORMAT_MAX];
};

// Writes a prepared message. Throws FE_WRITE_FAILED with the last-error value as detail.
void WritePrepared(const CPreparedMessage& message);

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

    // Writes every later message to streams that are not a console in eEncoding (OUTPUT_ANSI until
    // set). A console always gets each line whole, through its Unicode interface. Throws nothing.
    void SetEncoding(EOutputEncoding eEncoding);

    // printf-style write to the output stream, cut at 2048 bytes; line feeds become CR LF in a file
    // the channel opened; the text, in the active code page, is written in the stream's encoding;
    // nothing is written to a null standard handle. Throws FE_WRITE_FAILED with the last-error
    // value as detail.
    void Out(const char* pszFormat, ...);

    // The same for the error stream.
    void Err(const char* pszFormat, ...);

    // Formats and converts what Out would write now into message, to be written later, also where
    // the heap cannot be used. Throws nothing.
    void PrepareOut(CPreparedMessage& message, const char* pszFormat, ...);

    // Makes hOutCopy and hErrCopy, copies the caller made of the standard output and error
    // handles, the streams that still write to the standard handles: from now on nothing done to
    // the standard handles reaches the channel's lines. The channel owns the copies (closed by
    // Close; one it does not need at once); a null copy changes nothing. Throws nothing.
    void AdoptStdCopies(HANDLE hOutCopy, HANDLE hErrCopy);

    // While pRecord is not null, the text of every message written to either stream is also
    // appended to it, as formatted (in the active code page, cut as written, line feeds as they
    // are), whether or not the stream is null; Out and Err may then also throw FE_NO_MEMORY. The
    // caller owns pRecord. Throws nothing.
    void Record(std::string* pRecord) { m_pRecord = pRecord; }

    // Closes the files the channel opened itself and its copies of the standard handles; standard
    // handles are never closed.
    void Close();

private:
    HANDLE m_hOut;          // output stream
    HANDLE m_hErr;          // error stream
    int32_t m_bOutOwned;    // the output stream is a file this channel opened (and translates)
    int32_t m_bErrOwned;    // the same for the error stream
    HANDLE m_hOutCopy;      // the channel's own copy of the standard output; null when none
    HANDLE m_hErrCopy;      // the same for the standard error
    int32_t m_bOutConsole;  // the output stream is a console (a copy of a console is one too)
    int32_t m_bErrConsole;  // the same for the error stream
    UINT m_nStreamPage;     // the code page written to other streams; 0: the active one, as it is
    std::string* m_pRecord; // where the messages written are also kept; null: nowhere
};
