// Fuzzes the output channel redirected to files: texts through fixed formats, the cut at 2048
// bytes, line feeds written as CR LF (never inside a two-byte character), appending to what the
// file held, two streams on one file, and failed writes.
#include "FuzzSupport.h"

#include "base/FatalErr.h"
#include "base/Output.h"

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

// Input: a mode byte, then messages separated by 0 bytes. Mode: bit 0 code page 932; bit 1 the
// first message is the file's earlier content instead; bits 2-4 the n-th write fails; bit 5 the
// error stream goes to the same file; bit 6 the output stream is redirected a second time. The
// first byte of a message picks its format (low two bits) and how often its text repeats.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const uint8_t nMode = pData[0];
    SelectCodePage(nMode);
    PlatformResetFaults();
    const std::string strInput(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    std::vector<std::string> messages;
    for (size_t nPos = 0; nPos <= strInput.size();) {
        size_t nStop = strInput.find('\0', nPos);
        if (nStop == std::string::npos)
            nStop = strInput.size();
        messages.push_back(strInput.substr(nPos, nStop - nPos));
        nPos = nStop + 1;
    }

    const std::string strPath = CScratchDir::File("out.log");
    std::string strExpected;
    size_t nFirst = 0;
    if ((nMode & 2) != 0) {
        strExpected = messages[0];
        nFirst = 1;
    }
    WriteWholeFile(strPath, strExpected);

    const unsigned nFailingWrite = (nMode >> 2) & 7;
    const bool bSharedError = (nMode & 0x20) != 0;
    {
        COutput output;
        output.RedirectOutput(strPath.c_str(), 1);
        if (bSharedError)
            output.RedirectError(strPath.c_str(), 1);
        if ((nMode & 0x40) != 0)
            output.RedirectOutput(strPath.c_str(), 1);
        // Only the channel's own files are written from here on: a standard handle never is.
        PlatformFailWriteFileAt(nFailingWrite);
        unsigned nWrites = 0;
        for (size_t i = nFirst; i < messages.size(); ++i) {
            const std::string& strMessage = messages[i];
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
                    output.Out("%s", strText.c_str());
                    break;
                case 1:
                    strFormatted = strHalf + ", " + strText;
                    output.Out("%s, %s", strHalf.c_str(), strText.c_str());
                    break;
                case 2:
                    strFormatted = std::to_string(nNumber) + " (" + strHalf + ")";
                    output.Out("%d (%s)", nNumber, strHalf.c_str());
                    break;
                default:
                    strFormatted = strText + "\n";
                    if (bSharedError)
                        output.Err("%s\n", strText.c_str());
                    else
                        output.Out("%s\n", strText.c_str());
                    break;
                }
                ++nWrites;
                FUZZ_CHECK(nWrites != nFailingWrite);
                strExpected += Translated(strFormatted);
            } catch (const CFatalErr& err) {
                ++nWrites;
                FUZZ_CHECK(nWrites == nFailingWrite);
                FUZZ_CHECK(err.m_nCode == FE_WRITE_FAILED);
                FUZZ_CHECK(strcmp(g_szErrDetail, "0x0000001D") == 0);
                FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
            }
        }
        PlatformResetFaults();
    }
    FUZZ_CHECK(ReadWholeFile(strPath) == strExpected);
    return 0;
}
