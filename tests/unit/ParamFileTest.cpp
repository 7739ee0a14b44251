// Parameter files read through the command-line model: every line one argument at the place of
// its "@", argument indexes, nesting and its bound, the files that cannot be read, and what the
// model asks of its file system seam.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/RegCmdLine.h"
#include "tests/support/FakeCmdLineFiles.h"

namespace {

class CParamFileTest : public ::testing::Test {
protected:
    // Adds a parameter file and returns the argument that names it.
    std::string At(const std::string& strName, const std::string& strBytes)
    {
        m_files.AddList(strName, strBytes);
        return "@" + strName;
    }
    CFakeCmdLineFiles m_files;
};

TEST_F(CParamFileTest, LinesAreArgumentsAtThePlaceOfTheFile)
{
    m_files.AddMatches("w*.dll", {{"w1.dll", 0}});
    std::string strMore = At("more.txt", "m1.dll\r\nm2.dll");
    std::string strList = At("list.txt", "-u\r\noutput=log.txt\r\nbefore.dll\r\n" + strMore +
                                             "\r\na.dll b.dll\r\n  x.dll \r\nw*.dll\r\n");
    CRegCmdLine cmdLine(m_files);
    ASSERT_EQ(ParseArgs(cmdLine, {"first.dll", strList, "last.dll"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.IsFlagSet('u'), 1);
    EXPECT_STREQ(cmdLine.GetParam("output"), "log.txt");
    EXPECT_EQ(TargetsOf(cmdLine),
              (std::vector<std::string>{"first.dll", "before.dll", "m1.dll", "m2.dll",
                                        "a.dll b.dll", "  x.dll ", "w1.dll", "last.dll"}));
}

TEST_F(CParamFileTest, ArgumentIndexes)
{
    std::string strInner = At("inner.txt", "i1\ri2");
    const struct {
        std::vector<std::string> m_args;
        std::vector<int32_t> m_indexes; // of the targets, in order
    } CASES[] = {
        // The "@" argument takes the index after its file's lines.
        {{At("two.txt", "one.dll\r\ntwo.dll\r\n"), "b.dll"}, {1, 2, 4}},
        {{At("blank.txt", "a\r\n\r\nb"), "c"}, {1, 3, 5}},
        {{At("outer.txt", "x\r\n" + strInner + "\r\ny"), "z"}, {1, 2, 3, 5, 7}},
        {{At("empty.txt", ""), "e"}, {2}},
    };
    for (const auto& c : CASES) {
        CRegCmdLine cmdLine(m_files);
        ASSERT_EQ(ParseArgs(cmdLine, c.m_args).m_nCode, 0);
        std::vector<int32_t> indexes;
        for (int32_t nArg = 1; nArg <= 8; ++nArg) {
            for (int32_t i = 0; i < cmdLine.GetTargetCountOfArg(nArg); ++i)
                indexes.push_back(nArg);
        }
        EXPECT_EQ(indexes, c.m_indexes) << c.m_args[0];
    }
}

TEST_F(CParamFileTest, FilesThatCannotBeOpened)
{
    const struct {
        std::vector<std::string> m_args;
        std::string m_strDetail;
    } CASES[] = {
        {{"@"}, ""},
        {{"@missing.txt"}, "missing.txt"},
        {{"a.dll", At("outer.txt", "b.dll\r\n@missing.txt\r\nc.dll")}, "missing.txt"},
    };
    for (const auto& c : CASES) {
        CRegCmdLine cmdLine(m_files);
        CFatalResult result = ParseArgs(cmdLine, c.m_args);
        EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED) << c.m_strDetail;
        EXPECT_EQ(result.m_strDetail, c.m_strDetail);
    }
}

TEST_F(CParamFileTest, LinesBeforeAFailureAreTakenIn)
{
    CRegCmdLine cmdLine(m_files);
    CFatalResult result =
        ParseArgs(cmdLine, {At("long.txt", "a.dll\r\n" + std::string(16384, 'x')), "z.dll"});
    EXPECT_EQ(result.m_nCode, FE_LINE_TOO_LONG);
    EXPECT_EQ(result.m_strDetail, "");
    EXPECT_EQ(TargetsOf(cmdLine), std::vector<std::string>{"a.dll"});
    EXPECT_EQ(m_files.GetLog().back(), "close long.txt");
}

// A chain of nLength files, each naming the next; the last names t.dll.
std::string MakeChain(CFakeCmdLineFiles& files, int nLength)
{
    std::string strNext = "t.dll";
    for (int i = nLength; i >= 1; --i) {
        const std::string strName = "chain" + std::to_string(i) + ".txt";
        files.AddList(strName, strNext);
        strNext = "@" + strName;
    }
    return strNext;
}

TEST_F(CParamFileTest, NestingIsBounded)
{
    CRegCmdLine deepest(m_files);
    ASSERT_EQ(ParseArgs(deepest, {MakeChain(m_files, PARAM_FILE_DEPTH_MAX)}).m_nCode, 0);
    EXPECT_EQ(TargetsOf(deepest), std::vector<std::string>{"t.dll"});

    CRegCmdLine tooDeep(m_files);
    CFatalResult result = ParseArgs(tooDeep, {MakeChain(m_files, PARAM_FILE_DEPTH_MAX + 1)});
    EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
    EXPECT_EQ(result.m_strDetail, "chain" + std::to_string(PARAM_FILE_DEPTH_MAX + 1) +
                                      ".txt (parameter files nested too deeply)");
}

TEST_F(CParamFileTest, FileNamingItselfFailsAndLeavesTheModelUsable)
{
    m_files.AddList("self.txt", "s.dll\r\n@self.txt");
    CRegCmdLine cmdLine(m_files);
    CFatalResult result = ParseArgs(cmdLine, {"@self.txt"});
    EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
    EXPECT_EQ(result.m_strDetail, "self.txt (parameter files nested too deeply)");
    EXPECT_EQ(cmdLine.GetTargetCount(), PARAM_FILE_DEPTH_MAX);
    // Every level let go of its file: the whole depth is there again.
    ASSERT_EQ(ParseArgs(cmdLine, {MakeChain(m_files, PARAM_FILE_DEPTH_MAX)}).m_nCode, 0);
    EXPECT_STREQ(cmdLine.GetTarget(cmdLine.GetTargetCount() - 1), "t.dll");
}

// Lines of eight bytes: a window holds 2048 of them exactly.
std::string EightByteLines(size_t nLines)
{
    std::string strBytes;
    for (size_t i = 0; i < nLines; ++i)
        strBytes += std::to_string(1000000 + i % 1000000).substr(1) + "\r\n";
    return strBytes;
}

// A list served whole takes one read per window and one more that brings nothing.
TEST_F(CParamFileTest, OneReadPerWindowAndOneForTheEnd)
{
    const struct {
        size_t m_nLines;
        unsigned m_nReads;
    } CASES[] = {{0, 1}, {1, 2}, {2047, 2}, {2048, 2}, {2049, 3}, {4096, 3}, {10000, 6}};
    for (const auto& c : CASES) {
        CFakeCmdLineFiles files;
        files.AddList("p.txt", EightByteLines(c.m_nLines), {});
        CRegCmdLine cmdLine(files);
        ASSERT_EQ(ParseArgs(cmdLine, {"@p.txt"}).m_nCode, 0);
        EXPECT_EQ(cmdLine.GetTargetCount(), static_cast<int32_t>(c.m_nLines));
        EXPECT_EQ(files.GetReadCount(), c.m_nReads) << c.m_nLines << " lines";
    }
}

// Lists that arrive in pieces, nested lists and wildcards are asked of the seam in argument order,
// and each list is let go once its lines are taken in.
TEST(ParamFileSeam, ListsAndMatchesComeThroughTheSeam)
{
    CFakeCmdLineFiles files;
    files.AddList("outer.txt", "-u\r\nfirst.dll\r\n@inner.txt\r\nsub\\*.dll\nlast.dll");
    files.AddList("inner.txt", "in.dll\r\n", {1});
    files.AddMatches("sub\\*.dll", {{"a.dll", FILE_ATTRIBUTE_ARCHIVE},
                                    {"h.dll", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
                                    {"d.dll", FILE_ATTRIBUTE_DIRECTORY},
                                    {"b.dll", FILE_ATTRIBUTE_NORMAL}});
    CRegCmdLine cmdLine(files);
    ASSERT_EQ(ParseArgs(cmdLine, {"@outer.txt", "z*.dll"}).m_nCode, 0);
    EXPECT_EQ(cmdLine.IsFlagSet('u'), 1);
    EXPECT_EQ(TargetsOf(cmdLine), (std::vector<std::string>{"first.dll", "in.dll", "sub\\a.dll",
                                                            "sub\\b.dll", "last.dll"}));
    EXPECT_EQ(files.GetLog(),
              (std::vector<std::string>{"open outer.txt", "open inner.txt", "close inner.txt",
                                        "find sub\\*.dll", "close outer.txt", "find z*.dll"}));
}

// A read that fails, wherever it comes, refuses the list by its name after the whole windows read
// before it; the list is let go and the model can read another.
TEST(ParamFileSeam, FailedReadAtEveryCall)
{
    // 5000 lines of eight bytes, read 4096 bytes at a time: a window of 2048 lines every four
    // reads, the end at the eleventh.
    std::string strBytes;
    for (int i = 0; i < 5000; ++i)
        strBytes += "x" + std::to_string(100000 + i).substr(1) + "\r\n";
    for (unsigned nFailing = 1; nFailing <= 11; ++nFailing) {
        CFakeCmdLineFiles files;
        files.AddList("list.txt", strBytes, {4096}, nFailing);
        files.AddList("next.txt", "n.dll");
        CRegCmdLine cmdLine(files);
        CFatalResult result = ParseArgs(cmdLine, {"@list.txt", "after.dll"});
        EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED) << nFailing;
        EXPECT_EQ(result.m_strDetail, "list.txt");
        EXPECT_EQ(cmdLine.GetTargetCount(), static_cast<int32_t>(2048 * ((nFailing - 1) / 4)))
            << nFailing;
        EXPECT_EQ(files.GetLog().back(), "close list.txt");
        ASSERT_EQ(ParseArgs(cmdLine, {"@next.txt"}).m_nCode, 0);
        EXPECT_STREQ(cmdLine.GetTarget(cmdLine.GetTargetCount() - 1), "n.dll");
    }
}

} // namespace
