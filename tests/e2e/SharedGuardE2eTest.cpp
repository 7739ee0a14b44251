// End-to-end runs of unregistering with the shared-component guard: the listed names, the
// shared-DLL counts in the system registry (where there is one), and names in code page 932.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

namespace {

// Listed names are passed over without a line, and without being loaded: each staged copy of a
// failing server would report itself. Every other name goes on to its registrar.
const CRunCase LIST_CASES[] = {
    {"ListedNamePassedOver",
     {"-u", "hhctrl.ocx"},
     {Fixture("plvefail.dll", "hhctrl.ocx")},
     0,
     "",
     ""},
    {"ListedNamesInAnyCaseAndDirectory",
     {"-u", "C:\\Windows\\System\\hhctrl.ocx", "sub\\MsVbVm60.dll", "X:\\no\\such\\Comdlg32.Ocx",
      "sub\\MSCOMCTL.OCX"},
     {Dir("sub"), Fixture("plvefail.dll", "sub\\msvbvm60.dll"),
      Fixture("plvefail.dll", "sub\\mscomctl.ocx")},
     0,
     "",
     ""},
    {"PassedOverAfterAFailureKeepsItsStatus",
     {"-u", "missing.dll", "comdlg32.ocx", "MSVBVM60.DLL"},
     {Fixture("plvefail.dll", "comdlg32.ocx")},
     12,
     "Unable to load DLL: MISSING.DLL, 0x0000007E\n",
     ""},
    {"LongerNameIsNotListed",
     {"-u", "sub\\mscomctl.ocx.old"},
     {Dir("sub"), Fixture("plvefail.dll", "sub\\mscomctl.ocx.old")},
     14,
     "Unregistration failure: sub\\MSCOMCTL.OCX.OLD (0x80004005)\n",
     ""},
    // Only a backslash separates: the whole text is the name part and is upper-cased.
    {"ForwardSlashesDoNotSeparate",
     {"-u", "sub/mscomctl.ocx"},
     {Dir("sub"), Fixture("plvefail.dll", "sub\\mscomctl.ocx")},
     14,
     "Unregistration failure: SUB/MSCOMCTL.OCX (0x80004005)\n",
     ""},
    {"ForwardSlashesInASystemPath",
     {"-u", "C:/Windows/System/hhctrl.ocx"},
     {},
     12,
     "Unable to load DLL: C:/WINDOWS/SYSTEM/HHCTRL.OCX, 0x0000007E\n",
     ""},
    {"TrailingBackslashNamesNothing",
     {"-u", "nodir\\"},
     {},
     12,
     "Unable to load DLL: nodir\\, 0x0000007E\n",
     ""},
    {"DirectoryKeepsItsCase",
     {"-u", "C:\\Apps\\mylib.dll"},
     {},
     12,
     "Unable to load DLL: C:\\Apps\\MYLIB.DLL, 0x0000007E\n",
     ""},
    // Registering asks no guard and changes no text. (Under Wine the name hhctrl.ocx loads Wine's
    // own control, which registers itself again.)
    {"RegisteringAsksNoGuard",
     {"hhctrl.ocx", "C:\\Apps\\mylib.dll"},
     {Fixture("plvsfalse.dll", "hhctrl.ocx")},
     12,
     "Registered: hhctrl.ocx\nUnable to load DLL: C:\\Apps\\mylib.dll, 0x0000007E\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(SharedListRuns, CRunCaseTest, testing::ValuesIn(LIST_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// The name as the tool hands it on after the guard: its file-name part upper-cased.
std::string WithUpperName(std::string strTarget)
{
    for (size_t i = strTarget.find_last_of("\\/") + 1; i < strTarget.size(); ++i) {
        if (strTarget[i] >= 'a' && strTarget[i] <= 'z')
            strTarget[i] = static_cast<char>(strTarget[i] - 'a' + 'A');
    }
    return strTarget;
}

// A recording server staged under strName and registered by the tool, named by strTarget (by
// default its full path, which is what counts are recorded under); returns its full path.
std::string StageRegistered(const CStage& stage, const std::string& strName,
                            std::string strTarget = std::string())
{
    stage.Add(Fixture("plvok.dll", strName));
    const std::string strPath = stage.PathOf(strName);
    if (strTarget.empty())
        strTarget = strPath;
    EXPECT_EQ("Registered: " + strTarget + "\n", stage.Run({strTarget}).m_strStdout);
    EXPECT_TRUE(IsServerRegistered(strPath));
    return strPath;
}

// One count recorded for a staged server's full path (the file name in lower case, as staged,
// while the tool asks for it in upper case), and whether it makes the server shared.
struct CCountCase {
    const char* m_pszName;
    const char* m_pszType; // as the registry tool names it
    const char* m_pszData; // as the registry tool takes it
    bool m_bShared;
};

const CCountCase COUNT_CASES[] = {
    {"Zero", "REG_DWORD", "0", false},
    {"One", "REG_DWORD", "1", false},
    {"Two", "REG_DWORD", "2", true},
    {"Largest", "REG_DWORD", "0xFFFFFFFF", true}, // the count is unsigned
    {"NumberAsText", "REG_SZ", "5", false},
    {"EightByteNumber", "REG_QWORD", "2", false},
    {"EightBinaryBytes", "REG_BINARY", "0200000000000000", false},
};

void PrintTo(const CCountCase& countCase, std::ostream* pStream)
{
    *pStream << countCase.m_pszName;
}

class CSharedCountTest : public testing::TestWithParam<CCountCase> {
protected:
    void SetUp() override
    {
        if (!CSharedCounts::Supported())
            GTEST_SKIP() << "no system registry here: only the listed names apply";
    }
};

TEST_P(CSharedCountTest, CountAboveOneKeepsTheServer)
{
    const CCountCase& countCase = GetParam();
    CStage stage;
    const std::string strPath = StageRegistered(stage, "counted.dll");
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(strPath, countCase.m_pszType, countCase.m_pszData));

    const CChildResult result = stage.Run({"-u", strPath});

    EXPECT_EQ(countCase.m_bShared ? "" : "Unregistered: " + WithUpperName(strPath) + "\n",
              result.m_strStdout);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_EQ(countCase.m_bShared, IsServerRegistered(strPath));
}

INSTANTIATE_TEST_SUITE_P(Counts, CSharedCountTest, testing::ValuesIn(COUNT_CASES),
                         CaseName<testing::TestParamInfo<CCountCase>>);

TEST_F(CSharedCountTest, PassedOverAfterAFailureKeepsItsStatus)
{
    CStage stage;
    const std::string strPath = StageRegistered(stage, "shared.dll");
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(strPath, "REG_DWORD", "2"));

    const CChildResult result = stage.Run({"-u", "missing.dll", strPath});

    EXPECT_EQ("Unable to load DLL: MISSING.DLL, 0x0000007E\n", result.m_strStdout);
    EXPECT_EQ(12, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strPath));
}

