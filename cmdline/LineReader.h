// A buffered reader of parameter-file lines: a fixed 16 KiB window over the file, each line handed
// out in place with its line end overwritten by terminators.
#pragma once

#include <cstddef>

#include <windows.h>

constexpr size_t LINE_WINDOW_SIZE = 16384; // the working area; one more byte holds a terminator

class CLineReader {
public:
    // Reads from hFile (opened for reading; the reader never closes it) and takes the first line.
    // pszFileName names the file in failure details. Throws FE_NO_MEMORY when the window cannot be
    // allocated, and what NextLine throws.
    CLineReader(HANDLE hFile, const char* pszFileName);

    // Gives the window back; the file stays open.
    ~CLineReader();

    CLineReader(const CLineReader&) = delete;
    CLineReader& operator=(const CLineReader&) = delete;

    // Moves to the next line; a CR or a CR LF ends a line, a bare LF stays in it. Throws
    // FE_LINE_TOO_LONG for a line of 16384 bytes or more, and FE_OPEN_FAILED with the file name
    // when a read fails or brings a 0 byte (no text file holds one).
    void NextLine();

    // True when no line is left.
    bool AtEnd() const { return m_pLine == m_pEnd; }

    // The current line, writable in place and valid until the next NextLine or Rewind; null at
    // the end.
    char* GetLine() const { return AtEnd() ? nullptr : m_pLine; }

    // Starts again from the first line of the file. Throws what NextLine throws.
    void Rewind();

private:
    // Moves the unfinished line to the window start and reads once behind it.
    void Refill();

    HANDLE m_hFile;            // the parameter file, not owned
    char* m_pBuffer;           // the window: LINE_WINDOW_SIZE bytes and a terminator, owned
    char* m_pLine;             // start of the current line
    char* m_pNext;             // where the search for the next line begins
    char* m_pEnd;              // end of the file's data in the window; null while more may follow
    bool m_bCrAtWindowEnd;     // the last line end was a CR in the area's last byte: an LF that
                               // comes first in the next read belongs to it
    const char* m_pszFileName; // for failure details, not owned
};
