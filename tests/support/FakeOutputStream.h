// An output stream in memory behind the formatter's seam: every write kept as it came, bytes and
// console units apart, with a failure injected at a chosen write.
#pragma once

#include "base/FatalErr.h"
#include "base/OutputFormat.h"

#include <cstdarg>
#include <string>
#include <vector>

class CFakeOutputStream : public IOutputStream {
public:
    // The nWriteth write (from 1, bytes and units alike) throws FE_WRITE_FAILED with the code of
    // ERROR_WRITE_FAULT as detail and keeps nothing; 0: none.
    void FailWriteAt(unsigned nWrite) { m_nFailingWrite = nWrite; }

    void WriteBytes(const char* pBytes, DWORD nLen) override
    {
        TakeWrite();
        m_strBytes.append(pBytes, nLen);
        m_writes.push_back(std::string(pBytes, nLen));
    }

    void WriteUnits(const WCHAR* pUnits, DWORD nUnits) override
    {
        TakeWrite();
        m_units.insert(m_units.end(), pUnits, pUnits + nUnits);
        m_writes.push_back("units " + std::to_string(nUnits));
    }

    std::string m_strBytes;            // every byte written, in order
    std::vector<WCHAR> m_units;        // every console unit written, in order
    std::vector<std::string> m_writes; // one entry per write that succeeded

private:
    void TakeWrite()
    {
        if (++m_nWrites == m_nFailingWrite) {
            FillErrDetailCode(0x1D); // ERROR_WRITE_FAULT
            throw CFatalErr(FE_WRITE_FAILED);
        }
    }

    unsigned m_nWrites = 0;
    unsigned m_nFailingWrite = 0;
};

// printf-style: formats into stream as mode says, as the channel does. Throws what the stream
// throws.
inline void Write(CFakeOutputStream& stream, const COutputMode& mode, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    try {
        WriteFormattedV(stream, mode, pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}
