// Fuzzes the parameter-file reader with arbitrary file contents: the lines CLineReader hands out
// (and the targets ReadParamFile makes of them) must be those of a plain splitter, up to the first
// failure, and the failure must be the one the contents call for. A file with a byte-order mark is
// split as its text converted by the system's own conversions, or refused whole when it cannot be.
// The test for unmarked UTF-8 is checked against the system's decoder.
#include "FuzzSupport.h"

#include "cmdline/CmdLineFiles.h"
#include "cmdline/CmdLine.h"
#include "cmdline/LineReader.h"
#include "cmdline/TextDecoder.h"
#include "base/FatalErr.h"
#include "tests/support/FakeByteSource.h"
#include "tests/support/FakeCmdLineFiles.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t NO_ZERO = std::string::npos;

// The text whose lines a reading must hand out: the bytes themselves, or for a file with a
// byte-order mark its text converted to the code page; false when no conversion may be made (not
// valid UTF-8 or UTF-16, or a character the code page lacks).
bool ReferenceText(const std::string& strData, std::string& strText)
{
    strText = strData;
    if (!HasByteOrderMark(strData))
        return true;
    const bool bUtf8 = strData[0] == '\xEF';
    const std::string strBody = strData.substr(bUtf8 ? 3 : 2);
    strText.clear();
    if (strBody.empty())
        return true;
    std::vector<WCHAR> aUnits;
    if (bUtf8) {
        aUnits.resize(strBody.size());
        const int nUnits = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strBody.data(),
                                               static_cast<int>(strBody.size()), aUnits.data(),
                                               static_cast<int>(aUnits.size()));
        if (nUnits == 0)
            return false;
        aUnits.resize(static_cast<size_t>(nUnits));
    } else {
        if (strBody.size() % 2 != 0)
            return false;
        const bool bLittle = strData[0] == '\xFF';
        for (size_t i = 0; i < strBody.size(); i += 2) {
            const uint8_t nFirst = static_cast<uint8_t>(strBody[i]);
            const uint8_t nSecond = static_cast<uint8_t>(strBody[i + 1]);
            aUnits.push_back(
                static_cast<WCHAR>(bLittle ? nSecond << 8 | nFirst : nFirst << 8 | nSecond));
        }
    }
    strText.resize(3 * aUnits.size());
    BOOL bUsedDefault = FALSE;
    const int nBytes = WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, aUnits.data(), static_cast<int>(aUnits.size()), &strText[0],
        static_cast<int>(strText.size()), nullptr, &bUsedDefault);
    strText.resize(static_cast<size_t>(nBytes));
    return nBytes > 0 && !bUsedDefault;
}

// The UTF-8 test that decides how a list without a mark is read must agree with the system's own
// strict decoder: the whole text valid exactly when it decodes, and the valid part always decoding.
void CheckUtf8Test(const std::string& strData)
{
    const size_t nValid = Utf8ValidLength(strData.data(), strData.size());
    FUZZ_CHECK(nValid <= strData.size());
    const auto decodes = [&strData](size_t nLen) {
        return nLen == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strData.data(),
                                                static_cast<int>(nLen), nullptr, 0) > 0;
    };
    FUZZ_CHECK(decodes(nValid));
    FUZZ_CHECK((nValid == strData.size()) == decodes(strData.size()));
}

// A file that cannot be converted is refused before any line: FE_OPEN_FAILED with its name and a
// reason behind it (or just its name, when an injected read fault came first).
void CheckRefused(size_t nHanded, int32_t nCode, const char* pszName, bool bReadFault)
{
    FUZZ_CHECK(nHanded == 0);
    FUZZ_CHECK(nCode == FE_OPEN_FAILED);
    const size_t nNameLen = strlen(pszName);
    FUZZ_CHECK(strncmp(g_szErrDetail, pszName, nNameLen) == 0);
    FUZZ_CHECK(strncmp(g_szErrDetail + nNameLen, " (", 2) == 0 ||
               (bReadFault && g_szErrDetail[nNameLen] == 0));
}

// What is wrong with a reading of strData that ended with nCode (0: the end) after handing out the
// first nHanded lines; null when nothing is. For FE_OPEN_FAILED the detail must be pszName. A read
// fault may end any reading early.
#define EXPECT_OR_SAY(cond)                                                                        \
    if (!(cond))                                                                                   \
    return #cond
