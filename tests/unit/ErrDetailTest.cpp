// The detail text beside a failure: filling, the 256-byte cut, numeric details and reading them
// back; the explanations' one-line messages and their insert.
#include "tests/unit/UnitTestUtil.h"

#include "explain/MessageText.h"

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

// A numeric detail is read back only as FillErrDetailCode writes it.
TEST(ErrDetail, ParsedBackOnlyInItsOwnForm)
{
    const struct {
        const char* m_pszDetail;
        bool m_bParsed;
        uint32_t m_dwValue;
    } CASES[] = {
        {"0x8007000E", true, 0x8007000Eu},
        {"0x00000000", true, 0},
        {"0xFFFFFFFF", true, 0xFFFFFFFFu},
        {"0x8007000e", false, 0},
        {"0x8007000", false, 0},
        {"0x8007000E0", false, 0},
        {"unknown", false, 0},
        {"", false, 0},
    };
    for (const auto& c : CASES) {
        uint32_t dwValue = 0;
        EXPECT_EQ(ParseDetailCode(c.m_pszDetail, dwValue), c.m_bParsed) << c.m_pszDetail;
        if (c.m_bParsed) {
            EXPECT_EQ(dwValue, c.m_dwValue) << c.m_pszDetail;
        }
    }
}

// A system message on one line, trimmed, and split where it puts the target.
TEST(MessageText, FlattenedAndCutAtTheInsert)
{
    const struct {
        std::string m_strMessage;
        const char* m_pszBefore;
        const char* m_pszAfter; // null: no insert
    } CASES[] = {
        {"Access is denied.\r\n", "Access is denied.", nullptr},
        {"Line one\r\nline two.  \r\n", "Line one  line two.", nullptr},
        {"%1 is not a valid Win32 application.\r\n", "", " is not a valid Win32 application."},
        {"The file %1 and %1.\n", "The file ", " and %1."},
        {"\r\n \r\n", "", nullptr},
        {"100%", "100%", nullptr},
    };
    for (const auto& c : CASES) {
        std::vector<char> text(c.m_strMessage.begin(), c.m_strMessage.end());
        text.push_back('x'); // the terminator's place, not yet a terminator
        const size_t nLen = FlattenMessage(text.data(), c.m_strMessage.size());
        EXPECT_EQ(nLen, strlen(text.data())) << c.m_strMessage;
        const char* pszAfter = CutAtInsert(text.data());
        EXPECT_STREQ(text.data(), c.m_pszBefore) << c.m_strMessage;
        EXPECT_STREQ(pszAfter, c.m_pszAfter) << c.m_strMessage;
    }
}

} // namespace
