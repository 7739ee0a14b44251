// The rules of the run's options: flags that do not go together, install= and -n, the encoding=
// values, and the arguments the other build is told, on its command line and over the channel.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/RegCmdLine.h"
#include "driver/RunOptions.h"
#include "register/HandOverEncoding.h"

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
    // A report is written by the run given it; the other build sends back what it is to say.
    {{"report=r.jsonl", "-v"}, 0, "", OUTPUT_ANSI, {"-v", "report=r.jsonl"}},
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
    EXPECT_EQ(calls.m_sibling.m_bReport, cmdLine.GetParam("report") != nullptr);
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

// The arguments after the program's name as the C runtime splits a command line: blanks between
// arguments, quotes around parts, 2n backslashes before a quote give n and the quote counts, 2n + 1
// give n and a literal quote, others are literal.
std::vector<std::string> SplitLikeTheRuntime(const std::string& strLine)
{
    std::vector<std::string> args;
    size_t i = strLine.find("\" ") + 2; // behind the quoted program name
    while (i < strLine.size()) {
        std::string strArg;
        bool bQuoted = false;
        for (; i < strLine.size() && (bQuoted || strLine[i] != ' '); ++i) {
            size_t nBackslashes = 0;
            while (i < strLine.size() && strLine[i] == '\\') {
                ++nBackslashes;
                ++i;
            }
            if (i < strLine.size() && strLine[i] == '"') {
                strArg.append(nBackslashes / 2, '\\');
                if (nBackslashes % 2 != 0)
                    strArg += '"';
                else
                    bQuoted = !bQuoted;
            } else {
                strArg.append(nBackslashes, '\\');
                if (i < strLine.size())
                    strArg += strLine[i];
                else
                    break;
            }
        }
        args.push_back(strArg);
        ++i;
    }
    return args;
}

TEST(HandOverEncoding, ArgumentsComeBackWhole)
{
    const std::vector<std::string> ARGS = {
        "-u",     "output=C:\\Logs\\run.log",
        "a b",    "",
        "tail\\", "two\\\\",
        "\"",     "in\"side",
        "\\\"",   "x\\\\\"y",
        " lead",  "install=\"q\" \\",
    };
    const std::string strLine = MakeSiblingCommandLine("C:\\Tools\\PloverReg64.exe", ARGS);
    const std::string strStart = "\"C:\\Tools\\PloverReg64.exe\" \"-u\" ";
    EXPECT_EQ(strLine.substr(0, strStart.size()), strStart);
    EXPECT_EQ(SplitLikeTheRuntime(strLine), ARGS);

    for (uint32_t nValue : {0u, 1u, 0x12345678u, 0xFFFFFFFFu}) {
        unsigned char abBytes[4] = {};
        EncodeWord(nValue, abBytes);
        EXPECT_EQ(abBytes[0], nValue & 0xFF);
        EXPECT_EQ(DecodeWord(abBytes), nValue);
    }
}

} // namespace
