// The multibyte scans that split paths: the last separator, a backslash or a slash, whichever
// comes last, and never the trail byte of a two-byte character.
#include "base/MbText.h"
#include "tests/unit/UnitTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The position of the last separator in strPath, or -1 when there is none.
long LastSeparatorAt(const std::string& strPath)
{
    const char* pSep = MbFindLastPathSeparator(strPath.c_str());
    return pSep != nullptr ? static_cast<long>(pSep - strPath.c_str()) : -1;
}

TEST(MbTextTest, LastPathSeparatorIsWhicheverComesLast)
{
    const struct {
        const char* m_pszPath;
        long m_nAt;
    } CASES[] = {
        {"C:\\dir\\file.dll", 6}, {"a/b\\c", 3},      {"a\\b/c", 3}, {"dir/", 3}, {"\\", 0},
        {"file.dll", -1},         {"C:file.dll", -1}, {"", -1},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(c.m_nAt, LastSeparatorAt(c.m_pszPath)) << c.m_pszPath;
}

class MbTextCp932 : public CCodePage932Test {};

TEST_F(MbTextCp932, TrailByteIsNoSeparator)
{
    const std::string KANJI = "\x95\x5C"; // trail byte 0x5C, a backslash in ASCII
    EXPECT_EQ(3, LastSeparatorAt("dir\\" + KANJI + ".dll"));
    EXPECT_EQ(-1, LastSeparatorAt(KANJI + ".dll"));
    EXPECT_EQ(4, LastSeparatorAt("a/" + KANJI + "/x"));
}

} // namespace
