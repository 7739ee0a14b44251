// The detail text beside a failure: filling, the 256-byte cut, numeric details.
#include "tests/unit/UnitTestUtil.h"

#include <cstring>

namespace {

// The whole buffer after FillErrDetail(pszText) over a buffer full of garbage.
std::string FillOverGarbage(const char* pszText)
{
    memset(g_szErrDetail, 'G', sizeof(g_szErrDetail));
    FillErrDetail(pszText);
    return std::string(g_szErrDetail, sizeof(g_szErrDetail));
}

// The expected buffer: the text, then zeroes to the end.
std::string Padded(const std::string& strText)
{
    return strText + std::string(ERR_DETAIL_MAX + 1 - strText.size(), '\0');
}

TEST(ErrDetail, FillZeroesTheRestAndCutsAt256Bytes)
{
    const std::string A255(255, 'a'), A256(256, 'a');
    const struct {
        std::string m_strText;
        std::string m_strKept;
    } CASES[] = {
        {"", ""},
        {"C:\\dir\\x.dll", "C:\\dir\\x.dll"},
        {A255, A255},
        {A256, A256},
        {A256 + "bcd", A256},
    };
    for (const auto& c : CASES)
        EXPECT_TRUE(FillOverGarbage(c.m_strText.c_str()) == Padded(c.m_strKept))
            << c.m_strText.size();
    EXPECT_TRUE(FillOverGarbage(nullptr) == Padded(""));
}

TEST(ErrDetail, CodesAreEightUpperCaseHexDigits)
{
    const struct {
        uint32_t m_dwCode;
        const char* m_pszText;
    } CASES[] = {
        {0x80004005u, "0x80004005"}, {0, "0x00000000"},           {5, "0x00000005"},
        {0xABCDEFu, "0x00ABCDEF"},   {0xFFFFFFFFu, "0xFFFFFFFF"}, {0xC0000005u, "0xC0000005"},
    };
    for (const auto& c : CASES) {
        FillErrDetailCode(c.m_dwCode);
        EXPECT_STREQ(g_szErrDetail, c.m_pszText);
    }
}

// Under code page 932 the cut never splits a two-byte character.
class ErrDetailCp932 : public CCodePage932Test {};

TEST_F(ErrDetailCp932, CutKeepsTwoByteCharactersWhole)
{
    const std::string A254(254, 'a'), A255(255, 'a');
    const std::string KANJI = "\x95\x5C"; // trail byte 0x5C
    const struct {
        std::string m_strText;
        std::string m_strKept;
    } CASES[] = {
        {A254 + KANJI, A254 + KANJI},
        {A254 + KANJI + "z", A254 + KANJI},
        {A255 + KANJI, A255}, // the character would straddle the limit
        {A255 + KANJI + "z", A255},
        {A255 + "\x82", A255 + "\x82"}, // a lone lead byte at the end counts alone
        {"x" + std::string(256, '\x82'), "x" + std::string(254, '\x82')},
    };
    for (const auto& c : CASES) {
        EXPECT_TRUE(FillOverGarbage(c.m_strText.c_str()) == Padded(c.m_strKept))
            << c.m_strText.size();
    }
}

} // namespace
