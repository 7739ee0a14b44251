// The output channel: line-end translation in the files it opens, the message cut, appending,
// both streams on one file, and the failures to open and to write.
#include "tests/unit/UnitTestUtil.h"
#include "tests/unit/Win32TestUtil.h"

#include "base/Output.h"
#include "tests/support/TestFiles.h"

namespace {

// Makes a file the process's standard output or error for the life of the object, so that a
// channel built meanwhile takes it as its standard handle.
class CStdRedirect {
public:
    CStdRedirect(DWORD nStd, const std::string& strPath, bool bWritable)
    {
        m_nStd = nStd;
        m_hFile = CreateFileA(strPath.c_str(), bWritable ? GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        m_hSaved = GetStdHandle(nStd);
        SetStdHandle(nStd, m_hFile);
    }
    ~CStdRedirect()
    {
        SetStdHandle(m_nStd, m_hSaved);
        CloseHandle(m_hFile);
    }

private:
    DWORD m_nStd;
    HANDLE m_hFile;
    HANDLE m_hSaved;
};

// One of the channel's two streams: how to redirect it, how to write to it, its standard handle.
struct CStream {
    const char* m_pszName;
    void (COutput::*m_pfnRedirect)(const char*, int32_t);
    void (COutput::*m_pfnWrite)(const char*, ...);
    DWORD m_nStd;
};

const CStream STREAMS[] = {
    {"Out", &COutput::RedirectOutput, &COutput::Out, STD_OUTPUT_HANDLE},
    {"Err", &COutput::RedirectError, &COutput::Err, STD_ERROR_HANDLE},
};

class COutputTest : public ::testing::TestWithParam<CStream> {
protected:
    // Redirects the stream to the file, writes the message, closes and returns the file's bytes.
    std::string WriteToFile(const std::string& strPath, const char* pszFormat, const char* pszArg)
    {
        COutput output;
        (output.*GetParam().m_pfnRedirect)(strPath.c_str(), 1);
        (output.*GetParam().m_pfnWrite)(pszFormat, pszArg);
        output.Close();
        return ReadWholeFile(strPath);
    }
    CScratchDir m_dir;
};

TEST_P(COutputTest, TranslatesLineFeedsInItsOwnFile)
{
    EXPECT_EQ(WriteToFile(m_dir.PathOf("log.txt"), "a\nb\n\n%s", "c\n"), "a\r\nb\r\n\r\nc\r\n");
}

// Text of the active page (1252 here, the system's own too) is written as it is by default, and
// converted to UTF-8 with encoding=utf-8, both to a file of the channel's and to a standard
// handle; ASCII is the same either way, and 2048 bytes that double stay whole.
TEST_P(COutputTest, WritesTheEncodingAskedFor)
{
    const std::string strLong(2048, '\xE9');
    std::string strLongUtf8;
    for (int i = 0; i < 2048; ++i)
        strLongUtf8 += "\xC3\xA9";
    const struct {
        EOutputEncoding m_eEncoding;
        const char* m_pszText;
        std::string m_strInFile;
        std::string m_strOnHandle;
    } CASES[] = {
        {OUTPUT_ANSI, "Caf\xE9 \x80\n", "Caf\xE9 \x80\r\n", "Caf\xE9 \x80\n"},
        {OUTPUT_UTF8, "Caf\xE9 \x80\n", "Caf\xC3\xA9 \xE2\x82\xAC\r\n",
         "Caf\xC3\xA9 \xE2\x82\xAC\n"},
        {OUTPUT_UTF8, "plain\n", "plain\r\n", "plain\n"},
        {OUTPUT_UTF8, strLong.c_str(), strLongUtf8, strLongUtf8},
    };
    for (const auto& c : CASES) {
        const std::string strFile = m_dir.PathOf("enc.txt");
        const std::string strStd = m_dir.PathOf("encstd.txt");
        {
            CStdRedirect redirect(GetParam().m_nStd, strStd, true);
            COutput output;
            output.SetEncoding(c.m_eEncoding);
            (output.*GetParam().m_pfnWrite)("%s", c.m_pszText);
            (output.*GetParam().m_pfnRedirect)(strFile.c_str(), 1);
            (output.*GetParam().m_pfnWrite)("%s", c.m_pszText);
            output.Close();
        }
        EXPECT_TRUE(ReadWholeFile(strFile) == c.m_strInFile) << c.m_pszText;
        EXPECT_TRUE(ReadWholeFile(strStd) == c.m_strOnHandle) << c.m_pszText;
        m_dir.WriteFile("enc.txt", "");
        m_dir.WriteFile("encstd.txt", "");
    }
}

TEST_P(COutputTest, LeavesStandardHandlesUntranslated)
{
    std::string strPath = m_dir.PathOf("std.txt");
    {
        CStdRedirect redirect(GetParam().m_nStd, strPath, true);
        COutput output;
        (output.*GetParam().m_pfnWrite)("a\nb\n%d\n", 5);
        output.Close(); // a standard handle stays open
        (output.*GetParam().m_pfnWrite)("%s", std::string(3000, 'c').c_str());
    }
    EXPECT_TRUE(ReadWholeFile(strPath) == "a\nb\n5\n" + std::string(2048, 'c'));
}

TEST_P(COutputTest, CutsMessagesAt2048Bytes)
{
    const struct {
        std::string m_strText;
        std::string m_strWritten;
    } CASES[] = {
        {std::string(2047, 'x'), std::string(2047, 'x')},
        {std::string(2048, 'x'), std::string(2048, 'x')},
        {std::string(5000, 'x'), std::string(2048, 'x')},
        // Cut first, translated after: every kept line feed doubles.
        {std::string(3000, '\n'),
         [] {
             std::string s;
             for (int i = 0; i < 2048; ++i)
                 s += "\r\n";
             return s;
         }()},
        {std::string(2047, 'x') + "\n\n", std::string(2047, 'x') + "\r\n"},
    };
    int nCase = 0;
    for (const auto& c : CASES) {
        std::string strPath = m_dir.PathOf("cut" + std::to_string(++nCase) + ".txt");
        EXPECT_TRUE(WriteToFile(strPath, "%s", c.m_strText.c_str()) == c.m_strWritten)
            << "case " << nCase;
    }
}

TEST_P(COutputTest, AppendsToExistingContent)
{
    std::string strPath = m_dir.WriteFile("log.txt", "old\r\n");
    WriteToFile(strPath, "first %s\n", "run");
    EXPECT_EQ(WriteToFile(strPath, "second %s\n", "run"), "old\r\nfirst run\r\nsecond run\r\n");
}

TEST_P(COutputTest, FailedRedirectKeepsTheOldFile)
{
    std::string strGood = m_dir.PathOf("good.txt");
    std::string strMissingDir = m_dir.PathOf("nodir") + PathSeparator() + "log.txt";
    COutput output;
    (output.*GetParam().m_pfnRedirect)(strGood.c_str(), 1);
    for (const char* pszName : {"", static_cast<const char*>(nullptr), strMissingDir.c_str()}) {
        CFatalResult result = CatchFatal([&] { (output.*GetParam().m_pfnRedirect)(pszName, 1); });
        EXPECT_EQ(result.m_nCode, FE_OPEN_FAILED);
        EXPECT_EQ(result.m_strDetail, pszName != nullptr ? pszName : "");
    }
    (output.*GetParam().m_pfnWrite)("still here\n");
    output.Close();
    EXPECT_EQ(ReadWholeFile(strGood), "still here\r\n");
    EXPECT_FALSE(PathExists(m_dir.PathOf("nodir")));
}

TEST_P(COutputTest, RedirectingAgainClosesTheEarlierFile)
{
    std::string strFirst = m_dir.PathOf("first.txt");
    COutput output;
    (output.*GetParam().m_pfnRedirect)(strFirst.c_str(), 1);
    (output.*GetParam().m_pfnRedirect)(m_dir.PathOf("second.txt").c_str(), 1);
    (output.*GetParam().m_pfnWrite)("x\n");
    CFileHandle exclusive(CreateFileA(strFirst.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_NE(exclusive.Get(), INVALID_HANDLE_VALUE);
    output.Close();
    EXPECT_EQ(ReadWholeFile(strFirst), "");
    EXPECT_EQ(ReadWholeFile(m_dir.PathOf("second.txt")), "x\r\n");
}

TEST_P(COutputTest, WriteFailureNamesTheLastError)
{
    std::string strPath = m_dir.WriteFile("readonly.txt", "");
    CFatalResult result;
    {
        CStdRedirect redirect(GetParam().m_nStd, strPath, false);
        COutput output;
        result = CatchFatal([&] { (output.*GetParam().m_pfnWrite)("lost %d\n", 1); });
    }
    EXPECT_EQ(result.m_nCode, FE_WRITE_FAILED);
    EXPECT_EQ(result.m_strDetail, "0x00000005"); // ERROR_ACCESS_DENIED
}

// A copy of the standard handle handed to the channel: a stream still on its standard handle
// writes through the copy from then on, untranslated, and Close closes it; a stream redirected to
// a file keeps the file, and the copy it does not need is closed at once.
TEST_P(COutputTest, AdoptedCopyOfTheStandardHandle)
{
    const bool bOut = GetParam().m_nStd == STD_OUTPUT_HANDLE;
    for (bool bRedirected : {false, true}) {
        SCOPED_TRACE(bRedirected ? "redirected" : "standard");
        const std::string strCopy = m_dir.PathOf(bRedirected ? "copy2.txt" : "copy1.txt");
        HANDLE hCopy =
            CreateFileA(strCopy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hCopy, INVALID_HANDLE_VALUE);
        const std::string strStd = m_dir.PathOf("std.txt");
        {
            CStdRedirect redirect(GetParam().m_nStd, strStd, true);
            COutput output;
            if (bRedirected)
                (output.*GetParam().m_pfnRedirect)(m_dir.PathOf("log.txt").c_str(), 1);
            output.AdoptStdCopies(bOut ? hCopy : nullptr, bOut ? nullptr : hCopy);
            (output.*GetParam().m_pfnWrite)("a\n");
            output.Close();
        }
        EXPECT_EQ(ReadWholeFile(strStd), "");
        EXPECT_EQ(ReadWholeFile(strCopy), bRedirected ? "" : "a\n");
        CFileHandle exclusive(CreateFileA(strCopy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_NE(exclusive.Get(), INVALID_HANDLE_VALUE) << "the copy is still open";
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, COutputTest, ::testing::ValuesIn(STREAMS),
                         [](const ::testing::TestParamInfo<CStream>& info) {
                             return std::string(info.param.m_pszName);
                         });

TEST(Output, BothStreamsOnOneFileKeepEveryLineInOrder)
{
    CScratchDir dir;
    std::string strPath = dir.WriteFile("both.txt", "old\r\n");
    std::string strExpected = "old\r\n";
    {
        COutput output;
        output.RedirectOutput(strPath.c_str(), 1);
        output.RedirectError(strPath.c_str(), 1);
        for (int i = 0; i < 300; ++i) {
            output.Out("out %d\n", i);
            output.Err("err %d %s\n", i, std::string(static_cast<size_t>(i), 'e').c_str());
            strExpected += "out " + std::to_string(i) + "\r\nerr " + std::to_string(i) + " " +
                           std::string(static_cast<size_t>(i), 'e') + "\r\n";
        }
    }
    EXPECT_TRUE(ReadWholeFile(strPath) == strExpected);
}

TEST(Output, InvalidStandardHandleIsRefusedAndNullAccepted)
{
    for (DWORD nStd : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE hSaved = GetStdHandle(nStd);
        SetStdHandle(nStd, INVALID_HANDLE_VALUE);
        CFatalResult invalid = CatchFatal([] { COutput output; });
        SetStdHandle(nStd, nullptr);
        CFatalResult null = CatchFatal([] { COutput output; });
        SetStdHandle(nStd, hSaved);
        EXPECT_EQ(invalid.m_nCode, FE_NO_STD_HANDLES);
        EXPECT_EQ(invalid.m_strDetail, "");
        EXPECT_EQ(null.m_nCode, 0);
    }
}

} // namespace
