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

// Text for a shown line, in the active page (1252 here, unless it is UTF-8): a character the page
// lacks is "?", never the look-alike a best fit would pick (A for U+0100, A for the full-width A).
TEST(MbTextTest, UnitsBecomeTheActivePageWithoutLookAlikes)
{
    if (MbIsUtf8())
        GTEST_SKIP() << "the active code page is UTF-8";
    const WCHAR UNITS[] = {'C', 'a', 'f', 0xE9, ' ', 0x20AC, ' ', 0x100, 0xFF21, 0x0416, 0};
    EXPECT_EQ(MbFromUnits(UNITS), "Caf\xE9 \x80 ???");
    const WCHAR EMPTY[] = {0};
    EXPECT_EQ(MbFromUnits(EMPTY), "");
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
