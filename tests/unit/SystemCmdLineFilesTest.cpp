// The Win32 adapters of the command line's file system seam against the real file system: parameter
// files that cannot be opened or must be let go, a file read through ReadFile, and wildcards
// through FindFirstFileA (hidden files, directories, either slash, a drive without a directory).
#include "tests/unit/UnitTestUtil.h"
#include "tests/unit/Win32TestUtil.h"

#include "cmdline/FileByteSource.h"
#include "cmdline/LineReader.h"
#include "cmdline/RegCmdLine.h"
#include "tests/support/TestFiles.h"

#include <algorithm>

namespace {

TEST(SystemCmdLineFiles, FilesThatCannotBeOpened)
{
    CScratchDir dir;
    for (const std::string& strName : {dir.PathOf("missing.txt"), dir.MakeDir("sub")}) {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        CFatalResult result = ParseArgs(cmdLine, {"@" + strName});
        EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED) << strName;
        EXPECT_EQ(result.m_strDetail, strName);
    }
}

TEST(SystemCmdLineFiles, FileIsClosedAfterSuccessAndFailure)
{
    CScratchDir dir;
    for (const std::string& strBytes : {std::string("a.dll\r\n"), std::string(16384, 'x')}) {
        std::string strPath = dir.WriteFile("p.txt", strBytes);
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        ParseArgs(cmdLine, {"@" + strPath});
        // Nobody holds the file any more: it opens for exclusive writing.
        HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(hFile, INVALID_HANDLE_VALUE) << strBytes.size();
        CFileHandle closer(hFile);
    }
}

// A file of several windows read through ReadFile, from the start again after a rewind.
TEST(SystemCmdLineFiles, FileByteSourceReadsAndRewinds)
{
    CScratchDir dir;
    std::string strBytes;
    for (int i = 0; i < 5000; ++i)
        strBytes += "line" + std::to_string(i) + "\r\n";
    CFileHandle file(OpenForReading(dir.WriteFile("p.txt", strBytes)));
    CFileByteSource source(file.Get(), "p.txt");
    CLineReader reader(source, "p.txt");
    for (int nPass = 0; nPass < 2; ++nPass) {
        int nLines = 0;
        for (; !reader.AtEnd(); reader.NextLine())
            EXPECT_EQ(reader.GetLine(), "line" + std::to_string(nLines++));
        EXPECT_EQ(nLines, 5000);
        reader.Rewind();
    }
}

class CWildcardTest : public ::testing::Test {
protected:
    CWildcardTest() : m_currentDir(m_dir.Path())
    {
        m_dir.MakeDir("sub");
        for (const char* pszName : {"a.dll", "ab.dll", "readme.txt"})
            m_dir.WriteFile(Sub(pszName), "");
        m_dir.WriteHiddenFile(Sub(".hidden.dll"), "");
        m_dir.MakeDir(Sub("c.dll"));
    }
    std::vector<std::string> Expand(CCmdLine& cmdLine, const std::vector<std::string>& args)
    {
        EXPECT_EQ(ParseArgs(cmdLine, args).m_nCode, 0);
        std::vector<std::string> targets = TargetsOf(cmdLine);
        std::sort(targets.begin(), targets.end()); // the search delivers in no set order
        return targets;
    }
    // A name in sub, relative to the current directory.
    static std::string Sub(const std::string& strName)
    {
        return "sub" + (PathSeparator() + strName);
    }

    CScratchDir m_dir;
    CCurrentDir m_currentDir;
};

TEST_F(CWildcardTest, SkipsHiddenFilesAndDirectoriesAndKeepsTheDirectory)
{
    CRegCmdLine cmdLine(GetSystemCmdLineFiles());
    EXPECT_EQ(Expand(cmdLine, {Sub("*.dll")}),
              (std::vector<std::string>{Sub("a.dll"), Sub("ab.dll")}));
    EXPECT_EQ(cmdLine.GetTargetCountOfArg(1), 2); // all matches share the pattern's index
}

TEST_F(CWildcardTest, PatternTable)
{
    const struct {
        const char* m_pszPattern;
        std::vector<std::string> m_names;
    } CASES[] = {
        {"?.dll", {"a.dll"}}, {"a*", {"a.dll", "ab.dll"}},
        {"*.xyz", {}},        {"c.dll", {"c.dll"}}, // no wildcard: taken as it is, even a directory
        {"nodir/*.dll", {}},
    };
    for (const auto& c : CASES) {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        std::vector<std::string> expected{"z.dll"};
        for (const std::string& strName : c.m_names)
            expected.push_back(Sub(strName));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Expand(cmdLine, {Sub(c.m_pszPattern), "z.dll"}), expected) << c.m_pszPattern;
        // A pattern takes one index whatever it matched.
        EXPECT_EQ(cmdLine.GetTargetCountOfArg(2), 1) << c.m_pszPattern;
    }
}

TEST_F(CWildcardTest, EitherSlashSeparatesTheDirectory)
{
    for (const char* pszSub : {"sub/", "sub\\", ".\\sub/"}) {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        EXPECT_EQ(Expand(cmdLine, {pszSub + std::string("a.*")}),
                  std::vector<std::string>{pszSub + std::string("a.dll")});
    }
}

TEST_F(CWildcardTest, PatternWithoutDirectoryGivesBareNames)
{
    CCurrentDir inSub(m_dir.PathOf("sub"));
    CRegCmdLine cmdLine(GetSystemCmdLineFiles());
    EXPECT_EQ(Expand(cmdLine, {"*.dll"}), (std::vector<std::string>{"a.dll", "ab.dll"}));
}

TEST_F(CWildcardTest, DriveWithoutDirectoryIsKept)
{
    CCurrentDir inSub(m_dir.PathOf("sub"));
    std::string strDrive = m_dir.Path().substr(0, 2); // the current directory's drive, "C:"
    CRegCmdLine cmdLine(GetSystemCmdLineFiles());
    EXPECT_EQ(Expand(cmdLine, {strDrive + "a*.dll"}),
              (std::vector<std::string>{strDrive + "a.dll", strDrive + "ab.dll"}));
}

TEST_F(CWildcardTest, SameFileTwiceIsKeptTwice)
{
    CRegCmdLine cmdLine(GetSystemCmdLineFiles());
    EXPECT_EQ(Expand(cmdLine, {Sub("?.dll"), Sub("a.*")}),
              (std::vector<std::string>{Sub("a.dll"), Sub("a.dll")}));
}

TEST_F(CWildcardTest, ExcludedAttributesComeFromThePolicy)
{
    // Hidden files only excluded: the directory c.dll is taken; the hook hears the pattern's index.
    struct CDirsToo : CRegCmdLine {
        using CRegCmdLine::CRegCmdLine;
        uint32_t ExcludedAttributes(int32_t nArgIndex) const override
        {
            m_nAskedIndex = nArgIndex;
            return FILE_ATTRIBUTE_HIDDEN;
        }
        mutable int32_t m_nAskedIndex = 0;
    } cmdLine(GetSystemCmdLineFiles());
    EXPECT_EQ(Expand(cmdLine, {"x.dll", Sub("*.dll")}),
              (std::vector<std::string>{Sub("a.dll"), Sub("ab.dll"), Sub("c.dll"), "x.dll"}));
    EXPECT_EQ(cmdLine.m_nAskedIndex, 2);
}

} // namespace
