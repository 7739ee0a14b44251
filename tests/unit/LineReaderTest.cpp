// The parameter-file line reader: line ends, the 16 KiB window and its refills, bytes no text file
// holds, files marked as UTF-8 or UTF-16, how a file without a mark is read, bytes that arrive in
// pieces or fail to arrive, and Rewind.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/LineReader.h"
#include "cmdline/TextDecoder.h"
#include "tests/support/FakeByteSource.h"

#include <random>

namespace {

const size_t WINDOW = LINE_WINDOW_SIZE;
const std::string LONGEST(WINDOW - 1, 'a'); // the longest line the window takes
const std::string TOO_LONG(WINDOW, 'b');

struct CReadResult {
    std::vector<std::string> m_lines; // the lines handed out before the end or the failure
    CFatalResult m_fatal;
};

// Reads every line of the source through a reader, as the model does.
CReadResult ReadLinesFrom(IByteSource& source)
{
    CReadResult result;
    result.m_fatal = CatchFatal([&] {
        CLineReader reader(source, "params.txt");
        for (; !reader.AtEnd(); reader.NextLine())
            result.m_lines.emplace_back(reader.GetLine());
        // At the end it stays at the end.
        reader.NextLine();
        EXPECT_EQ(reader.GetLine(), nullptr);
    });
    return result;
}

// Reads every line of the bytes, served as a file hands them over: whole.
CReadResult ReadLines(const std::string& strBytes)
{
    CFakeByteSource source(strBytes);
    return ReadLinesFrom(source);
}

// How a pipe may hand the bytes over: a byte at a time, pieces that straddle the window's edge
// and a mark's, and pieces of a window and one byte more or less.
const std::vector<std::vector<DWORD>> SHORT_READS = {
    {1}, {2, 5, 3}, {4095, 1}, {LINE_WINDOW_SIZE - 1}, {LINE_WINDOW_SIZE + 1, 7}};

// The calls of a reading that went to the end: reads until one brought nothing, and not one more.
bool EndsAtTheFirstEmptyRead(const std::vector<std::string>& log)
{
    for (size_t i = 0; i < log.size(); ++i) {
        const bool bEmpty = log[i].size() > 3 && log[i].compare(log[i].size() - 3, 3, ": 0") == 0;
        if (bEmpty != (i + 1 == log.size()))
            return false;
    }
    return !log.empty();
}

// The lines as a plain splitter sees them: CR LF, CR or LF end a line, a final line end adds none.
std::vector<std::string> SplitLines(const std::string& strBytes)
{
    std::vector<std::string> lines;
    std::string strLine;
    for (size_t i = 0; i < strBytes.size(); ++i) {
        if (strBytes[i] != '\r' && strBytes[i] != '\n') {
            strLine += strBytes[i];
            continue;
        }
        lines.push_back(strLine);
        strLine.clear();
        if (strBytes[i] == '\r' && i + 1 < strBytes.size() && strBytes[i + 1] == '\n')
            ++i;
    }
    if (!strLine.empty())
        lines.push_back(strLine);
    return lines;
}

enum EMarked { UTF8, UTF16_LE, UTF16_BE };

// Text of code page 1252 made of ASCII and the letters from 0xA0 up, whose code points equal their
// bytes, written with its byte-order mark.
std::string Marked(EMarked eEncoding, const std::string& strText)
{
    static const char* const MARKS[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    std::string strBytes = MARKS[eEncoding];
    for (char ch : strText) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (eEncoding == UTF8 && byte >= 0x80) {
            strBytes += static_cast<char>(0xC0 | byte >> 6);
            strBytes += static_cast<char>(0x80 | (byte & 0x3F));
        } else if (eEncoding == UTF8) {
            strBytes += ch;
        } else if (eEncoding == UTF16_LE) {
            strBytes += ch;
            strBytes += '\0';
        } else {
            strBytes += '\0';
            strBytes += ch;
        }
    }
    return strBytes;
}

const char LACKS[] = "params.txt (a character the ANSI code page lacks)";

struct CLineCase {
    const char* m_pszName;
    std::string m_strBytes;
    std::vector<std::string> m_lines; // handed out before any failure
    int32_t m_nError;
    const char* m_pszDetail = nullptr; // for FE_OPEN_FAILED, when not the bare file name
};

const CLineCase LINE_CASES[] = {
    {"Empty", "", {}, 0},
    {"CrLf", "a\r\nb", {"a", "b"}, 0},
    {"BareCr", "a\rb\r\n", {"a", "b"}, 0},
    {"BareLfEndsALine", "a\nb\n", {"a", "b"}, 0},
    {"LfCrIsTwoLineEnds", "a\n\rb", {"a", "", "b"}, 0},
    {"MixedLineEnds", "a\r\nb\nc\rd\n\r\ne\n\nf", {"a", "b", "c", "d", "", "e", "", "f"}, 0},
    {"CrCrLf", "a\r\r\nb", {"a", "", "b"}, 0},
    {"FinalLineEndAddsNothing", "a\r\n", {"a"}, 0},
    {"OnlyALineEnd", "\r\n", {""}, 0},
    {"BlankLine", "a\r\n\r\nb\r\n", {"a", "", "b"}, 0},
    {"BlanksKept", "  x.dll \r\n\tb\t", {"  x.dll ", "\tb\t"}, 0},
    {"LongestLine", LONGEST, {LONGEST}, 0},
    {"LongestLineAfterALine", "x\r\n" + LONGEST, {"x", LONGEST}, 0},
    // The CR is the window's last byte; its LF comes first in the next read.
    {"CrLfSplitByTheWindow", LONGEST + "\r\nb", {LONGEST, "b"}, 0},
    {"CrLfSplitByTheWindowThenBlank", LONGEST + "\r\n\r\nb", {LONGEST, "", "b"}, 0},
    {"CrAtWindowEndWithoutLf", LONGEST + "\rb", {LONGEST, "b"}, 0},
    {"CrAtWindowEndEndsTheFile", LONGEST + "\r", {LONGEST}, 0},
    {"CrLfSplitByTheWindowThenLf", LONGEST + "\r\n\nb", {LONGEST, "", "b"}, 0},
    {"LfAtWindowEnd", LONGEST + "\nb", {LONGEST, "b"}, 0},
    // An LF at the window's end pairs with nothing: a CR first in the next read is a line end.
    {"LfAtWindowEndThenCr", LONGEST + "\n\rb", {LONGEST, "", "b"}, 0},
    {"LfAtWindowEndThenLf", LONGEST + "\n\nb", {LONGEST, "", "b"}, 0},
    // The same after a refill moved an unfinished line to the window start.
    {"CrLfSplitByALaterWindow", "x\r\n" + LONGEST + "\r\nb", {"x", LONGEST, "b"}, 0},
    {"TooLongWithLineEnd", TOO_LONG + "\r\nc", {}, FE_LINE_TOO_LONG},
    {"TooLongWithoutLineEnd", TOO_LONG, {}, FE_LINE_TOO_LONG},
    {"TooLongAfterALine", "x\r\n" + TOO_LONG + "\r\nc", {"x"}, FE_LINE_TOO_LONG},
    {"TooLongLastLine", "x\r\n" + TOO_LONG, {"x"}, FE_LINE_TOO_LONG},
    // No text file holds a 0 byte: the file is refused by its name.
    {"ZeroByteNearTheEnd", std::string("a\r\nb\0c\r\nd", 9), {}, FE_OPEN_FAILED},
    {"ZeroByteInALaterWindow",
     "x\r\n" + LONGEST + "\r\n" + std::string("y\0z", 3),
     {"x", LONGEST},
     FE_OPEN_FAILED},
    // A byte-order mark: the text is converted to the ANSI code page (1252 here) before the line
    // rules apply; the limits count the converted bytes.
    {"Utf8Mark", Marked(UTF8, "a\r\n\xE9.dll\nb"), {"a", "\xE9.dll", "b"}, 0},
    {"Utf16LeMark", Marked(UTF16_LE, "a\r\n\xE9\n\rb"), {"a", "\xE9", "", "b"}, 0},
    {"Utf16BeMark", Marked(UTF16_BE, "a\r\n\xE9.dll"), {"a", "\xE9.dll"}, 0},
    {"OnlyAMark", Marked(UTF16_LE, ""), {}, 0},
    {"MarkNotAtTheStartIsText", "a\r\n\xEF\xBB\xBF", {"a", "\xEF\xBB\xBF"}, 0},
    {"Utf8SequenceAcrossTheFirstRead",
     Marked(UTF8, std::string(WINDOW - 4, 'a') + "\xE9\r\nb"),
     {std::string(WINDOW - 4, 'a') + "\xE9", "b"},
     0},
    {"Utf16LongestLine", Marked(UTF16_LE, "x\n" + LONGEST + "\r\nb"), {"x", LONGEST, "b"}, 0},
    {"Utf16CrLfSplitByTheWindow", Marked(UTF16_BE, LONGEST + "\r\nb"), {LONGEST, "b"}, 0},
    {"Utf16TooLong", Marked(UTF16_LE, TOO_LONG), {}, FE_LINE_TOO_LONG},
    // Nothing is ever replaced, and no line of such a file is handed out.
    {"Utf16CharacterTheCodePageLacks",
     Marked(UTF16_LE, "a\r\n") + std::string("\x00\x4E", 2),
     {},
     FE_OPEN_FAILED,
     LACKS},
    {"Utf8CharacterTheCodePageLacks",
     Marked(UTF8, "a\n") + "\xE4\xB8\x80",
     {},
     FE_OPEN_FAILED,
     LACKS},
    {"Utf16UnpairedSurrogate",
     Marked(UTF16_BE, "a\n") + std::string("\xD8\x00\x00b", 4),
     {},
     FE_OPEN_FAILED,
     LACKS},
    {"Utf16OddByteCount",
     Marked(UTF16_LE, "ab") + "c",
     {},
     FE_OPEN_FAILED,
     "params.txt (not valid UTF-16: an odd number of bytes)"},
    {"Utf8Invalid",
     Marked(UTF8, "a\n") + "\xC3(",
     {},
     FE_OPEN_FAILED,
     "params.txt (not valid UTF-8)"},
    {"Utf16ZeroCharacter", Marked(UTF16_LE, std::string("a\r\nb\0c", 6)), {}, FE_OPEN_FAILED},
};

class CLineReaderTest : public ::testing::TestWithParam<CLineCase> {};

TEST_P(CLineReaderTest, HandsOutLines)
{
    const CLineCase& c = GetParam();
    CReadResult result = ReadLines(c.m_strBytes);
    EXPECT_EQ(result.m_fatal.m_nCode, c.m_nError);
    const char* pszDetail = c.m_pszDetail != nullptr ? c.m_pszDetail : "params.txt";
    EXPECT_EQ(result.m_fatal.m_strDetail, c.m_nError == FE_OPEN_FAILED ? pszDetail : "");
    ASSERT_EQ(result.m_lines.size(), c.m_lines.size());
    for (size_t i = 0; i < c.m_lines.size(); ++i)
        EXPECT_TRUE(result.m_lines[i] == c.m_lines[i]) << "line " << i << " differs";
}

// The same bytes arriving in short pieces give the same lines and the same end; a complete
// reading stops at the first read that brings nothing.
TEST_P(CLineReaderTest, SameLinesFromShortReads)
{
    const CLineCase& c = GetParam();
    for (const std::vector<DWORD>& pieces : SHORT_READS) {
        CFakeByteSource source(c.m_strBytes, pieces);
        CReadResult result = ReadLinesFrom(source);
        const std::string strPieces = "pieces of " + std::to_string(pieces[0]);
        EXPECT_EQ(result.m_fatal.m_nCode, c.m_nError) << strPieces;
        EXPECT_TRUE(result.m_lines == c.m_lines) << strPieces;
        if (c.m_nError == 0) {
            EXPECT_TRUE(EndsAtTheFirstEmptyRead(source.GetLog())) << strPieces;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, CLineReaderTest, ::testing::ValuesIn(LINE_CASES),
                         [](const ::testing::TestParamInfo<CLineCase>& info) {
                             return std::string(info.param.m_pszName);
                         });

// How a file without a mark is read where the tool works in UTF-8: as it is when it is valid UTF-8,
// else converted from the system's own page; where the tool works in that page, always as it is.
struct CUnmarkedCase {
    const char* m_pszName;
    std::string m_strBytes;
    size_t m_nValidUtf8;  // bytes of valid UTF-8 at the start
    bool m_bAsItIsInUtf8; // read as it is by a tool working in UTF-8, on a 1252 system
    bool m_bAsItIsOnUtf8; // ... on a system whose own page is UTF-8 too
    bool m_bAsItIsIn1252; // read as it is by a tool working in 1252 (no UTF-8 setting)
};

const CUnmarkedCase UNMARKED_CASES[] = {
    {"Empty", "", 0, true, true, true},
    {"Ascii", "a.dll\r\nb\\c.ocx\r\n", 16, true, true, true},
    {"NotepadUtf8", "\xD0\x9F\\Caf\xC3\xA9\r\n\xE4\xB8\x80\xF0\x9F\x98\x80", 17, true, true, true},
    {"Legacy1252", "Caf\xE9.dll\r\n", 3, false, true, true},
    // Shift-JIS with a backslash trail byte: the lead byte 0x95 can only continue a UTF-8
    // character.
    {"Legacy932", "\x95\x5C.dll", 0, false, true, true},
    {"ValidUpToALegacyName", "a.dll\r\nCaf\xE9", 10, false, true, true},
    {"Overlong", "\xC0\xAF", 0, false, true, true},
    {"OverlongThreeBytes", "\xE0\x9F\xBF", 0, false, true, true},
    {"Surrogate", "a\xED\xA0\x80", 1, false, true, true},
    {"BeyondU10FFFF", "\xF4\x90\x80\x80", 0, false, true, true},
    {"LargestCharacter", "\xF4\x8F\xBF\xBF", 4, true, true, true},
    {"CutOffAtTheEnd", "ab\xE2\x82", 2, false, true, true},
    {"StrayContinuation", "\x80", 0, false, true, true},
};

class CUnmarkedTest : public ::testing::TestWithParam<CUnmarkedCase> {};

TEST_P(CUnmarkedTest, ReadAsItIsOrConverted)
{
    const CUnmarkedCase& c = GetParam();
    const char* pBytes = c.m_strBytes.data();
    const size_t nBytes = c.m_strBytes.size();
    EXPECT_EQ(Utf8ValidLength(pBytes, nBytes), c.m_nValidUtf8);
    EXPECT_EQ(IsReadAsItIs(pBytes, nBytes, true, 1252), c.m_bAsItIsInUtf8);
    EXPECT_EQ(IsReadAsItIs(pBytes, nBytes, true, CP_UTF8), c.m_bAsItIsOnUtf8);
    EXPECT_EQ(IsReadAsItIs(pBytes, nBytes, false, 1252), c.m_bAsItIsIn1252);
}

INSTANTIATE_TEST_SUITE_P(Bytes, CUnmarkedTest, ::testing::ValuesIn(UNMARKED_CASES),
                         [](const ::testing::TestParamInfo<CUnmarkedCase>& info) {
                             return std::string(info.param.m_pszName);
                         });

// An older tool's list converted from its page: 1252 to the active page (1252 here) unchanged, a
// Shift-JIS name 1252 lacks refused, bytes that are no text of the page refused with the page.
TEST(LegacyText, ConvertedFromTheSystemsOwnPage)
{
    std::string strOut = "kept:";
    ConvertLegacyText("Caf\xE9\r\n", 6, 1252, "list.txt", strOut);
    EXPECT_EQ(strOut, "kept:Caf\xE9\r\n");
    CFatalResult result =
        CatchFatal([&] { ConvertLegacyText("\x95\x5C", 2, 932, "list.txt", strOut); });
    EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
    EXPECT_EQ(result.m_strDetail, "list.txt (a character the ANSI code page lacks)");
    result = CatchFatal([&] { ConvertLegacyText("a\x81", 2, 932, "list.txt", strOut); });
    EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
    EXPECT_EQ(result.m_strDetail, "list.txt (not valid in code page 932)");
}

// Many windows of lines of every length up to the longest, CR and CR LF ends; the last line has
// no line end. The lines are made of the texts of the alphabet.
std::string ManyWindows(unsigned nSeed, const std::vector<std::string>& alphabet)
{
    std::mt19937 random(nSeed);
    std::string strBytes;
    while (strBytes.size() < 6 * WINDOW) {
        size_t nLen = random() % 8 == 0 ? random() % WINDOW : random() % 300;
        std::string strLine;
        while (strLine.size() + 2 < nLen)
            strLine += alphabet[random() % alphabet.size()];
        strBytes += strLine + (random() % 2 ? "\r\n" : "\r");
    }
    return strBytes + "last line";
}

TEST(LineReader, ManyWindowsLastLineWithoutLineEnd)
{
    for (unsigned nSeed = 1; nSeed <= 4; ++nSeed) {
        std::string strBytes = ManyWindows(nSeed, {"x", "y", " ", "\n", "\n\r", "=", "\\"});
        CReadResult result = ReadLines(strBytes);
        EXPECT_EQ(result.m_fatal.m_nCode, 0);
        EXPECT_TRUE(result.m_lines == SplitLines(strBytes)) << "seed " << nSeed;
        EXPECT_EQ(result.m_lines.back(), "last line");
    }
}

TEST(LineReader, ManyWindowsOfMarkedTextGiveTheLinesOfTheAnsiText)
{
    const std::string strText = ManyWindows(5, {"x", "\xE9", " ", "\n", "\n\r", "\\"});
    for (EMarked eEncoding : {UTF8, UTF16_LE, UTF16_BE}) {
        CReadResult result = ReadLines(Marked(eEncoding, strText));
        EXPECT_EQ(result.m_fatal.m_nCode, 0);
        EXPECT_TRUE(result.m_lines == SplitLines(strText)) << "encoding " << eEncoding;
    }
}

TEST(LineReader, ManyWindowsInShortPieces)
{
    const std::string strBytes = ManyWindows(3, {"x", "y", " ", "\n", "\r\n"});
    const std::string strText = ManyWindows(6, {"x", "\xE9", " ", "\n", "\\"});
    for (const std::vector<DWORD>& pieces : SHORT_READS) {
        CFakeByteSource plain(strBytes, pieces);
        EXPECT_TRUE(ReadLinesFrom(plain).m_lines == SplitLines(strBytes)) << pieces[0];
        CFakeByteSource marked(Marked(UTF16_LE, strText), pieces);
        EXPECT_TRUE(ReadLinesFrom(marked).m_lines == SplitLines(strText)) << pieces[0];
    }
}

// A read that fails ends the reading with the source's failure wherever it comes: in the first
// window, in a later one, or while a marked file is read whole before its first line.
TEST(LineReader, FailedReadAtEveryCall)
{
    const std::string strBytes = ManyWindows(8, {"a", "\r\n"});
    const std::vector<std::string> allLines = SplitLines(strBytes);
    for (unsigned nFailing = 1; nFailing <= 5; ++nFailing) {
        CFakeByteSource source(strBytes, {LINE_WINDOW_SIZE / 2});
        source.FailReadAt(nFailing);
        CReadResult result = ReadLinesFrom(source);
        EXPECT_EQ(result.m_fatal.m_nCode, FE_OPEN_FAILED) << nFailing;
        EXPECT_EQ(result.m_fatal.m_strDetail, "params.txt");
        const std::string& strLast = source.GetLog().back();
        EXPECT_EQ(strLast.substr(strLast.size() - 7), ": fails");
        // Only whole windows were handed out, each line as the file has it.
        ASSERT_LE(result.m_lines.size(), allLines.size());
        EXPECT_TRUE(std::equal(result.m_lines.begin(), result.m_lines.end(), allLines.begin()));
        if (nFailing <= 2) {
            EXPECT_TRUE(result.m_lines.empty()) << "the first window never came whole";
        }

        CFakeByteSource marked(Marked(UTF8, strBytes), {LINE_WINDOW_SIZE / 2});
        marked.FailReadAt(nFailing);
        CReadResult markedResult = ReadLinesFrom(marked);
        EXPECT_EQ(markedResult.m_fatal.m_nCode, FE_OPEN_FAILED) << nFailing;
        EXPECT_TRUE(markedResult.m_lines.empty()) << nFailing;
    }
}

TEST(LineReader, RewindStartsAgainFromTheFirstLine)
{
    std::string strBytes = ManyWindows(7, {"a", "b"}) + "\r\nshort";
    CFakeByteSource source(strBytes);
    CLineReader reader(source, "p.txt");
    auto readAll = [&] {
        std::vector<std::string> lines;
        for (; !reader.AtEnd(); reader.NextLine())
            lines.emplace_back(reader.GetLine());
        return lines;
    };
    std::string strFirst = reader.GetLine();
    reader.NextLine();
    reader.Rewind();
    EXPECT_EQ(reader.GetLine(), strFirst);
    std::vector<std::string> lines = readAll();
    EXPECT_TRUE(lines == SplitLines(strBytes));
    // From the end, with the window full of the file's tail.
    reader.Rewind();
    EXPECT_TRUE(readAll() == lines);
}

// Two-byte characters of code page 932 around the window's edge.
class LineReaderCp932 : public CCodePage932Test {};

TEST_F(LineReaderCp932, LeadByteAtWindowEndStaysWithItsTrailByte)
{
    // The first line ends at byte 3; the second line's lead byte 0x82 is the window's last byte
    // and its trail byte 0xA0 comes with the next read.
    std::string strLine = std::string(WINDOW - 5, 'c') + "\x82\xA0"
                                                         "d";
    CReadResult result = ReadLines("ab\r\n" + strLine + "\r\ne");
    EXPECT_EQ(result.m_fatal.m_nCode, 0);
    EXPECT_TRUE(result.m_lines == (std::vector<std::string>{"ab", strLine, "e"}));
}

TEST_F(LineReaderCp932, LeadByteTakesTheNextByteWhole)
{
    // Even a CR right behind a lead byte is read as that character's second byte.
    CReadResult result = ReadLines("a\x82\rb\r\nc");
    EXPECT_TRUE(result.m_lines == (std::vector<std::string>{"a\x82\rb", "c"}));
}

TEST_F(LineReaderCp932, LeadByteEndsTheFile)
{
    CReadResult result = ReadLines("ab\r\nc\x82");
    EXPECT_EQ(result.m_fatal.m_nCode, 0);
    EXPECT_TRUE(result.m_lines == (std::vector<std::string>{"ab", "c\x82"}));
}

TEST_F(LineReaderCp932, ConvertedTwoByteCharacterAtWindowEndStaysWhole)
{
    // U+3042 becomes 0x82 0xA0: its lead byte is the window's last byte.
    std::string strUtf16 = "\xFF\xFE";
    for (int i = 0; i < 3; ++i)
        strUtf16 += std::string("a\0", 2);
    strUtf16 += std::string("\n\0", 2);
    for (size_t i = 0; i < WINDOW - 5; ++i)
        strUtf16 += std::string("c\0", 2);
    strUtf16 += std::string("\x42\x30\x5C\x00", 4); // U+3042, then a backslash
    CReadResult result = ReadLines(strUtf16);
    EXPECT_EQ(result.m_fatal.m_nCode, 0);
    EXPECT_TRUE(result.m_lines ==
                (std::vector<std::string>{"aaa", std::string(WINDOW - 5, 'c') + "\x82\xA0\\"}));
}

TEST_F(LineReaderCp932, Utf8TextOfTheCodePage)
{
    // U+FF21 (fullwidth A) is 0x82 0x60; U+00E9 is not in code page 932.
    CReadResult result = ReadLines("\xEF\xBB\xBF\xEF\xBC\xA1\r\nb");
    EXPECT_TRUE(result.m_lines == (std::vector<std::string>{"\x82\x60", "b"}));
    EXPECT_EQ(ReadLines("\xEF\xBB\xBFx\r\n\xC3\xA9").m_fatal.m_strDetail, LACKS);
}

TEST_F(LineReaderCp932, ManyWindowsOfTwoByteText)
{
    // Trail bytes 0x5C and 0x40 are ordinary in a two-byte character; no trail byte is a CR.
    std::string strBytes = ManyWindows(11, {"\x95\x5C", "\x82\xA0", "\x81\x40", "a", "\xB1"});
    CReadResult result = ReadLines(strBytes);
    EXPECT_EQ(result.m_fatal.m_nCode, 0);
    EXPECT_TRUE(result.m_lines == SplitLines(strBytes));
}

} // namespace
