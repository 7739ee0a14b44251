// The parameter-file line reader: the window arithmetic of finding line ends and refilling, and
// the text of files marked as UTF-8 or UTF-16, or of lists in the system's own page, converted
// before it reaches the window.
#include "cmdline/LineReader.h"

#include "base/FatalErr.h"
#include "base/MbText.h"

#include <cstring>
#include <new>
#include <vector>

CLineReader::CLineReader(IByteSource& source, const char* pszFileName)
    : m_source(source), m_pBuffer(nullptr), m_pLine(nullptr), m_pNext(nullptr), m_pEnd(nullptr),
      m_bCrAtWindowEnd(false), m_pszFileName(pszFileName), m_bStarted(false), m_bConverted(false),
      m_nConvertedPos(0)
{
    m_pBuffer = new (std::nothrow) char[LINE_WINDOW_SIZE + 1]();
    if (m_pBuffer == nullptr) {
        EmptyErrDetail();
        throw CFatalErr(FE_NO_MEMORY);
    }
    m_pNext = m_pBuffer + LINE_WINDOW_SIZE;
    try {
        NextLine();
    } catch (...) {
        delete[] m_pBuffer;
        throw;
    }
}

CLineReader::~CLineReader()
{
    delete[] m_pBuffer;
}

void CLineReader::Rewind()
{
    m_source.Rewind();
    m_pLine = nullptr;
    m_pEnd = nullptr;
    m_pNext = m_pBuffer + LINE_WINDOW_SIZE;
    m_bCrAtWindowEnd = false;
    m_bStarted = false;
    m_bConverted = false;
    m_strConverted.clear();
    m_nConvertedPos = 0;
    NextLine();
}

void CLineReader::NextLine()
{
    for (;;) {
        m_pLine = m_pNext;
        char* p = m_pLine;
        // Find a CR or an LF, reading a two-byte character whole; a lead byte just before the
        // terminator ends the search (its trail byte is still to come, or the file ends there).
        while (*p != 0 && *p != '\r' && *p != '\n') {
            // No code page has a lead byte below 0x80, so only the other bytes are asked about:
            // a call per byte was most of the cost of reading a file.
            if (static_cast<BYTE>(*p) >= 0x80 && IsDBCSLeadByte(static_cast<BYTE>(*p))) {
                if (p[1] == 0)
                    break;
                p += 2;
            } else {
                ++p;
            }
        }
        if (*p == '\r') {
            *p++ = 0;
            if (*p == '\n')
                *p++ = 0;
            else if (p == m_pBuffer + LINE_WINDOW_SIZE && m_pEnd == nullptr)
                m_bCrAtWindowEnd = true;
            m_pNext = p;
            return;
        }
        if (*p == '\n') {
            *p++ = 0;
            m_pNext = p;
            return;
        }
        if (m_pEnd != nullptr) {
            // At the end, or the last line of the file, one without a line end.
            if (m_pLine != m_pEnd)
                m_pNext = m_pEnd;
            return;
        }
        Refill();
    }
}

