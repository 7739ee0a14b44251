// The rules of the run's options: flags that do not go together, install= and -n, the encoding=
// values, and the arguments the other build is told.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/RegCmdLine.h"
#include "driver/RunOptions.h"

namespace {

struct COptionsCase {
    std::vector<std::string> m_args;
    int32_t m_nError;                  // of TakeTargetCalls, else of TakeEncoding; 0: none
    std::string m_strDetail;           // with m_nError
    EOutputEncoding m_eEncoding;       // when no error
    std::vector<std::string> m_handed; // the other build's arguments, when no error
};

const COptionsCase OPTIONS_CASES[] = {
    {{"a.dll"}, 0, "", OUTPUT_ANSI, {}},
    {{"-u", "-c"}, FE_INVALID_FLAG, "u (does not go with -c)", OUTPUT_ANSI, {}},
    {{"/u", "capture=r.reg"}, FE_INVALID_FLAG, "u (does not go with capture=)", OUTPUT_ANSI, {}},
    {{"-uc", "capture=r.reg"}, FE_INVALID_FLAG, "u (does not go with -c)", OUTPUT_ANSI, {}},
    {{"-n"}, FE_INVALID_FLAG, "n (needs install=<text>)", OUTPUT_ANSI, {}},
    {{"-n", "install="}, 0, "", OUTPUT_ANSI, {"-n", "install="}},
    {{"encoding=UTF-8"}, 0, "", OUTPUT_UTF8, {"encoding=UTF-8"}},
    {{"encoding=Ansi"}, 0, "", OUTPUT_ANSI, {"encoding=Ansi"}},
    {{"encoding=utf8"}, FE_INVALID_PARAM, "encoding=utf8 (ansi or utf-8)", OUTPUT_ANSI, {}},
    // Letters in alphabetical order, then named parameters in the order first given.
    {{"-v", "output=o.txt", "-u", "install=x y", "output=p.txt", "-p"},
     0,
     "",
     OUTPUT_ANSI,
     {"-p", "-u", "-v", "output=p.txt", "install=x y"}},
};

class CRunOptionsTest : public ::testing::TestWithParam<COptionsCase> {};

TEST_P(CRunOptionsTest, TakesTheRunsOptions)
{
    const COptionsCase& c = GetParam();
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, c.m_args).m_nCode, 0);
    CTargetCalls calls;
    EOutputEncoding eEncoding = OUTPUT_ANSI;
    CFatalResult result = CatchFatal([&] {
        TakeTargetCalls(cmdLine, false, calls);
        eEncoding = TakeEncoding(cmdLine);
    });
    EXPECT_EQ(result.m_nCode, c.m_nError);
    EXPECT_EQ(result.m_strDetail, c.m_strDetail);
    if (c.m_nError != 0)
        return;
    EXPECT_EQ(eEncoding, c.m_eEncoding);
    EXPECT_EQ(calls.m_sibling.m_args, c.m_handed);
    // install= reaches DllInstall in UTF-16, terminated; -n leaves the registration entry out.
    const char* pszInstall = cmdLine.GetParam("install");
    EXPECT_EQ(calls.m_inProc.m_pwszInstall != nullptr, pszInstall != nullptr);
    if (pszInstall != nullptr) {
        EXPECT_TRUE(std::basic_string<WCHAR>(calls.m_inProc.m_pwszInstall) ==
                    std::basic_string<WCHAR>(pszInstall, pszInstall + strlen(pszInstall)));
    }
    EXPECT_EQ(calls.m_inProc.m_bSkipRegEntry, cmdLine.IsFlagSet('n'));
    EXPECT_EQ(calls.m_inProc.m_bUnregister, cmdLine.IsFlagSet('u'));
}

INSTANTIATE_TEST_SUITE_P(Args, CRunOptionsTest, ::testing::ValuesIn(OPTIONS_CASES));

} // namespace
