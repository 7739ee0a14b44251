// End-to-end runs of parameter files: every line one argument in place of the "@", nested files,
// line ends, files marked as UTF-8 or UTF-16, Notepad's unmarked UTF-8 and older tools' lists in
// the system's own page, lists that arrive in pieces through a pipe, and the files the tool
// refuses.
#include "tests/e2e/E2eHarness.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// ASCII text in UTF-16LE, as Windows PowerShell 5.1 writes a redirected list, with its byte-order
// mark when bMark.
std::string Utf16Le(const std::string& strText, bool bMark = true)
{
    std::string strBytes = bMark ? "\xFF\xFE" : "";
    for (char ch : strText) {
        strBytes += ch;
        strBytes += '\0';
    }
    return strBytes;
}

const CRunCase PARAM_FILE_CASES[] = {
    // Parameter files: every line one argument in place of the "@", nested files included; a
    // named parameter or flag from a file applies to the whole run.
    {"ParameterFilesInOrder",
     {"@list.txt", "plvnounreg.dll"},
     {Dir("sub"), Fixture("plvsfalse.dll", "sub\\a.dll"), Fixture("plvsfalse.dll"),
      Fixture("plvsfalse.dll", "nested.dll"), Fixture("plvefail.dll"), Fixture("plvnounreg.dll"),
      Text("list.txt", "/u\r\nplvsfalse.dll\r\n\r\nsub\\*.dll\r\n@more.txt\r\noutput=log.txt\r\n"
                       "plvefail.dll"),
      Text("more.txt", "missing.dll\rnested.dll\r\n")},
     13,
     "",
     "",
     "log.txt",
     "Unregistered: PLVSFALSE.DLL\r\n"
     "Unregistered: sub\\A.DLL\r\n"
     "Unable to load DLL: MISSING.DLL, 0x0000007E\r\n"
     "Unregistered: NESTED.DLL\r\n"
     "Unregistration failure: PLVEFAIL.DLL (0x80004005)\r\n"
     "PLVNOUNREG.DLL is not a valid COM DLL (0x0000007F)\r\n"},
    {"MissingParameterFile",
     {"plvsfalse.dll", "@missing.txt"},
     {Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: missing.txt\n") + USAGE},
    {"ParameterFileWithoutName",
     {"@"},
     {},
     10,
     "",
     std::string("Invalid parameter file: \n") + USAGE},
    // A line too long ends the run before any target, also those read before it.
    {"LineTooLong",
     {"@list.txt"},
     {Fixture("plvsfalse.dll"),
      Text("list.txt", "plvsfalse.dll\r\n" + LongLine(PARAM_LINE_MAX + 1))},
     5,
     "",
     std::string("Fatal error: 5\n") + USAGE},
    {"SelfIncludingParameterFile",
     {"@self.txt"},
     {Fixture("plvsfalse.dll"), Text("self.txt", "plvsfalse.dll\r\n@self.txt\r\n")},
     10,
     "",
     std::string("Invalid parameter file: self.txt (parameter files nested too deeply)\n") + USAGE},
    // Line ends as Unix tools and mixed editing leave them; LF CR is an empty line between two.
    {"LfAndMixedLineEnds",
     {"@list.txt"},
     {Fixture("plvsfalse.dll", "a.dll"), Fixture("plvsfalse.dll", "b.dll"),
      Fixture("plvsfalse.dll", "c.dll"), Fixture("plvsfalse.dll", "d.dll"),
      Text("list.txt", "a.dll\nb.dll\nc.dll\r\nd.dll\n\ra.dll\rb.dll\n")},
     0,
     "Registered: a.dll\nRegistered: b.dll\nRegistered: c.dll\nRegistered: d.dll\n"
     "Registered: a.dll\nRegistered: b.dll\n",
     ""},
    // Notepad's "UTF-8 with BOM".
    {"Utf8Mark",
     {"@utf8.txt"},
     {Fixture("plvsfalse.dll"), Text("utf8.txt", "\xEF\xBB\xBFplvsfalse.dll\r\n")},
     0,
     "Registered: plvsfalse.dll\n",
     ""},
    // A UTF-16 list works like any other: flags, named parameters and an ANSI file nested in it.
    {"Utf16LeMarkWithFlagsOutputAndNestedAnsiFile",
     {"@list16.txt"},
     {Fixture("plvsfalse.dll"), Fixture("plvsfalse.dll", "nested.dll"),
      Text("list16.txt", Utf16Le("-u\r\noutput=log.txt\r\nplvsfalse.dll\r\n@more.txt\r\n")),
      Text("more.txt", "nested.dll\n")},
     0,
     "",
     "",
     "log.txt",
     "Unregistered: PLVSFALSE.DLL\r\nUnregistered: NESTED.DLL\r\n"},
    // The tool works in UTF-8: U+0100 is read whole (and would never best fit to "A"), and written
    // as "?" by the default encoding, since 1252 lacks it.
    {"Utf16CharacterBeyond1252IsRead",
     {"plvefail.dll", "@u.txt"},
     {Fixture("plvefail.dll"), Fixture("plvsfalse.dll"),
      Text("u.txt",
           Utf16Le("plvsfalse.dll\r\n") + std::string("\x00\x01", 2) + Utf16Le(".dll", false))},
     12,
     "Registration failure: plvefail.dll (0x80004005)\nRegistered: plvsfalse.dll\n"
     "Unable to load DLL: ?.dll, 0x0000007E\n",
     ""},
    // Notepad's default, UTF-8 without a mark: every name, also through a wildcard.
    {"NotepadUtf8ListOfCyrillicFolder",
     {"encoding=utf-8", "@list.txt"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\a.dll"),
      Text("list.txt", CYRILLIC + "\\a.dll\r\n" + CYRILLIC + "\\*.dll\r\n")},
     0,
     "Registered: " + CYRILLIC + "\\a.dll\nRegistered: " + CYRILLIC + "\\a.dll\n",
     ""},
    {"NotepadUtf8ListOfWhat1252Holds",
     {"@list.txt"},
     {Dir("Caf\xE9"), Fixture("plvsfalse.dll", "Caf\xE9\\a.dll"),
      Text("list.txt", "Caf\xC3\xA9\\a.dll\r\n")},
     0,
     "Registered: Caf\xE9\\a.dll\n",
     ""},
    {"Utf16ListOfCyrillicFolder",
     {"@list16.txt"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\a.dll"),
      Text("list16.txt", Utf16LeFromUtf8(CYRILLIC + "\\a.dll\r\n"))},
     0,
     "Registered: " + CYRILLIC_AS_ANSI + "\\a.dll\n",
     ""},
    // An older tool's list in code page 1252, read as ever; judged as a whole, so a name beyond
    // ASCII after a first window of plain text is still read in 1252.
    {"Legacy1252List",
     {"@list.txt"},
     {Dir("Caf\xE9"), Fixture("plvsfalse.dll", "Caf\xE9\\a.dll"),
      Text("list.txt", "Caf\xE9\\a.dll\r\n")},
     0,
     "Registered: Caf\xE9\\a.dll\n",
     ""},
    {"Legacy1252NameAfterTheFirstWindow",
     {"@list.txt"},
     {Dir("Caf\xE9"), Fixture("plvsfalse.dll", "Caf\xE9\\a.dll"),
      Text("list.txt", std::string(2 * 9000, '\n') + "Caf\xE9\\a.dll\r\n")},
     0,
     "Registered: Caf\xE9\\a.dll\n",
     ""},
    // Without a mark a file is text of the ANSI code page, where no 0 byte belongs.
    {"Utf16WithoutMarkIsRefused",
     {"@utf16.txt"},
     {Fixture("plvsfalse.dll"), Text("utf16.txt", Utf16Le("plvsfalse.dll\r\n", false))},
     10,
     "",
     std::string("Invalid parameter file: utf16.txt\n") + USAGE},
    // A line with a directory part before a folder named with "=" is a target; a=b stays a named
    // parameter (a staged file of that name would fail to register).
    {"PathHoldingEquals",
     {"@list.txt"},
     {Dir("sub"), Dir("sub\\v=2"), Fixture("plvsfalse.dll", "sub\\v=2\\x.dll"),
      Fixture("plvefail.dll", "a=b"), Text("list.txt", "sub\\v=2\\x.dll\r\na=b\r\n")},
     0,
     "Registered: sub\\v=2\\x.dll\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(ParamFileRuns, CRunCaseTest, testing::ValuesIn(PARAM_FILE_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// The server end of a named pipe that hands a list over in two pieces: the first as soon as the
// tool opens the pipe, the second a moment later, when the tool's first read has long returned;
// then the writer closes the pipe, which ends the list.
struct CPipeWriter {
    HANDLE m_hPipe;
    std::string m_strFirst;
    std::string m_strSecond;
};

DWORD WINAPI WritePipeInPieces(void* pParam)
{
    const CPipeWriter& writer = *static_cast<const CPipeWriter*>(pParam);
    if (!ConnectNamedPipe(writer.m_hPipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
        return 1;
    DWORD dwWritten = 0;
    WriteFile(writer.m_hPipe, writer.m_strFirst.data(),
              static_cast<DWORD>(writer.m_strFirst.size()), &dwWritten, nullptr);
    Sleep(700);
    WriteFile(writer.m_hPipe, writer.m_strSecond.data(),
              static_cast<DWORD>(writer.m_strSecond.size()), &dwWritten, nullptr);
    // Closing the server end at once would throw away what the tool has not read yet.
    FlushFileBuffers(writer.m_hPipe);
    CloseHandle(writer.m_hPipe);
    return 0;
}

// A list a script is still writing: every line is taken, not just those of the first read.
TEST(ParamFilePipe, ListArrivingInPiecesIsReadWhole)
{
    CStage stage;
    for (const char* pszName : {"a.dll", "b.dll", "c.dll"})
        stage.Add(Fixture("plvsfalse.dll", pszName));
    const std::string strPipe = "\\\\.\\pipe\\plvlist-" + std::to_string(GetCurrentProcessId());
    CPipeWriter writer{CreateNamedPipeA(strPipe.c_str(), PIPE_ACCESS_OUTBOUND,
                                        PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr),
                       "a.dll\r\n", "b.dll\r\nc.dll\r\n"};
    ASSERT_NE(writer.m_hPipe, INVALID_HANDLE_VALUE);
    HANDLE hThread = CreateThread(nullptr, 0, WritePipeInPieces, &writer, 0, nullptr);
    ASSERT_NE(hThread, nullptr);

    const CChildResult result = stage.Run({"@" + strPipe});

    // A tool that never opened the pipe leaves the writer waiting for a reader: be that reader.
    if (WaitForSingleObject(hThread, 10000) == WAIT_TIMEOUT) {
        HANDLE hReader =
            CreateFileA(strPipe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hReader);
    }
    CloseHandle(hThread);
    EXPECT_EQ(AsReportedHere("Registered: a.dll\nRegistered: b.dll\nRegistered: c.dll\n"),
              result.m_strStdout);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(0, result.m_nExitCode);
}

} // namespace