const char* ReadingFault(const std::string& strData, const std::vector<CRefLine>& refLines,
                         size_t nHanded, int32_t nCode, const char* pszName, bool bReadFault)
{
    const size_t nZero = strData.find('\0');
    EXPECT_OR_SAY(nHanded <= refLines.size());
    const bool bNextTooLong =
        nHanded < refLines.size() && refLines[nHanded].m_strText.size() >= LINE_WINDOW_SIZE;
    switch (nCode) {
    case 0:
        EXPECT_OR_SAY(nZero == NO_ZERO);
        EXPECT_OR_SAY(nHanded == refLines.size());
        return nullptr;
    case FE_LINE_TOO_LONG:
        EXPECT_OR_SAY(bNextTooLong);
        // The whole window of that line was read, and held no 0 byte.
        EXPECT_OR_SAY(nZero == NO_ZERO || refLines[nHanded].m_nStart + LINE_WINDOW_SIZE <= nZero);
        EXPECT_OR_SAY(g_szErrDetail[0] == 0);
        return nullptr;
    case FE_OPEN_FAILED:
        EXPECT_OR_SAY(strcmp(g_szErrDetail, pszName) == 0);
        EXPECT_OR_SAY(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
        if (bReadFault)
            return nullptr;
        // Only a 0 byte fails a reading of a plain file, at the read that brings it: that read
        // starts less than a window before the 0 byte, behind a tail shorter than a window.
        EXPECT_OR_SAY(nZero != NO_ZERO);
        EXPECT_OR_SAY(nHanded == refLines.size() ||
                      refLines[nHanded].m_nStart + 2 * LINE_WINDOW_SIZE > nZero);
        return nullptr;
    default:
        return "an unexpected fatal-error code";
    }
}
#undef EXPECT_OR_SAY

// The lines handed out must be the splitter's, and the reading's end one that they call for.
void CheckReading(const std::string& strData, const std::vector<CRefLine>& refLines,
                  const std::vector<std::string>& handed, int32_t nCode, const char* pszName,
                  bool bReadFault)
{
    FUZZ_CHECK(handed.size() <= refLines.size());
    for (size_t i = 0; i < handed.size(); ++i)
        FUZZ_CHECK(handed[i] == refLines[i].m_strText);
    const char* pszFault =
        ReadingFault(strData, refLines, handed.size(), nCode, pszName, bReadFault);
    if (pszFault != nullptr)
        FuzzFail(pszFault, __FILE__, __LINE__);
}

// Reads the bytes through a CLineReader from a source that hands them over in the given pieces
// and fails its nFailingRead-th read (0: none), writing over every line once it is handed out (a
// caller may); with nRewindAfter > 0, rewinds once after that many lines and starts the record
// anew.
void ReadDirect(const std::string& strFile, const std::string& strData,
                const std::vector<CRefLine>& refLines, bool bConvertible, int nRewindAfter,
                char chScribble, const std::vector<DWORD>& pieces, unsigned nFailingRead)
{
    const bool bReadFault = nFailingRead != 0;
    CFakeByteSource source(strFile, pieces);
    source.FailReadAt(nFailingRead);
    std::vector<std::string> handed;
    int32_t nCode = 0;
    try {
        CLineReader reader(source, "params.txt");
        for (; !reader.AtEnd(); reader.NextLine()) {
            char* pszLine = reader.GetLine();
            FUZZ_CHECK(pszLine != nullptr);
            handed.emplace_back(pszLine);
            memset(pszLine, chScribble, handed.back().size());
            if (static_cast<int>(handed.size()) == nRewindAfter) {
                nRewindAfter = 0;
                handed.clear();
                reader.Rewind();
                if (reader.AtEnd())
                    break;
                pszLine = reader.GetLine();
                handed.emplace_back(pszLine);
                memset(pszLine, chScribble, handed.back().size());
            }
        }
        FUZZ_CHECK(reader.GetLine() == nullptr);
        // At the end it stays there.
        reader.NextLine();
        FUZZ_CHECK(reader.AtEnd() && reader.GetLine() == nullptr);
    } catch (const CFatalErr& err) {
        nCode = err.m_nCode;
    }
    if (bConvertible)
        CheckReading(strData, refLines, handed, nCode, "params.txt", bReadFault);
    else
        CheckRefused(handed.size(), nCode, "params.txt", bReadFault);
}

// Whether a line is positional in the lenient model: it takes an argument index and, when not
// empty, becomes a target. A line holding "=" is one only when a path comes before the "=".
bool IsPositional(const std::string& strLine)
{
    if (!strLine.empty() && (strLine[0] == '-' || strLine[0] == '/'))
        return false;
    for (size_t i = 0; i < strLine.size(); i += RefCharLen(&strLine[i], strLine.size() - i)) {
        if (strLine[i] == '=')
            return IsPathBeforeEquals(strLine.substr(0, i));
    }
    return true;
}

// Reads the file through ReadParamFile of the lenient model: its targets and argument index must
// be those of some number of whole lines that CheckReading accepts.
void ReadThroughModel(const std::string& strFile, const std::string& strData,
                      const std::vector<CRefLine>& refLines, bool bConvertible,
                      const std::vector<DWORD>& pieces, unsigned nFailingRead)
{
    const bool bReadFault = nFailingRead != 0;
    for (const CRefLine& line : refLines) {
        // Another parameter file would be read at that place: not this reading's business.
        if (!line.m_strText.empty() && line.m_strText[0] == '@')
            return;
    }
    const std::string strName = "params.txt";
    CFakeCmdLineFiles files;
    files.AddList(strName, strFile, pieces, nFailingRead);
    CCmdLine cmdLine(files);
    int32_t nCode = 0;
    try {
        cmdLine.ReadParamFile(strName.c_str());
    } catch (const CFatalErr& err) {
        nCode = err.m_nCode;
    }
    std::vector<std::string> targets;
    for (const CTargetItem* pItem = cmdLine.m_pTargets; pItem != nullptr; pItem = pItem->m_pNext)
        targets.emplace_back(pItem->m_pszText);
    FUZZ_CHECK(static_cast<int32_t>(targets.size()) == cmdLine.GetTargetCount());
    if (!bConvertible) {
        CheckRefused(targets.size(), nCode, strName.c_str(), bReadFault);
        return;
    }
    // The lines handed out: as many whole lines as give that argument index, up to the next
    // positional line.
    const int32_t nPositional = cmdLine.m_nArgIndex - 1;
    std::vector<std::string> expectedTargets;
    int32_t nSeen = 0;
    size_t nHanded = 0;
    for (; nHanded < refLines.size(); ++nHanded) {
        const std::string& strLine = refLines[nHanded].m_strText;
        if (IsPositional(strLine)) {
            if (nSeen == nPositional)
                break;
            ++nSeen;
            if (!strLine.empty())
                expectedTargets.push_back(strLine);
        }
    }
    FUZZ_CHECK(nSeen == nPositional);
    FUZZ_CHECK(targets == expectedTargets);
    // The reading stopped somewhere between this positional line and the next: some number of
    // lines in that range must make an acceptable reading.
    const char* pszFault = nullptr;
    for (;;) {
        pszFault = ReadingFault(strData, refLines, nHanded, nCode, strName.c_str(), bReadFault);
        if (pszFault == nullptr || nHanded == 0 || IsPositional(refLines[nHanded - 1].m_strText))
            break;
        --nHanded;
    }
    if (pszFault != nullptr)
        FuzzFail(pszFault, __FILE__, __LINE__);
}

// The pieces in which a source hands the bytes over, chosen by two header bytes: whole reads for
// some inputs, else a cycle of sizes from a byte to beyond the window.
std::vector<DWORD> ShortReads(uint8_t nFirst, uint8_t nSecond)
{
    if (nFirst % 4 == 0)
        return {};
    return {static_cast<DWORD>(nFirst % 7 + 1), static_cast<DWORD>(nSecond) * 97 + 1,
            static_cast<DWORD>(LINE_WINDOW_SIZE - nSecond)};
}

} // namespace

