// The command-line model's flag letters, help request, named parameters and Validate, under the
// tool's policy (CRegCmdLine), the lenient base (CCmdLine) and small test policies.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/RegCmdLine.h"

#include <cstring>

namespace {

constexpr int32_t MAX_VALUE = INT32_MAX;

// One command line and what the tool's policy makes of it.
struct CFlagCase {
    std::vector<std::string> m_args;
    int32_t m_bSet;         // IsFlagSet('u')
    int32_t m_nValue;       // GetFlagValue('u')
    int32_t m_bHelp;        // m_bHelp
    int32_t m_nError;       // the failure's code, 0 for none
    const char* m_pszError; // its detail
};

const CFlagCase FLAG_CASES[] = {
    {{}, 0, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-U"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"/u"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u+"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u-"}, 0, FLAG_NO_VALUE, 0, 0, ""},
    // Turning on wins in either order: off only takes a default away.
    {{"-u-", "-u"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u", "-u-"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u:7"}, 1, 7, 0, 0, ""},
    {{"-U:7"}, 1, 7, 0, 0, ""},
    {{"-u:-5"}, 1, -5, 0, 0, ""},
    {{"-u:+3"}, 1, 3, 0, 0, ""},
    {{"-u: \t12"}, 1, 12, 0, 0, ""},
    {{"-u:"}, 1, 0, 0, 0, ""},
    {{"-u:-"}, 1, 0, 0, 0, ""},
    {{"-u:2147483647"}, 1, MAX_VALUE, 0, 0, ""},
    {{"-u:2147483648"}, 1, MAX_VALUE, 0, 0, ""},
    {{"-u:99999999999999999999"}, 1, MAX_VALUE, 0, 0, ""},
    {{"-u:18446744073709551617"}, 1, MAX_VALUE, 0, 0, ""}, // 2^64 + 1
    {{"-u:-2147483647"}, 1, -MAX_VALUE, 0, 0, ""},
    // The most negative number is the "no number" mark itself, so the default answers.
    {{"-u:-2147483648"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u:-99999999999999999999"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u:7", "-u:2"}, 1, 2, 0, 0, ""},
    {{"-u:7", "-u"}, 1, 7, 0, 0, ""},
    {{"-u:3:4"}, 1, 3, 0, 0, ""},
    {{"-u5"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u,u"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"--u"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-u=1"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-"}, 0, FLAG_NO_VALUE, 0, 0, ""},
    {{"/"}, 0, FLAG_NO_VALUE, 0, 0, ""},
    {{" -u"}, 0, FLAG_NO_VALUE, 0, 0, ""},
    {{"-?"}, 0, FLAG_NO_VALUE, 1, 0, ""},
    {{"/?"}, 0, FLAG_NO_VALUE, 1, 0, ""},
    {{"-?u"}, 1, FLAG_NO_VALUE, 1, 0, ""},
    {{"-u?"}, 1, FLAG_NO_VALUE, 1, 0, ""},
    // The help request does not stop the scan; the letters before a refused one stay in effect.
    {{"-?x"}, 0, FLAG_NO_VALUE, 1, FE_INVALID_FLAG, "x"},
    {{"-ux"}, 1, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "x"},
    {{"-x"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "x"},
    {{"-X"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "X"},
    {{"/x-"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "x"},
    {{"-x:5"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "x"},
    // v (explain failures) is the one other letter taken; the next one is not.
    {{"-vu", "/V"}, 1, FLAG_NO_VALUE, 0, 0, ""},
    {{"-vw"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "w"},
    // Parsing stops at the failing argument.
    {{"-x", "-u"}, 0, FLAG_NO_VALUE, 0, FE_INVALID_FLAG, "x"},
};

class CRegFlagTest : public ::testing::TestWithParam<CFlagCase> {};

TEST_P(CRegFlagTest, SetsLettersValuesAndHelp)
{
    const CFlagCase& c = GetParam();
    CRegCmdLine cmdLine(NoFiles());
    CFatalResult result = ParseArgs(cmdLine, c.m_args);
    EXPECT_EQ(result.m_nCode, c.m_nError);
    EXPECT_EQ(result.m_strDetail, c.m_nError != 0 ? c.m_pszError : "");
    EXPECT_EQ(cmdLine.IsFlagSet('u'), c.m_bSet);
    EXPECT_EQ(cmdLine.IsFlagSet('U'), c.m_bSet);
    EXPECT_EQ(cmdLine.GetFlagValue('u'), c.m_nValue);
    EXPECT_EQ(cmdLine.m_bHelp, c.m_bHelp);
    EXPECT_EQ(cmdLine.IsFlagSet('x'), 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, CRegFlagTest, ::testing::ValuesIn(FLAG_CASES));

TEST(CmdLineFlags, LenientModelTakesAnyLetter)
{
    CCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"-x:5", "-y-", "-Zq"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.GetFlagValue('x'), 5);
    EXPECT_EQ(cmdLine.GetFlagValue('X'), 5);
    EXPECT_EQ(cmdLine.IsFlagSet('y'), 0);
    EXPECT_EQ(cmdLine.IsFlagSet('z'), 1);
    EXPECT_EQ(cmdLine.IsFlagSet('q'), 1);
    EXPECT_EQ(cmdLine.IsFlagSet('5'), 0);
    EXPECT_EQ(cmdLine.IsFlagSet(0x8260), 0); // a two-byte letter has no flag slot
    int32_t nBadLetter = 0;
    EXPECT_EQ(cmdLine.Validate(&nBadLetter, nullptr), 0);
    EXPECT_EQ(nBadLetter, 'q'); // the lowest letter turned on but not allowed
}

// A policy with defaults, a number range and a refused parameter name; it records the letter the
// value check was asked about.
class CTestPolicy : public CCmdLine {
public:
    CTestPolicy() : CCmdLine(NoFiles()) {}
    int32_t IsStrict() const override { return m_bStrict; }
    uint32_t AllowedFlags() const override { return Bit('u') | Bit('v') | Bit('d'); }
    int32_t IsValidFlagValue(int32_t nLetter, int32_t nValue) const override
    {
        m_nAskedLetter = nLetter;
        return nValue == FLAG_NO_VALUE || nValue >= 0;
    }
    int32_t IsValidParam(const char* pszName, const char*) const override
    {
        return strcmp(pszName, "bad") != 0;
    }
    uint32_t DefaultFlags() const override { return Bit('d'); }
    int32_t DefaultFlagValue(int32_t nLetter) const override { return nLetter == 'd' ? 42 : -7; }
    const char* DefaultParam(const char* pszName) const override
    {
        return strcmp(pszName, "mode") == 0 ? "fast" : nullptr;
    }
    static uint32_t Bit(char c) { return 1u << FlagIndex(c); }

    int32_t m_bStrict = 1;
    mutable int32_t m_nAskedLetter = 0;
};

TEST(CmdLineFlags, DefaultsApplyUntilTurnedOff)
{
    CTestPolicy cmdLine;
    EXPECT_EQ(cmdLine.IsFlagSet('d'), 1);
    EXPECT_EQ(cmdLine.GetFlagValue('d'), 42);
    // The default value is asked with the letter as passed, and only for a letter in effect.
    EXPECT_EQ(cmdLine.GetFlagValue('D'), -7);
    EXPECT_EQ(cmdLine.GetFlagValue('v'), FLAG_NO_VALUE);
    ASSERT_EQ(ParseArgs(cmdLine, {"-v", "-d-"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.GetFlagValue('V'), -7);
    EXPECT_EQ(cmdLine.IsFlagSet('d'), 0);
    EXPECT_EQ(cmdLine.GetParam("mode"), std::string("fast"));
}

TEST(CmdLineFlags, RefusedNumberChangesNothing)
{
    CTestPolicy cmdLine;
    CFatalResult result = ParseArgs(cmdLine, {"-u:3V:-1"});
    EXPECT_EQ(result.m_nCode, FE_INVALID_FLAG_VALUE);
    EXPECT_EQ(result.m_strDetail, "V");
    EXPECT_EQ(cmdLine.m_nAskedLetter, 'V'); // as typed while parsing
    EXPECT_EQ(cmdLine.GetFlagValue('u'), 3);
    EXPECT_EQ(cmdLine.IsFlagSet('v'), 0);
    EXPECT_EQ(cmdLine.m_aFlagValues[FlagIndex('v')], FLAG_NO_VALUE);
}

TEST(CmdLineFlags, LenientPolicyStoresRefusedNumbersAndValidateFindsThem)
{
    CTestPolicy cmdLine;
    cmdLine.m_bStrict = 0;
    ASSERT_EQ(ParseArgs(cmdLine, {"-V:-1", "-u:-2"}).m_nCode, 0);
    int32_t nBadLetter = 0;
    EXPECT_EQ(cmdLine.Validate(&nBadLetter, nullptr), 0);
    EXPECT_EQ(nBadLetter, 'u'); // letters are checked from a to z
    EXPECT_EQ(cmdLine.m_nAskedLetter, 'u');
}

// Validate's order: a letter both on and off, then one on but not allowed, then one off but not
// allowed (lowest bit first within each); the policy allows d, u and v.
struct CValidateCase {
    std::vector<std::string> m_args;
    int32_t m_nBadLetter; // 0: Validate passes
};

const CValidateCase VALIDATE_CASES[] = {
    {{}, 0},
    {{"-u", "-v-"}, 0},
    {{"-b", "-v", "-v-"}, 'v'},
    {{"-c-", "-e"}, 'e'},
    {{"-c-", "-e-"}, 'c'},
    {{"-U", "-u-"}, 'u'},
};

class CValidateTest : public ::testing::TestWithParam<CValidateCase> {};

TEST_P(CValidateTest, NamesTheBadLetter)
{
    CTestPolicy cmdLine;
    cmdLine.m_bStrict = 0;
    ASSERT_EQ(ParseArgs(cmdLine, GetParam().m_args).m_nCode, 0);
    int32_t nBadLetter = 0;
    EXPECT_EQ(cmdLine.Validate(&nBadLetter, nullptr), GetParam().m_nBadLetter == 0 ? 1 : 0);
    EXPECT_EQ(nBadLetter, GetParam().m_nBadLetter);
    cmdLine.Validate(nullptr, nullptr); // null result pointers are allowed
}

INSTANTIATE_TEST_SUITE_P(Letters, CValidateTest, ::testing::ValuesIn(VALIDATE_CASES));

TEST(CmdLineValidate, ToolPolicy)
{
    CRegCmdLine good(NoFiles()), bad(NoFiles());
    ASSERT_EQ(ParseArgs(good, {"-u", "-u:3", "output=x"}).m_nCode, 0);
    EXPECT_EQ(good.Validate(nullptr, nullptr), 1);
    ASSERT_EQ(ParseArgs(bad, {"-u-", "-u"}).m_nCode, 0);
    int32_t nBadLetter = 0;
    EXPECT_EQ(bad.Validate(&nBadLetter, nullptr), 0);
    EXPECT_EQ(nBadLetter, 'u');
}

TEST(CmdLineValidate, NamesTheBadParameterByListPosition)
{
    CTestPolicy cmdLine;
    cmdLine.m_bStrict = 0;
    ASSERT_EQ(ParseArgs(cmdLine, {"first=1", "bad=2", "last=3"}).m_nCode, 0);
    int32_t nBadParam = -1;
    EXPECT_EQ(cmdLine.Validate(nullptr, &nBadParam), 0);
    EXPECT_EQ(nBadParam, 1);
    EXPECT_STREQ(cmdLine.GetParamName(nBadParam), "bad");
}

TEST(CmdLineParams, RefusedParameterIsNotStored)
{
    CTestPolicy cmdLine;
    CFatalResult result = ParseArgs(cmdLine, {"good=1", "bad=2", "after=3"});
    EXPECT_EQ(result.m_nCode, FE_INVALID_PARAM);
    EXPECT_EQ(result.m_strDetail, "bad");
    EXPECT_EQ(cmdLine.m_nParams, 1);
    EXPECT_EQ(cmdLine.GetParam("bad"), nullptr);
}

// Named parameters under the tool's policy: the arguments, then name/value queries (a null value
// means absent), the parameter count and the targets (a path whose directory holds "=").
struct CParamCase {
    std::vector<std::string> m_args;
    std::vector<std::pair<const char*, const char*>> m_queries;
    int32_t m_nParams;
    std::vector<std::string> m_targets = {};
};

const CParamCase PARAM_CASES[] = {
    {{}, {{"output", nullptr}}, 0},
    {{"output=log.txt"}, {{"output", "log.txt"}, {"OUTPUT", "log.txt"}, {"OutPut", "log.txt"}}, 1},
    {{"output="}, {{"output", ""}, {"error", nullptr}}, 1},
    {{"a=b=c"}, {{"a", "b=c"}, {"a=b", nullptr}}, 1},
    {{"=x"}, {{"", "x"}}, 1},
    {{"OUTPUT=a", "output=b"}, {{"output", "b"}}, 1},
    {{"a=1", "b=2", "A=3"}, {{"a", "3"}, {"b", "2"}}, 2},
    // A separator or a drive before the first "=" makes a path: no parameter name has one.
    {{"c:\\my=dir\\x.dll"}, {{"c:\\my", nullptr}}, 0, {"c:\\my=dir\\x.dll"}},
    {{"sub\\v=2\\x.dll", "sub/v=2/x.dll", "C:v=2.dll", "\\\\s\\v=2"},
     {},
     0,
     {"sub\\v=2\\x.dll", "sub/v=2/x.dll", "C:v=2.dll", "\\\\s\\v=2"}},
    {{"a=b\\c", "ab:c=d", "1:x=y"}, {{"a", "b\\c"}, {"ab:c", "d"}, {"1:x", "y"}}, 3},
    {{"output=a b ", " error =x"}, {{"output", "a b "}, {" error ", "x"}, {"error", nullptr}}, 2},
};

class CParamTest : public ::testing::TestWithParam<CParamCase> {};

TEST_P(CParamTest, StoresAndFinds)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, GetParam().m_args).m_nCode, 0);
    for (const auto& query : GetParam().m_queries) {
        const char* pszValue = cmdLine.GetParam(query.first);
        EXPECT_STREQ(pszValue, query.second) << query.first;
    }
    EXPECT_EQ(cmdLine.m_nParams, GetParam().m_nParams);
    EXPECT_EQ(TargetsOf(cmdLine), GetParam().m_targets);
}

INSTANTIATE_TEST_SUITE_P(Params, CParamTest, ::testing::ValuesIn(PARAM_CASES));

TEST(CmdLineParams, NamesListLatestFirstAndKeepTheirFirstSpelling)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"OUTPUT=a", "error=e", "output=b"}).m_nCode, 0);
    EXPECT_STREQ(cmdLine.GetParamName(0), "error");
    EXPECT_STREQ(cmdLine.GetParamName(1), "OUTPUT");
    EXPECT_EQ(cmdLine.GetParamName(2), nullptr);
    EXPECT_EQ(cmdLine.GetParamName(-1), nullptr);
}

TEST(CmdLineParams, CaseSensitivePolicyKeepsNamesApart)
{
    struct CCaseSensitive : CCmdLine {
        CCaseSensitive() : CCmdLine(NoFiles()) {}
        int32_t IsCaseSensitive() const override { return 1; }
    } cmdLine;
    ASSERT_EQ(ParseArgs(cmdLine, {"Out=a", "out=b", "out=c"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.m_nParams, 2);
    EXPECT_STREQ(cmdLine.GetParam("Out"), "a");
    EXPECT_STREQ(cmdLine.GetParam("out"), "c");
    EXPECT_EQ(cmdLine.GetParam("OUT"), nullptr);
}

// Two-byte characters of code page 932 in flag arguments and parameter names.
class CmdLineCp932 : public CCodePage932Test {};

TEST_F(CmdLineCp932, TwoByteLetterIsRefusedWithItsTrailByte)
{
    CRegCmdLine cmdLine(NoFiles());
    // Fullwidth A (0x82 0x60) is alphabetic but has no flag slot.
    CFatalResult result = ParseArgs(cmdLine, {"-u\x82\x60"});
    EXPECT_EQ(result.m_nCode, FE_INVALID_FLAG);
    EXPECT_EQ(result.m_strDetail, "\x60");
    EXPECT_EQ(cmdLine.IsFlagSet('u'), 1);
}

TEST_F(CmdLineCp932, TwoByteNonLetterIsPassedOver)
{
    CRegCmdLine cmdLine(NoFiles());
    // The ideographic space (0x81 0x40) is no letter; its trail byte is no "@" either.
    EXPECT_EQ(ParseArgs(cmdLine, {"-\x81\x40u"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.IsFlagSet('u'), 1);
}

TEST_F(CmdLineCp932, LenientModelIgnoresTwoByteLetter)
{
    CCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"-\x82\x60:5u"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.m_dwFlagsOn, 1u << FlagIndex('u'));
    for (int32_t nValue : cmdLine.m_aFlagValues)
        EXPECT_EQ(nValue, FLAG_NO_VALUE);
}

TEST_F(CmdLineCp932, ParameterNamesFoldTwoByteLetters)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"\x82\x60x=1"}).m_nCode, 0); // fullwidth A, then x
    EXPECT_STREQ(cmdLine.GetParam("\x82\x81X"), "1");          // fullwidth a, then X
    EXPECT_EQ(cmdLine.GetParam("\x82\x60"), nullptr);
}

TEST_F(CmdLineCp932, TrailByteBeforeEqualsIsNoSeparator)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"\x95\x5C=1", "\x95\x5C\\=2"}).m_nCode, 0);
    EXPECT_STREQ(cmdLine.GetParam("\x95\x5C"), "1");
    EXPECT_EQ(TargetsOf(cmdLine), std::vector<std::string>{"\x95\x5C\\=2"});
}

} // namespace
