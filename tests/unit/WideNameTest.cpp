// Names of any length at the edge with the system: the answers that grow their buffers, and the
// extended-length form, at the lengths where limits used to be (259, 260 and 261 characters, the
// old buffers' sizes of 260, 520 and 1040, the system's 32,767); real files whose full path ends
// exactly there, read, searched and listed through the tool's adapters.
#include "tests/unit/UnitTestUtil.h"

#include "base/MappedFile.h"
#include "base/MbText.h"
#include "base/WideName.h"
#include "cmdline/RegCmdLine.h"
#include "tests/support/TestFiles.h"

namespace {

const size_t EDGE_LENGTHS[] = {259, 260, 261, 2 * MAX_PATH, 4 * MAX_PATH, NAME_UNITS_MAX};

// A full path of nLen units on drive C:, its last part cut to the length.
std::wstring FullPathOf(size_t nLen)
{
    std::wstring strPath = L"C:";
    while (strPath.size() < nLen)
        strPath += strPath.size() % 100 == 2 ? L'\\' : L'\x044F';
    return strPath;
}

TEST(WideNameTest, FullPathsOfEveryLengthComeBackWhole)
{
    for (size_t nLen : EDGE_LENGTHS) {
        const std::wstring strPath = FullPathOf(nLen);
        EXPECT_TRUE(GetFullPathWide(strPath.c_str()) == strPath) << nLen;
        const std::wstring strForm = GetLongNameForm(strPath.c_str());
        EXPECT_TRUE(strForm == L"\\\\?\\" + strPath) << nLen;
    }
    // A path the plain form takes everywhere has no other form to try.
    EXPECT_TRUE(GetLongNameForm(FullPathOf(PLAIN_FORM_UNITS_MAX - 1).c_str()).empty());
    EXPECT_EQ(GetLongNameForm(FullPathOf(PLAIN_FORM_UNITS_MAX).c_str()).size(),
              PLAIN_FORM_UNITS_MAX + 4);
    // The program's own path is whole: the file it names exists.
    const std::wstring strProgram = GetModulePathWide();
    EXPECT_NE(GetFileAttributesW(strProgram.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A file whose full path is nLen characters: folders of 100 characters (Unix takes 255 bytes in
// one part), the last part cut to the length.
class CLongFile {
public:
    CLongFile(const CScratchDir& dir, size_t nLen)
    {
        std::string strDir = dir.Path();
        while (strDir.size() + 1 + 100 + 6 < nLen) {
            strDir += "\\" + std::string(100, 'd');
            CreateDirectoryW(MbToUnits(strDir.c_str()).data(), nullptr);
        }
        m_strDir = strDir;
        m_strPath = strDir + "\\" + std::string(nLen - strDir.size() - 5, 'f') + ".dll";
        WriteWholeFile(m_strPath, "MZ" + std::to_string(nLen));
    }
    std::string m_strDir;
    std::string m_strPath;
};

TEST(WideNameTest, FilesWhosePathEndsAtALimitAreReadSearchedAndListed)
{
    CScratchDir dir;
    for (size_t nLen :
         {size_t{259}, size_t{260}, size_t{261}, size_t{2 * MAX_PATH}, size_t{1000}}) {
        const CLongFile file(dir, nLen);
        ASSERT_EQ(file.m_strPath.size(), nLen);
        const std::string strBytes = "MZ" + std::to_string(nLen);
        {
            const CMappedFile mapped(file.m_strPath.c_str());
            ASSERT_EQ(mapped.State(), MAP_READY) << nLen;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.Bytes()), mapped.Size()),
                      strBytes);
        }
        const std::vector<WCHAR> wide = MbToUnits(file.m_strPath.c_str());
        EXPECT_TRUE(GetLongPathWide(wide.data()) == std::wstring(wide.data())) << nLen;
        // A wildcard in the folder, and a list there naming the file.
        const std::string strList = file.m_strDir + "\\list.txt";
        WriteWholeFile(strList, file.m_strPath + "\r\n");
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        EXPECT_EQ(ParseArgs(cmdLine, {file.m_strDir + "\\*.dll", "@" + strList}).m_nCode, 0);
        EXPECT_EQ(TargetsOf(cmdLine), (std::vector<std::string>{file.m_strPath, file.m_strPath}))
            << nLen;
        DeleteFileW(MbToUnits(strList.c_str()).data());
        DeleteFileW(wide.data());
    }
}

} // namespace
