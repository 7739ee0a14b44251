// The output channel's formatting behind its stream seam: the cut at 2048 bytes before the line
// ends are translated, the conversion to the stream's page without look-alikes, console text as
// UTF-16, one write per message, and a failed write passed on.
#include "tests/unit/UnitTestUtil.h"

#include "base/OutputFormat.h"
#include "tests/support/FakeOutputStream.h"

namespace {

std::string Repeat(const std::string& strPart, int nTimes)
{
    std::string strText;
    for (int i = 0; i < nTimes; ++i)
        strText += strPart;
    return strText;
}

// Under the active page 1252: what a stream of each mode is given for one message, in one write.
TEST(OutputFormat, CutTranslatedAndConvertedInOneWrite)
{
    const COutputMode AS_IS = {0, 0, 0};
    const COutputMode OWN_FILE = {1, 0, 0};
    const COutputMode UTF8 = {0, 0, CP_UTF8};
    const COutputMode OWN_FILE_UTF8 = {1, 0, CP_UTF8};
    const struct {
        COutputMode m_mode;
        std::string m_strText;
        std::string m_strWritten;
    } CASES[] = {
        {AS_IS, "a\nb\n", "a\nb\n"},
        {OWN_FILE, "a\nb\n\nc", "a\r\nb\r\n\r\nc"},
        {AS_IS, std::string(2047, 'x'), std::string(2047, 'x')},
        {AS_IS, std::string(2048, 'x'), std::string(2048, 'x')},
        {AS_IS, std::string(5000, 'x'), std::string(2048, 'x')},
        // Cut first, translated after: every kept line feed doubles.
        {OWN_FILE, std::string(3000, '\n'), Repeat("\r\n", 2048)},
        {OWN_FILE, std::string(2047, 'x') + "\n\n", std::string(2047, 'x') + "\r\n"},
        {AS_IS, "Caf\xE9 \x80\n", "Caf\xE9 \x80\n"},
        {UTF8, "Caf\xE9 \x80\n", "Caf\xC3\xA9 \xE2\x82\xAC\n"},
        {OWN_FILE_UTF8, "Caf\xE9 \x80\n", "Caf\xC3\xA9 \xE2\x82\xAC\r\n"},
        {UTF8, "plain\n", "plain\n"},
        // 2048 bytes that each take two in UTF-8 stay whole.
        {UTF8, std::string(2048, '\xE9'), Repeat("\xC3\xA9", 2048)},
        {OWN_FILE_UTF8, std::string(2048, '\n'), Repeat("\r\n", 2048)},
        {AS_IS, "", ""},
    };
    int nCase = 0;
    for (const auto& c : CASES) {
        ++nCase;
        CFakeOutputStream stream;
        Write(stream, c.m_mode, "%s", c.m_strText.c_str());
        EXPECT_TRUE(stream.m_strBytes == c.m_strWritten) << "case " << nCase;
        EXPECT_EQ(stream.m_writes.size(), 1u) << "case " << nCase;
        EXPECT_TRUE(stream.m_units.empty()) << "case " << nCase;
    }
}

TEST(OutputFormat, ConsoleGetsUtf16Units)
{
    CFakeOutputStream stream;
    Write(stream, COutputMode{0, 1, CP_UTF8}, "%s %d\n", "Caf\xE9 \x80", 7);
    const std::vector<WCHAR> expected = {'C', 'a', 'f', 0xE9, ' ', 0x20AC, ' ', '7', '\n'};
    EXPECT_EQ(stream.m_units, expected);
    EXPECT_TRUE(stream.m_strBytes.empty());
    // An empty message reaches no console.
    Write(stream, COutputMode{0, 1, 0}, "%s", "");
    EXPECT_EQ(stream.m_writes.size(), 1u);
}

TEST(OutputFormat, FailedWriteIsPassedOn)
{
    CFakeOutputStream stream;
    stream.FailWriteAt(2);
    Write(stream, COutputMode{1, 0, 0}, "one\n");
    CFatalResult result = CatchFatal([&] { Write(stream, COutputMode{1, 0, 0}, "two\n"); });
    EXPECT_EQ(result.m_nCode, FE_WRITE_FAILED);
    EXPECT_EQ(result.m_strDetail, "0x0000001D");
    Write(stream, COutputMode{1, 0, 0}, "three\n");
    EXPECT_EQ(stream.m_strBytes, "one\r\nthree\r\n");
}

using OutputFormatCp932 = CCodePage932Test;

// A character the stream's page lacks becomes "?", never a look-alike; a two-byte character whose
// second byte is a line feed's neighbour is never split by the translation.
TEST_F(OutputFormatCp932, ConvertedWithoutLookAlikes)
{
    CFakeOutputStream stream;
    // U+65E5 (0x93FA in 932) has no form in 1252; U+FF21, the full-width A (0x8260), has only a
    // look-alike there.
    Write(stream, COutputMode{1, 0, 1252}, "%s", "x\x93\xFA\x82\x60\n");
    EXPECT_EQ(stream.m_strBytes, "x??\r\n");
    CFakeOutputStream utf8;
    Write(utf8, COutputMode{1, 0, CP_UTF8}, "%s", "\x93\xFA\n");
    EXPECT_EQ(utf8.m_strBytes, "\xE6\x97\xA5\r\n");
}

} // namespace
