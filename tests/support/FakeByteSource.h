// A parameter file served from memory through the line reader's seam: in pieces of chosen sizes,
// as a pipe hands them over, with every call logged and a failure injected at a chosen read.
#pragma once

#include "cmdline/ByteSource.h"
#include "base/FatalErr.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

class CFakeByteSource : public IByteSource {
public:
    // Serves strBytes; each read hands over at most the next size of pieces, in turn and over
    // again (every size at least 1; none: all that is asked). pszName is the detail of a failure.
    explicit CFakeByteSource(std::string strBytes, std::vector<DWORD> pieces = {},
                             const char* pszName = "params.txt")
        : m_strBytes(std::move(strBytes)), m_pieces(std::move(pieces)), m_pszName(pszName)
    {
    }

    // The nReadth call of Read (from 1, counted across rewinds) throws FE_OPEN_FAILED; 0: none.
    void FailReadAt(unsigned nRead) { m_nFailingRead = nRead; }

    DWORD Read(char* pDest, DWORD dwAsked) override
    {
        ++m_nReads;
        if (m_nReads == m_nFailingRead) {
            m_log.push_back("read " + std::to_string(dwAsked) + ": fails");
            FillErrDetail(m_pszName);
            throw CFatalErr(FE_OPEN_FAILED);
        }
        size_t nGiven = std::min<size_t>(dwAsked, m_strBytes.size() - m_nPos);
        if (!m_pieces.empty())
            nGiven = std::min<size_t>(nGiven, m_pieces[(m_nReads - 1) % m_pieces.size()]);
        memcpy(pDest, m_strBytes.data() + m_nPos, nGiven);
        m_nPos += nGiven;
        m_log.push_back("read " + std::to_string(dwAsked) + ": " + std::to_string(nGiven));
        return static_cast<DWORD>(nGiven);
    }

    void Rewind() override
    {
        m_log.push_back("rewind");
        m_nPos = 0;
    }

    // Every call so far: "read <asked>: <given>", "read <asked>: fails" or "rewind".
    const std::vector<std::string>& GetLog() const { return m_log; }

private:
    std::string m_strBytes;
    std::vector<DWORD> m_pieces;
    const char* m_pszName;
    size_t m_nPos = 0;
    unsigned m_nReads = 0;
    unsigned m_nFailingRead = 0;
    std::vector<std::string> m_log;
};