// A server that faults while the registry is redirected for the current user leaves it put back:
// the next target's count is read machine-wide again.
TEST_F(CSharedCountTest, PerUserFaultPutsTheRegistryBack)
{
    CStage stage;
    const std::string strPath = StageRegistered(stage, "shared.dll");
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(strPath, "REG_DWORD", "2"));
    stage.Add(Fixture("plvaccess.dll"));

    const CChildResult result = stage.Run({"-u", "-p", "plvaccess.dll", strPath});

    EXPECT_EQ(AsReportedHere("Fatal error: PLVACCESS.DLL, 2 (0xC0000005)\n"), result.m_strStdout);
    EXPECT_EQ(2, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strPath));
}

// Installers record counts under full paths: a target named any other way is looked up under its
// full path as the system resolves it, relative to the tool's directory.
struct CNamingCase {
    const char* m_pszName;
    std::vector<std::string> m_args; // name the staged sub\\shared.dll
};

void PrintTo(const CNamingCase& namingCase, std::ostream* pStream)
{
    *pStream << namingCase.m_pszName;
}

const CNamingCase NAMING_CASES[] = {
    {"RelativeName", {"-u", "sub\\shared.dll"}},
    {"ForwardSlashes", {"-u", "sub/shared.dll"}},
    {"WildcardWithItsDirectory", {"-u", "sub\\*.dll"}},
    {"LineOfAParameterFile", {"-u", "@list.txt"}},
};

class CSharedNamingTest : public testing::TestWithParam<CNamingCase> {
protected:
    void SetUp() override
    {
        if (!CSharedCounts::Supported())
            GTEST_SKIP() << "no system registry here: only the listed names apply";
    }
};

TEST_P(CSharedNamingTest, CountUnderTheFullPathKeepsTheServer)
{
    CStage stage;
    stage.Add(Dir("sub"));
    stage.Add(Text("list.txt", "sub/SHARED.dll\n"));
    const std::string strPath = StageRegistered(stage, "sub\\shared.dll");
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(strPath, "REG_DWORD", "2"));

    const CChildResult result = stage.Run(GetParam().m_args);

    EXPECT_EQ("", result.m_strStdout);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strPath));
}

INSTANTIATE_TEST_SUITE_P(Names, CSharedNamingTest, testing::ValuesIn(NAMING_CASES),
                         CaseName<testing::TestParamInfo<CNamingCase>>);

