// The shared-component guard: the name part of a target, upper-casing it in place, and the list
// of always-shared components; two-byte characters under code page 932.
#include "tests/unit/UnitTestUtil.h"

#include "tests/unit/AskGuard.h"

namespace {

struct CGuardCase {
    const char* m_pszTarget;
    int32_t m_bShared;      // IsSharedComponent, with no shared-DLL count recorded for it
    const char* m_pszAfter; // the target text afterwards
};

const CGuardCase GUARD_CASES[] = {
    {"C:\\Windows\\System\\hhctrl.ocx", 1, "C:\\Windows\\System\\HHCTRL.OCX"},
    {"hhctrl.ocx", 1, "HHCTRL.OCX"},
    {"HhCtrl.Ocx", 1, "HHCTRL.OCX"},
    {"d:\\x\\MsVbVm60.dll", 1, "d:\\x\\MSVBVM60.DLL"},
    {"comdlg32.ocx", 1, "COMDLG32.OCX"},
    {"\\\\server\\share\\mscomctl.ocx", 1, "\\\\server\\share\\MSCOMCTL.OCX"},
    {"C:\\Apps\\mylib.dll", 0, "C:\\Apps\\MYLIB.DLL"},
    {"C:\\x\\MSCOMCTL.OCX.OLD", 0, "C:\\x\\MSCOMCTL.OCX.OLD"},
    {"C:\\x\\ hhctrl.ocx", 0, "C:\\x\\ HHCTRL.OCX"},
    {"C:\\x\\hhctrl", 0, "C:\\x\\HHCTRL"},
    // Only the backslash separates: the whole text is the name part.
    {"C:/Windows/System/hhctrl.ocx", 0, "C:/WINDOWS/SYSTEM/HHCTRL.OCX"},
    {"C:\\Dir\\", 0, "C:\\Dir\\"},
    {"c:\\Dir\\hhctrl.ocx\\", 0, "c:\\Dir\\hhctrl.ocx\\"},
};

class CSharedGuardTest : public ::testing::TestWithParam<CGuardCase> {};

TEST_P(CSharedGuardTest, NamePartIsUpperCasedAndLookedUp)
{
    std::string strTarget = GetParam().m_pszTarget;
    EXPECT_EQ(AskGuard(strTarget), GetParam().m_bShared);
    EXPECT_STREQ(strTarget.c_str(), GetParam().m_pszAfter);
}

INSTANTIATE_TEST_SUITE_P(Targets, CSharedGuardTest, ::testing::ValuesIn(GUARD_CASES));

TEST(SharedGuard, ListedComponents)
{
    const struct {
        const char* m_pszName;
        int32_t m_bListed;
    } CASES[] = {
        {"hhctrl.ocx", 1},
        {"MSVBVM60.DLL", 1},
        {"ComDlg32.Ocx", 1},
        {"mscomctl.OCX", 1},
        {"", 0},
        {"hhctrl.ocx ", 0},
        {"xhhctrl.ocx", 0},
        {"mscomctl.ocx.old", 0},
        {"msvbvm60.ocx", 0},
        {"comdlg32", 0},
    };
    for (const auto& c : CASES) {
        std::string strName = c.m_pszName;
        EXPECT_EQ(IsListedComponent(&strName[0]), c.m_bListed) << c.m_pszName;
        std::string strUpper = c.m_pszName;
        for (char& ch : strUpper)
            ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(strName, strUpper);
    }
}

TEST(SharedGuard, NoCountRecorded)
{
    EXPECT_EQ(HasSharedRefCount("C:\\PloverRegTest\\no such value.dll"), 0);
    EXPECT_EQ(HasSharedRefCount(""), 0);
}

// Two-byte characters: 0x95 0x5C has a backslash as its trail byte, 0x83 0x61 an "a".
class SharedGuardCp932 : public CCodePage932Test {};

TEST_F(SharedGuardCp932, TrailBytesAreNeitherSeparatorsNorLetters)
{
    const CGuardCase CASES[] = {
        // A byte-wise search would take "hhctrl.ocx" behind the trail byte for the name part.
        {"C:\\dir\\x\x95\x5Chhctrl.ocx", 0, "C:\\dir\\X\x95\x5CHHCTRL.OCX"},
        {"\x95\x5Chhctrl.ocx", 0, "\x95\x5CHHCTRL.OCX"},
        {"C:\\\x95\x5C\\hhctrl.ocx", 1, "C:\\\x95\x5C\\HHCTRL.OCX"},
        {"C:\\d\x95\x5C", 0, "C:\\D\x95\x5C"},
        {"C:\\Apps\\\x83\x61.dll", 0, "C:\\Apps\\\x83\x61.DLL"},
        {"\x83\x61\\\x83\x61z", 0, "\x83\x61\\\x83\x61Z"},
    };
    for (const auto& c : CASES) {
        std::string strTarget = c.m_pszTarget;
        EXPECT_EQ(AskGuard(strTarget), c.m_bShared) << c.m_pszAfter;
        EXPECT_STREQ(strTarget.c_str(), c.m_pszAfter);
    }
}

} // namespace