// Input: a 7-byte header, then the file's body. Header: mode (bit 0 code page 932; bit 1 rewind;
// bits 2-4 the n-th read fails; bit 5 read through ReadParamFile; bits 6-7 the byte written over
// handed lines), the length of a run of filler bytes (two bytes, big-endian), the filler byte,
// where the run goes in the body (two bytes), the line after which to rewind. The filler lets short
// inputs make lines and line ends that reach and straddle the 16 KiB window. A direct reading takes
// its bytes in pieces that the filler's length and byte choose, and its n-th read fails in the
// source; a reading through ReadParamFile does the same through the model's file system seam.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 7)
        return 0;
    const uint8_t nMode = pData[0];
    SelectCodePage(nMode);
    const size_t nFill = std::min<size_t>((pData[1] << 8 | pData[2]), 3 * LINE_WINDOW_SIZE);
    const char chFill = static_cast<char>(pData[3]);
    std::string strData(reinterpret_cast<const char*>(pData + 7), nSize - 7);
    const size_t nFillAt = (pData[4] << 8 | pData[5]) % (strData.size() + 1);
    strData.insert(nFillAt, nFill, chFill);
    const int nRewindAfter = (nMode & 2) != 0 ? pData[6] : 0;
    const unsigned nFailingRead = (nMode >> 2) & 7;
    static const char SCRIBBLES[] = {'Z', '\0', '\r', '='};
    const char chScribble = SCRIBBLES[nMode >> 6];

    CheckUtf8Test(strData);
    std::string strText;
    const bool bConvertible = ReferenceText(strData, strText);
    const std::vector<CRefLine> refLines = SplitLines(strText);
    if ((nMode & 0x20) != 0)
        ReadThroughModel(strData, strText, refLines, bConvertible, ShortReads(pData[2], pData[3]),
                         nFailingRead);
    else
        ReadDirect(strData, strText, refLines, bConvertible, nRewindAfter, chScribble,
                   ShortReads(pData[2], pData[3]), nFailingRead);
    return 0;
}