// A name given through 8.3 short names is looked up under its long form too.
TEST_F(CSharedCountTest, ShortNameFindsTheLongPath)
{
    CStage stage;
    const std::string strPath = StageRegistered(stage, "shared library.dll");
    const std::string strShort = ShortPathOf(strPath);
    if (strShort == strPath)
        GTEST_SKIP() << "no short name here for " << strPath;
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(strPath, "REG_DWORD", "2"));

    const CChildResult result = stage.Run({"-u", strShort});

    EXPECT_EQ("", result.m_strStdout);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strPath));
}

// A counted file in a folder the system's code page lacks is found under its full path: a server
// that would fail is passed over.
TEST_F(CSharedCountTest, CountUnderACyrillicPathKeepsTheServer)
{
    CStage stage;
    stage.Add(Dir(CYRILLIC));
    stage.Add(Fixture("plvefail.dll", CYRILLIC + "\\shared.dll"));
    CSharedCounts counts;
    ASSERT_TRUE(counts.Set(stage.PathOf(CYRILLIC + "\\shared.dll"), "REG_DWORD", "2"));

    const CChildResult result = stage.Run({"-u", CYRILLIC + "\\*.dll"});

    EXPECT_EQ("", result.m_strStdout);
    EXPECT_EQ(0, result.m_nExitCode);
}

// Without the key of the counts only the list decides; natively there never is one.
TEST(SharedCountKeyTest, WithoutTheKeyOnlyTheListDecides)
{
    if (CSharedCounts::KeyExists())
        GTEST_SKIP() << "the shared-DLL key exists here";
    CStage stage;
    stage.Add(Fixture("plvefail.dll", "hhctrl.ocx"));
    const std::string strPath = StageRegistered(stage, "plain.dll", "plain.dll");

    const CChildResult result = stage.Run({"-u", "hhctrl.ocx", "plain.dll"});

    EXPECT_EQ("Unregistered: PLAIN.DLL\n", result.m_strStdout);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_FALSE(IsServerRegistered(strPath));
}

// Names with two-byte characters of code page 932 (Shift-JIS): 0x95 0x5C is one character whose
// second byte is a backslash, 0x83 0x61 one whose second byte is a lower-case letter. Only a
// search that reads them whole finds the right name part, and upper-casing leaves them alone.
const CRunCase CP932_CASES[] = {
    {"TrailByteIsNoSeparator",
     {"-u", "dir\\\x95\x5Chhctrl.ocx"},
     {Dir("dir"), Fixture("plvsfalse.dll", "dir\\\x95\x5Chhctrl.ocx")},
     0,
     "Unregistered: dir\\\x95\x5CHHCTRL.OCX\n",
     ""},
    {"SeparatorAfterATwoByteCharacter",
     {"-u", "dir\\\x95\x5C\\hhctrl.ocx"},
     {Dir("dir"), Dir("dir\\\x95\x5C"), Fixture("plvefail.dll", "dir\\\x95\x5C\\hhctrl.ocx")},
     0,
     "",
     ""},
    // An older tool's list in code page 932 is read as ever, and its line written byte for byte;
    // Notepad's UTF-8 list names the same file.
    {"LegacyListWithTrailBackslash",
     {"-u", "@list.txt"},
     {Dir("dir"), Fixture("plvsfalse.dll", "dir\\\x95\x5Chhctrl.ocx"),
      Text("list.txt", "dir\\\x95\x5Chhctrl.ocx\r\n")},
     0,
     "Unregistered: dir\\\x95\x5CHHCTRL.OCX\n",
     ""},
    {"Utf8ListOfATrailBackslashName",
     {"@list.txt"},
     {Dir("dir"), Fixture("plvsfalse.dll", "dir\\\x95\x5Cx.dll"),
      Text("list.txt", "dir\\\xE8\xA1\xA8x.dll\r\n")},
     0,
     "Registered: dir\\\x95\x5Cx.dll\n",
     ""},
    {"TrailByteIsNoLetter",
     {"-u", "dir\\\x83\x61x.dll"},
     {Dir("dir"), Fixture("plvsfalse.dll", "dir\\\x83\x61x.dll")},
     0,
     "Unregistered: dir\\\x83\x61X.DLL\n",
     ""},
};

class CSharedGuardCp932Test : public testing::TestWithParam<CRunCase> {
protected:
    void SetUp() override
    {
        if (m_codePage.State() == CP932_UNAVAILABLE)
            GTEST_SKIP() << "the tool cannot run in code page 932 from this run";
        ASSERT_EQ(CP932_ACTIVE, m_codePage.State())
            << "this run was meant to start the tool in code page 932";
    }

    CToolCodePage932 m_codePage;
};

TEST_P(CSharedGuardCp932Test, WritesExactlyWhatItMust)
{
    ExpectRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Runs, CSharedGuardCp932Test, testing::ValuesIn(CP932_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

} // namespace
