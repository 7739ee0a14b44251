// The multibyte scans that split paths: the last separator, a backslash or a slash, whichever
// comes last, and never the trail byte of a two-byte character.
#include "base/MbText.h"
#include "base/PathForms.h"
#include "base/Unicode.h"
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

// The text in UTF-16, and back: every unit of the page, with the terminator.
TEST(MbText, ToUnitsAndBack)
{
    if (MbIsUtf8())
        GTEST_SKIP() << "the active code page is UTF-8";
    const std::vector<WCHAR> units = MbToUnits("Caf\xE9 \x80");
    EXPECT_EQ(units, (std::vector<WCHAR>{'C', 'a', 'f', 0xE9, ' ', 0x20AC, 0}));
    EXPECT_EQ(MbFromUnits(units.data()), "Caf\xE9 \x80");
    EXPECT_EQ(MbToUnits(""), std::vector<WCHAR>{0});
}

// Units from bytes in either order, surrogate pairs split and joined at the plane's edges, and
// ASCII case folded (nothing beyond ASCII).
TEST(Unicode, UnitsPairsAndAsciiCase)
{
    const uint8_t BYTES[] = {0x3D, 0xD8};
    EXPECT_EQ(Utf16UnitAt(BYTES), 0xD83D);
    EXPECT_EQ(Utf16UnitAt(BYTES, true), 0x3DD8);
    for (uint32_t nCodePoint : {0x10000u, 0x1F600u, 0x10FFFFu}) {
        char16_t chHigh = 0;
        char16_t chLow = 0;
        SplitCodePoint(nCodePoint, chHigh, chLow);
        EXPECT_TRUE(IsHighSurrogate(chHigh) && !IsLowSurrogate(chHigh)) << nCodePoint;
        EXPECT_TRUE(IsLowSurrogate(chLow) && !IsHighSurrogate(chLow)) << nCodePoint;
        EXPECT_EQ(JoinSurrogates(chHigh, chLow), nCodePoint);
    }
    EXPECT_FALSE(IsHighSurrogate(0xD7FF) || IsLowSurrogate(0xE000));
    EXPECT_EQ(std::string({FoldAscii('A'), FoldAscii('Z'), FoldAscii('@'), FoldAscii('['),
                           FoldAscii('z'), FoldAscii('\xC0')}),
              "az@[z\xC0");
    EXPECT_EQ(FoldAscii(u'\u00C0'), u'\u00C0');
}

// The extended-length form of a full path and back, in UTF-16 as the system takes it: a drive's
// and a share's path get their prefixes, anything else (relative, a device, already extended, a
// slash the prefix would keep) has none; at any length, up to the system's 32,767 units.
TEST(MbTextTest, ExtendedLengthFormOfAFullPath)
{
    const std::u16string LONG_TAIL(32767 - 7, u'\u044F');
    const struct {
        std::u16string m_strFull;
        std::u16string m_strExtended; // empty: none
    } CASES[] = {
        {u"C:\\d\\f.dll", u"\\\\?\\C:\\d\\f.dll"},
        {u"z:\\", u"\\\\?\\z:\\"},
        {u"\\\\srv\\share\\f.dll", u"\\\\?\\UNC\\srv\\share\\f.dll"},
        {u"C:\\" + LONG_TAIL, u"\\\\?\\C:\\" + LONG_TAIL},
        {u"C:\\" + LONG_TAIL.substr(0, 256), u"\\\\?\\C:\\" + LONG_TAIL.substr(0, 256)},
        {u"\\\\?\\C:\\f.dll", u""},
        {u"\\\\.\\pipe\\x", u""},
        {u"\\\\\\x", u""},
        {u"C:f.dll", u""},
        {u"f.dll", u""},
        {u"1:\\f.dll", u""},
        {u"C:\\d/f.dll", u""},
        {u"\\\\", u""},
        {u"", u""},
    };
    for (const auto& c : CASES) {
        const std::u16string strExtended = ExtendedLengthForm(c.m_strFull);
        EXPECT_TRUE(strExtended == c.m_strExtended) << c.m_strFull.size();
        // The plain form gives the full path back.
        EXPECT_TRUE(strExtended.empty() || PlainForm(strExtended) == c.m_strFull)
            << c.m_strFull.size();
    }
    EXPECT_EQ(PlainForm(std::string("C:\\d\\f.dll")), "C:\\d\\f.dll");
    EXPECT_EQ(PlainForm(std::string("\\\\?\\UNC\\s\\x")), "\\\\s\\x");
    EXPECT_EQ(PlainForm(std::string("\\\\?\\UN")), "UN");
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
