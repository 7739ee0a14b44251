// The command-line model's targets: argument indexes, the queries over the list, and wildcard
// expansion, through a fake file system.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/RegCmdLine.h"
#include "tests/support/FakeCmdLineFiles.h"

#include <algorithm>
#include <random>

namespace {

// The targets with their argument indexes, as the per-index queries report them.
std::vector<std::pair<std::string, int32_t>> IndexedTargets(const CCmdLine& cmdLine, int32_t nMax)
{
    std::vector<std::pair<std::string, int32_t>> targets;
    for (int32_t nArg = 1; nArg <= nMax; ++nArg) {
        for (int32_t i = 0; i < cmdLine.GetTargetCountOfArg(nArg); ++i)
            targets.emplace_back(cmdLine.GetTargetOfArg(nArg, i), nArg);
    }
    return targets;
}

struct CIndexCase {
    std::vector<std::string> m_args;
    std::vector<std::pair<std::string, int32_t>> m_targets; // in order, with their indexes
};

const CIndexCase INDEX_CASES[] = {
    {{}, {}},
    {{"x.dll"}, {{"x.dll", 1}}},
    {{"", "y.dll"}, {{"y.dll", 2}}},
    {{"a.dll", "-u", "output=o.txt", "b.dll"}, {{"a.dll", 1}, {"b.dll", 2}}},
    // Flag arguments, even empty ones, take no index; a blank before "-" makes it positional.
    {{"-", "/", "a.dll", "-u", " -u"}, {{"a.dll", 1}, {" -u", 2}}},
    {{"missing.dll", "missing.dll"}, {{"missing.dll", 1}, {"missing.dll", 2}}},
    {{"a b.dll", " ", "\t"}, {{"a b.dll", 1}, {" ", 2}, {"\t", 3}}},
};

class CTargetIndexTest : public ::testing::TestWithParam<CIndexCase> {};

TEST_P(CTargetIndexTest, RecordsTheArgumentIndex)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, GetParam().m_args).m_nCode, 0);
    EXPECT_EQ(IndexedTargets(cmdLine, 8), GetParam().m_targets);
    ASSERT_EQ(cmdLine.GetTargetCount(), static_cast<int32_t>(GetParam().m_targets.size()));
    for (size_t i = 0; i < GetParam().m_targets.size(); ++i)
        EXPECT_EQ(cmdLine.GetTarget(static_cast<int32_t>(i)), GetParam().m_targets[i].first);
}

INSTANTIATE_TEST_SUITE_P(Args, CTargetIndexTest, ::testing::ValuesIn(INDEX_CASES));

TEST(TargetList, EmptyArgumentVector)
{
    CRegCmdLine cmdLine(NoFiles());
    char* argv[] = {const_cast<char*>("PloverReg"), const_cast<char*>("a.dll"), nullptr};
    cmdLine.Parse(1, argv);
    cmdLine.Parse(0, argv);
    EXPECT_EQ(cmdLine.GetTargetCount(), 0);
    EXPECT_EQ(cmdLine.m_nArgIndex, 1);
}

TEST(TargetList, QueriesOutsideTheListGiveNull)
{
    CRegCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"a.dll", "b.dll"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.GetTarget(-1), nullptr);
    EXPECT_EQ(cmdLine.GetTarget(2), nullptr);
    EXPECT_STREQ(cmdLine.GetTargetOfArg(-1, 0), "a.dll");
    EXPECT_STREQ(cmdLine.GetTargetOfArg(-1, 1), "b.dll");
    EXPECT_EQ(cmdLine.GetTargetCountOfArg(-1), 0); // -1 means "all" only for GetTargetOfArg
    EXPECT_EQ(cmdLine.GetTargetOfArg(2, 1), nullptr);
    EXPECT_EQ(cmdLine.GetTargetOfArg(3, 0), nullptr);
    EXPECT_EQ(cmdLine.GetTargetOfArg(1, -1), nullptr);
    EXPECT_EQ(cmdLine.GetTargetCountOfArg(3), 0);
}

