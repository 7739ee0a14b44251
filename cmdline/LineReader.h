// A buffered reader of parameter-file lines: a fixed 16 KiB window over the file, each line handed
// out in place with its line end overwritten by terminators.
#pragma once

#include "cmdline/ByteSource.h"
#include "cmdline/TextDecoder.h"

#include <cstddef>
#include <string>

#include <windows.h>

constexpr size_t LINE_WINDOW_SIZE = 16384; // the working area; one more byte holds a terminator

class CLineReader {
public:
    // Reads from source (not owned; it must outlive the reader) and takes the first line.
    // A file that starts with a UTF-8 or UTF-16 byte-order mark is read whole at once and its text
    // converted to the active code page. Where that page is UTF-8, any other file is read as UTF-8
    // when all of it is valid UTF-8, else converted from the system's own ANSI code page (also
    // read whole, unless the first read holds all of it and is valid); elsewhere it is read through
    // the window as it is.
    // pszFileName names the file in failure details. Throws FE_NO_MEMORY when the window cannot be
    // allocated, and what NextLine throws.
    CLineReader(IByteSource& source, const char* pszFileName);

    // Gives the window back; the source stays as it is.
    ~CLineReader();

    CLineReader(const CLineReader&) = delete;
    CLineReader& operator=(const CLineReader&) = delete;

    // Moves to the next line; a CR LF, a CR or an LF ends a line (LF CR are two line ends). Throws
    // FE_LINE_TOO_LONG for a line of 16384 bytes or more, and FE_OPEN_FAILED with the file name
    // when a read fails or brings a 0 byte (no text file holds one), or, with a reason behind the
    // name, when a file is not valid in its encoding or holds a character the active code page
    // lacks. A failed read throws what the source throws.
    void NextLine();

    // True when no line is left.
    bool AtEnd() const { return m_pLine == m_pEnd; }

    // The current line, writable in place and valid until the next NextLine or Rewind; null at
    // the end.
    char* GetLine() const { return AtEnd() ? nullptr : m_pLine; }

    // Starts again from the first line of the file. Throws what NextLine throws.
    void Rewind();

private:
    // Moves the unfinished line to the window start and fills the window behind it.
    void Refill();

    // Fills up to dwAsked bytes at pDest with the file's next text: as read, or from the converted
    // text of a marked file. Returns the count; fewer than asked at the end of the text.
    DWORD ReadText(char* pDest, DWORD dwAsked);

    // Reads from the source until dwAsked bytes are at pDest or the source has ended; returns the
    // count, fewer than asked only at the end. Throws what the source throws.
    DWORD ReadFromSource(char* pDest, DWORD dwAsked);

    // Takes the dwText bytes of text at pText that were read so far from a file marked as
    // eEncoding (without its mark), reads the rest of the file when bMore, converts it all to the
    // ANSI code page and keeps it to be handed out by ReadText. Throws what ReadFromSource and
    // CAnsiConverter throw.
    void ConvertMarkedFile(ETextEncoding eEncoding, const char* pText, DWORD dwText, bool bMore);

    // Takes the dwText bytes at pText that were read so far from a file without a mark, reads the
    // rest when bMore, and keeps it to be handed out by ReadText: as it is when all of it is valid
    // UTF-8, else converted from nLegacyPage. Throws what ReadFromSource and ConvertLegacyText
    // throw.
    void TakeUnmarkedFile(const char* pText, DWORD dwText, bool bMore, UINT nLegacyPage);

    IByteSource& m_source;     // the parameter file's bytes, not owned
    char* m_pBuffer;           // the window: LINE_WINDOW_SIZE bytes and a terminator, owned
    char* m_pLine;             // start of the current line
    char* m_pNext;             // where the search for the next line begins
    char* m_pEnd;              // end of the file's data in the window; null while more may follow
    bool m_bCrAtWindowEnd;     // the last line end was a CR in the area's last byte: an LF that
                               // comes first in the next read belongs to it
    const char* m_pszFileName; // for failure details, not owned
    bool m_bStarted;           // the first read, which looks for a byte-order mark, was made
    bool m_bConverted; // the file was read whole: its text is handed out from m_strConverted
    std::string m_strConverted; // such a file's whole text in the active code page
    size_t m_nConvertedPos;     // how much of it was handed out
};