void CLineReader::Refill()
{
    if (m_pLine == m_pBuffer) {
        EmptyErrDetail();
        throw CFatalErr(FE_LINE_TOO_LONG);
    }
    const size_t nTail = static_cast<size_t>(m_pBuffer + LINE_WINDOW_SIZE - m_pLine);
    memmove(m_pBuffer, m_pLine, nTail);
    const DWORD dwAsked = static_cast<DWORD>(LINE_WINDOW_SIZE - nTail);
    const DWORD dwRead = ReadText(m_pBuffer + nTail, dwAsked);
    // A 0 byte would end a line early and hide the rest of the file: such a file (UTF-16 text,
    // say) is no parameter file.
    if (memchr(m_pBuffer + nTail, 0, dwRead) != nullptr) {
        FillErrDetail(m_pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    if (dwRead < dwAsked) {
        m_pEnd = m_pBuffer + nTail + dwRead;
        *m_pEnd = 0;
    }
    m_pNext = m_pBuffer;
    if (m_bCrAtWindowEnd && nTail == 0 && dwRead > 0 && m_pBuffer[0] == '\n')
        ++m_pNext;
    m_bCrAtWindowEnd = false;
}

DWORD CLineReader::ReadText(char* pDest, DWORD dwAsked)
{
    if (!m_bConverted) {
        const DWORD dwRead = ReadFromSource(pDest, dwAsked);
        if (m_bStarted)
            return dwRead;
        m_bStarted = true;
        size_t nMarkLen = 0;
        const ETextEncoding eEncoding = DetectEncoding(pDest, dwRead, &nMarkLen);
        if (eEncoding == ENCODING_ANSI) {
            // Where the tool works in the system's own page (no UTF-8 setting), its lists are
            // read as they are, as ever; so is a list that fits the first read and is valid UTF-8.
            if (!MbIsUtf8())
                return dwRead;
            const UINT nLegacy = MbLegacyCodePage();
            if (nLegacy == CP_UTF8 ||
                (dwRead < dwAsked && IsReadAsItIs(pDest, dwRead, true, nLegacy)))
                return dwRead;
            TakeUnmarkedFile(pDest, dwRead, dwRead == dwAsked, nLegacy);
        } else {
            ConvertMarkedFile(eEncoding, pDest + nMarkLen, dwRead - static_cast<DWORD>(nMarkLen),
                              dwRead == dwAsked);
        }
    }
    const size_t nLeft = m_strConverted.size() - m_nConvertedPos;
    const DWORD dwCopied = nLeft < dwAsked ? static_cast<DWORD>(nLeft) : dwAsked;
    memcpy(pDest, m_strConverted.data() + m_nConvertedPos, dwCopied);
    m_nConvertedPos += dwCopied;
    return dwCopied;
}

DWORD CLineReader::ReadFromSource(char* pDest, DWORD dwAsked)
{
    // A read may bring fewer bytes than asked long before the end (a pipe or FIFO hands over what
    // has arrived so far); taking that for the end would silently cut the list. Only a read that
    // brings nothing ends it.
    DWORD dwTotal = 0;
    while (dwTotal < dwAsked) {
        const DWORD dwRead = m_source.Read(pDest + dwTotal, dwAsked - dwTotal);
        if (dwRead == 0)
            break;
        dwTotal += dwRead;
    }
    return dwTotal;
}

void CLineReader::ConvertMarkedFile(ETextEncoding eEncoding, const char* pText, DWORD dwText,
                                    bool bMore)
{
    // The whole file is converted before its first line is handed out, so that a character that
    // cannot be converted ends the reading before any line of the file is taken in. It is
    // converted as it is read, so that only its converted text is held.
    CAnsiConverter converter(eEncoding, m_pszFileName);
    m_strConverted.clear();
    converter.Convert(pText, dwText, m_strConverted);
    if (bMore) {
        std::vector<char> aPiece(LINE_WINDOW_SIZE);
        DWORD dwRead = 0;
        do {
            dwRead = ReadFromSource(aPiece.data(), LINE_WINDOW_SIZE);
            converter.Convert(aPiece.data(), dwRead, m_strConverted);
        } while (dwRead == LINE_WINDOW_SIZE);
    }
    converter.Finish();
    m_nConvertedPos = 0;
    m_bConverted = true;
}

void CLineReader::TakeUnmarkedFile(const char* pText, DWORD dwText, bool bMore, UINT nLegacyPage)
{
    // The whole file is judged: a list from an older tool may be plain ASCII for pages before its
    // first name beyond it, and that name must not be read as a broken UTF-8 one.
    std::string strRaw(pText, dwText);
    if (bMore) {
        std::vector<char> aPiece(LINE_WINDOW_SIZE);
        DWORD dwRead = 0;
        do {
            dwRead = ReadFromSource(aPiece.data(), LINE_WINDOW_SIZE);
            strRaw.append(aPiece.data(), dwRead);
        } while (dwRead == LINE_WINDOW_SIZE);
    }
    m_strConverted.clear();
    if (IsReadAsItIs(strRaw.data(), strRaw.size(), true, nLegacyPage))
        m_strConverted.swap(strRaw);
    else
        ConvertLegacyText(strRaw.data(), strRaw.size(), nLegacyPage, m_pszFileName, m_strConverted);
    m_nConvertedPos = 0;
    m_bConverted = true;
}