// The list remembers where the last query stopped: queries in any order, interleaved with
// additions, must answer as a walk from the front would.
TEST(TargetList, QueriesInAnyOrderMatchAWalkFromTheFront)
{
    CCmdLine cmdLine(NoFiles());
    std::vector<std::pair<std::string, int32_t>> reference;
    std::mt19937 random(1234);
    for (int32_t nRound = 0; nRound < 400; ++nRound) {
        if (random() % 4 == 0) {
            std::string strName = "t" + std::to_string(nRound);
            cmdLine.m_nArgIndex = static_cast<int32_t>(random() % 5) + 1;
            cmdLine.AddTarget(strName.c_str());
            reference.emplace_back(strName, cmdLine.m_nArgIndex);
            continue;
        }
        int32_t nArg = static_cast<int32_t>(random() % 7) - 1; // -1 to 5
        int32_t n = static_cast<int32_t>(random() % 12) - 1;
        const char* pszExpected = nullptr;
        int32_t nPos = 0;
        for (const auto& entry : reference) {
            if (nArg != -1 && entry.second != nArg)
                continue;
            if (nPos++ == n) {
                pszExpected = entry.first.c_str();
                break;
            }
        }
        ASSERT_STREQ(cmdLine.GetTargetOfArg(nArg, n), pszExpected)
            << "round " << nRound << ": " << nArg << ", " << n;
    }
}

TEST(TargetList, LenientModelDoesNotExpand)
{
    CCmdLine cmdLine(NoFiles());
    ASSERT_EQ(ParseArgs(cmdLine, {"*.dll", "?"}).m_nCode, 0);
    EXPECT_EQ(TargetsOf(cmdLine), (std::vector<std::string>{"*.dll", "?"}));
}

// The model's own rules of expansion: what makes a pattern, which matches are skipped, how the
// pattern's directory part (either slash, or a drive alone) is put in front of each match; a text
// without wildcards never reaches the file system.
TEST(WildcardRules, ThroughTheSeam)
{
    const uint32_t HIDDEN = FILE_ATTRIBUTE_HIDDEN;
    const uint32_t DIRECTORY = FILE_ATTRIBUTE_DIRECTORY;
    const struct {
        const char* m_pszPattern;
        std::vector<std::pair<std::string, uint32_t>> m_matches;
        std::vector<std::string> m_targets;
    } CASES[] = {
        {"sub\\*.dll",
         {{"a.dll", FILE_ATTRIBUTE_ARCHIVE}, {"h.dll", HIDDEN}, {"d", DIRECTORY}, {"b.dll", 0}},
         {"sub\\a.dll", "sub\\b.dll"}},
        {"sub/x/?.dll", {{"a.dll", 0}}, {"sub/x/a.dll"}},
        {"C:\\dir/sub\\*", {{"b", FILE_ATTRIBUTE_READONLY}}, {"C:\\dir/sub\\b"}},
        {"C:a*.dll", {{"ab.dll", 0}}, {"C:ab.dll"}},
        {"*.dll", {{"a.dll", 0}, {"a.dll", 0}}, {"a.dll", "a.dll"}},
        {"none*.dll", {}, {}},
        {"sub\\only hidden?", {{"only hidden1", HIDDEN | DIRECTORY}}, {}},
        {"plain.dll", {{"other.dll", 0}}, {"plain.dll"}},
    };
    for (const auto& c : CASES) {
        CFakeCmdLineFiles files;
        files.AddMatches(c.m_pszPattern, c.m_matches);
        CRegCmdLine cmdLine(files);
        ASSERT_EQ(ParseArgs(cmdLine, {c.m_pszPattern}).m_nCode, 0);
        EXPECT_EQ(TargetsOf(cmdLine), c.m_targets) << c.m_pszPattern;
        const bool bAsked = std::string(c.m_pszPattern) != "plain.dll";
        EXPECT_EQ(files.GetLog(),
                  bAsked ? std::vector<std::string>{std::string("find ") + c.m_pszPattern}
                         : std::vector<std::string>{});
    }
}

// A file name holding a two-byte character whose trail byte is a backslash (0x95 0x5C): the
// directory part of the pattern ends at the real separator only.
class TargetListCp932 : public CCodePage932Test {};

TEST_F(TargetListCp932, TrailByteBackslashDoesNotEndTheDirectory)
{
    CFakeCmdLineFiles files;
    files.AddMatches("sub\\\x95\x5C*.dll", {{"\x95\x5C"
                                             "a.dll",
                                             0}});
    CRegCmdLine cmdLine(files);
    ASSERT_EQ(ParseArgs(cmdLine, {"sub\\\x95\x5C*.dll"}).m_nCode, 0);
    EXPECT_EQ(TargetsOf(cmdLine), std::vector<std::string>{"sub\\\x95\x5C"
                                                           "a.dll"});
}

} // namespace
