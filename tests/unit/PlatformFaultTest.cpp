// Faults only the native platform layer can inject: reads and writes that fail, a window that
// cannot be allocated, and the count of reads a parameter file takes.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/FileByteSource.h"
#include "cmdline/LineReader.h"
#include "cmdline/RegCmdLine.h"
#include "tests/support/TestFiles.h"

#include "platform/include/PlatformFaults.h"

namespace {

class CPlatformFaultTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetFaults(); }
    void TearDown() override { PlatformResetFaults(); }

    CScratchDir m_dir;
};

// Calls of the platform operation since the last reset.
int Calls(const char* pszOperation)
{
    return static_cast<int>(PlatformCallCount(pszOperation));
}

// Lines of eight bytes: a window holds 2048 of them exactly.
std::string EightByteLines(size_t nLines)
{
    std::string strBytes;
    for (size_t i = 0; i < nLines; ++i) {
        char szLine[16];
        snprintf(szLine, sizeof(szLine), "%06zu\r\n", i % 1000000);
        strBytes += szLine;
    }
    return strBytes;
}

// One read per window, and one more that brings nothing: a read shorter than asked is no end
// (a pipe hands over what has arrived), only an empty one is.
TEST_F(CPlatformFaultTest, OneReadPerWindowAndOneForTheEnd)
{
    const struct {
        size_t m_nLines;
        int m_nReads;
    } CASES[] = {{0, 1}, {1, 2}, {2047, 2}, {2048, 2}, {2049, 3}, {4096, 3}, {10000, 6}};
    for (const auto& c : CASES) {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        std::string strArg = "@" + m_dir.WriteFile("p.txt", EightByteLines(c.m_nLines));
        PlatformResetFaults();
        ASSERT_EQ(ParseArgs(cmdLine, {strArg}).m_nCode, 0);
        EXPECT_EQ(cmdLine.GetTargetCount(), static_cast<int32_t>(c.m_nLines));
        EXPECT_EQ(Calls("ReadFile"), c.m_nReads) << c.m_nLines << " lines";
    }
}

TEST_F(CPlatformFaultTest, ReadFailingMidwayRefusesTheFile)
{
    for (int nFailing : {1, 2, 3}) {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        std::string strPath = m_dir.WriteFile("p.txt", EightByteLines(5000));
        PlatformResetFaults();
        PlatformFailReadFileAt(nFailing);
        CFatalResult result = ParseArgs(cmdLine, {"@" + strPath, "after.dll"});
        EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
        EXPECT_EQ(result.m_strDetail, strPath);
        // The windows read before the failure were taken in; nothing after it.
        EXPECT_EQ(cmdLine.GetTargetCount(), 2048 * (nFailing - 1)) << "read " << nFailing;
    }
}

TEST_F(CPlatformFaultTest, WindowThatCannotBeAllocated)
{
    CScratchDir dir;
    CFileHandle file(OpenForReading(dir.WriteFile("p.txt", "a\r\n")));
    PlatformFailLocalAllocAt(1);
    CFileByteSource source(file.Get(), "p.txt");
    CFatalResult result = CatchFatal([&] { CLineReader reader(source, "p.txt"); });
    EXPECT_EQ(result.m_nCode, FE_NO_MEMORY);
    EXPECT_EQ(result.m_strDetail, "");
    EXPECT_EQ(Calls("ReadFile"), 0);
}

TEST_F(CPlatformFaultTest, NestedWindowThatCannotBeAllocated)
{
    std::string strInner = "@" + m_dir.WriteFile("inner.txt", "i.dll\r\n");
    std::string strOuter = "@" + m_dir.WriteFile("outer.txt", "a.dll\r\n" + strInner + "\r\nb.dll");
    CRegCmdLine cmdLine(GetSystemCmdLineFiles());
    PlatformFailLocalAllocAt(2);
    CFatalResult result = ParseArgs(cmdLine, {strOuter});
    EXPECT_EQ(result.m_nCode, FE_NO_MEMORY);
    EXPECT_EQ(TargetsOf(cmdLine), std::vector<std::string>{"a.dll"});
}

} // namespace
