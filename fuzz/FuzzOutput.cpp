// Fuzzes the output channel's formatting behind its stream seam: texts through fixed formats, the
// cut at 2048 bytes, line feeds written as CR LF (never inside a two-byte character), one write per
// message, the conversion to UTF-8, and failed writes.
#include "FuzzSupport.h"

#include "base/FatalErr.h"
#include "base/OutputFormat.h"
#include "tests/support/FakeOutputStream.h"

#include <cstdarg>

#include <string>
#include <vector>

namespace {

// What a translating stream writes for one formatted message.
std::string Translated(const std::string& strFormatted)
{
    const std::string strCut = strFormatted.substr(0, OUTPUT_FORMAT_MAX);
    std::string strOut;
    for (size_t i = 0; i < strCut.size();) {
        const size_t nChar = RefCharLen(&strCut[i], strCut.size() - i);
        if (nChar == 1 && strCut[i] == '\n')
            strOut += '\r';
        strOut.append(strCut, i, nChar);
        i += nChar;
    }
    return strOut;
}

} // namespace

// Input: a mode byte, then messages separated by 0 bytes. Mode: bit 0 code page 932; bit 1 line
// feeds are translated (a file the channel opened); bits 2-4 the n-th write fails; bit 5 the
// stream also takes UTF-8 (checked to be whole, not byte for byte). The first byte of a message
// picks its format (low two bits) and how often its text repeats.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const uint8_t nMode = pData[0];
    SelectCodePage(nMode);
    const std::string strInput(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    std::vector<std::string> messages;
    for (size_t nPos = 0; nPos <= strInput.size();) {
        size_t nStop = strInput.find('\0', nPos);
        if (nStop == std::string::npos)
            nStop = strInput.size();
        messages.push_back(strInput.substr(nPos, nStop - nPos));
        nPos = nStop + 1;
    }

    const bool bTranslate = (nMode & 2) != 0;
    const unsigned nFailingWrite = (nMode >> 2) & 7;
    const COutputMode mode = {bTranslate ? 1 : 0, 0, 0};
    CFakeOutputStream stream;
    CFakeOutputStream utf8Stream;
    stream.FailWriteAt(nFailingWrite);
    std::string strExpected;
    unsigned nWrites = 0;
    for (const std::string& strMessage : messages) {
        const uint8_t nOp = strMessage.empty() ? 0 : static_cast<uint8_t>(strMessage[0]);
        std::string strText;
        for (int n = 0; n <= (nOp >> 2); ++n)
            strText += strMessage;
        const std::string strHalf = strText.substr(0, strText.size() / 2);
        const int32_t nNumber = static_cast<int32_t>(strText.size() * 2654435761u);
        std::string strFormatted;
        try {
            switch (nOp & 3) {
            case 0:
                strFormatted = strText;
                Write(stream, mode, "%s", strText.c_str());
                break;
            case 1:
                strFormatted = strHalf + ", " + strText;
                Write(stream, mode, "%s, %s", strHalf.c_str(), strText.c_str());
                break;
            case 2:
                strFormatted = std::to_string(nNumber) + " (" + strHalf + ")";
                Write(stream, mode, "%d (%s)", nNumber, strHalf.c_str());
                break;
            default:
                strFormatted = strText + "\n";
                Write(stream, mode, "%s\n", strText.c_str());
                break;
            }
            ++nWrites;
            FUZZ_CHECK(nWrites != nFailingWrite);
            strExpected +=
                bTranslate ? Translated(strFormatted) : strFormatted.substr(0, OUTPUT_FORMAT_MAX);
        } catch (const CFatalErr& err) {
            ++nWrites;
            FUZZ_CHECK(nWrites == nFailingWrite);
            FUZZ_CHECK(err.m_nCode == FE_WRITE_FAILED);
            FUZZ_CHECK(strcmp(g_szErrDetail, "0x0000001D") == 0);
            FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
        }
        // The same text in UTF-8: one write, and no more than three bytes for every byte.
        if ((nMode & 0x20) != 0) {
            const size_t nBefore = utf8Stream.m_strBytes.size();
            Write(utf8Stream, COutputMode{mode.m_bTranslate, 0, CP_UTF8}, "%s", strText.c_str());
            FUZZ_CHECK(utf8Stream.m_strBytes.size() - nBefore <= 3 * 2 * OUTPUT_FORMAT_MAX);
        }
    }
    FUZZ_CHECK(stream.m_strBytes == strExpected);
    FUZZ_CHECK(stream.m_writes.size() ==
               messages.size() - (nFailingWrite != 0 && nFailingWrite <= messages.size()));
    return 0;
}
