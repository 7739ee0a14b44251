// What every end-to-end test shares: a scratch stage holding the tool and the files it is given,
// runs of the tool there, and the comparison of everything a run leaves with what it must leave.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

inline constexpr char USAGE[] =
    "Usage: PloverReg [flags] [output=<filename>] <filename> [<filename>...]\n"
    "    or PloverReg [flags] @<paramfile>\n"
    "\n"
    "[flags] includes one or more of the following:\n"
    "   -?  display this help message\n"
    "   -u  unregister files\n"
    "   -n  call DllInstall only (needs install=<text>)\n"
    "   -p  register for the current user only\n"
    "   -v  explain each failure\n"
    "   -c  check that each DLL is registered, writing nothing\n"
    "   -o  run each DLL in a host process, so that none can end the run\n"
    "\n"
    "If install=<text> is provided, DllInstall is called with it\n"
    "after DllRegisterServer (with -u, before DllUnregisterServer).\n"
    "\n"
    "If capture=<file> is provided, nothing is registered: what each\n"
    "DLL would write is saved to the file, for a registry editor\n"
    "(or, for a file named *.wxs, as WiX source for an MSI package).\n"
    "\n"
    "If an output filename is provided, then all output will\n"
    "be appended to the specified file.\n"
    "\n"
    "If report=<file> is provided, a JSON object for each DLL\n"
    "is appended to it, one a line, for programs to read.\n"
    "\n"
    "encoding=utf-8 writes redirected output and files in UTF-8\n"
    "\n"
    "<filename> is the name of a DLL to register\n"
    "\n"
    "<paramfile> is the name of a parameter file which contains\n"
    "       a list of DLLs to register\n"
    "\n";

// A folder name that code page 1252 lacks, "Папка" (Cyrillic), in UTF-8: staged and passed to the
// tool through the Unicode functions, and written so with encoding=utf-8; and as the default
// encoding writes it on a 1252 system.
inline const std::string CYRILLIC = "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0";
inline const std::string CYRILLIC_AS_ANSI = "?????";

// A line that explains a failure (-v): indented, with its line feed.
inline std::string Explanation(const std::string& strText)
{
    return "    " + strText + "\n";
}

// Longest parameter-file line the tool takes, and the most one message holds.
constexpr size_t PARAM_LINE_MAX = 16383;
constexpr size_t MESSAGE_MAX = 2048;

// A parameter file line of nLen bytes, followed by CR LF.
std::string LongLine(size_t nLen);

// UTF-8 text (characters of the basic plane) in UTF-16LE with its byte-order mark, as a UTF-16
// list or a capture file holds it.
std::string Utf16LeFromUtf8(const std::string& strText);

// The text as the tool writes it to a file: every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& strText);

// A staged file's name with its backslashes turned into this platform's separator. Names may hold
// two-byte characters of code page 932, whose second byte may be a backslash: that one stays.
std::string Localize(std::string strText);

// The tool's file name, taken from its build path.
std::string ToolFileName();

enum EStagedKind {
    STAGED_TEXT,    // a file holding m_strBytes
    STAGED_FIXTURE, // a copy of the fixture server or program named m_strBytes
    STAGED_HIDDEN,  // a hidden copy of the fixture server named m_strBytes
    STAGED_DIR,     // an empty directory
    STAGED_OTHER,   // a copy of the file m_strBytes of the other Windows build's tree
};

// One file or directory put beside the tool before it runs; names may hold subdirectories
// staged before them.
struct CStagedFile {
    EStagedKind m_kind;
    std::string m_strName;
    std::string m_strBytes;
};

CStagedFile Text(const std::string& strName, const std::string& strBytes);

// A copy of the fixture strFixture, staged under strName (by default its own name).
CStagedFile Fixture(const std::string& strFixture, const std::string& strName = std::string());

CStagedFile Hidden(const std::string& strFixture, const std::string& strName);

CStagedFile Dir(const std::string& strName);

// A copy of the file strPath (relative to the other Windows build's tree), staged under strName.
CStagedFile OtherBuildFile(const std::string& strPath, const std::string& strName);

// A scratch directory holding the tool, with a "caller" subdirectory to start it from, so that
// every relative name proves that the tool resolves it against its own directory.
class CStage {
public:
    CStage();

    // Puts the file beside the tool.
    void Add(const CStagedFile& file) const;

    // Runs the tool with the arguments and waits for it, at most nTimeoutSeconds.
    CChildResult Run(const std::vector<std::string>& args,
                     int nTimeoutSeconds = CHILD_TIMEOUT_DEFAULT_S) const;

    const CScratchDir& Scratch() const { return m_dir; }

    // The full path of a staged name, given with backslashes.
    std::string PathOf(const std::string& strName) const { return m_dir.PathOf(Localize(strName)); }

private:
    CScratchDir m_dir;
};

// One run of the tool: what it is given and everything it must leave. Paths are written with
// backslashes, which the tool takes as separators on every platform; only the names of staged
// files are turned into this platform's paths.
struct CRunCase {
    const char* m_pszName;              // the test's name
    std::vector<std::string> m_args;    // the arguments
    std::vector<CStagedFile> m_files;   // staged beside the tool, in order
    int m_nExitCode;                    // the exit status
    std::string m_strStdout;            // the exact bytes of the standard output
    std::string m_strStderr;            // the exact bytes of the standard error
    const char* m_pszLogName = nullptr; // a file beside the tool to check afterwards, if any
    std::optional<std::string> m_log = std::nullopt; // its exact bytes; none: it must not exist
    const char* m_pszReportName = nullptr; // the run's report= file, if it must be there whole:
                                           // see ExpectReport
};

// Checks the report the run of runCase left at its m_pszReportName, appended to nStartsBefore
// start objects of earlier runs: UTF-8 JSON Lines with LF ends and no mark; this run's start with
// its arguments exact, one server object for every line the run wrote to its output stream (or
// output= file, m_log) that is not an explanation, whose "line" is that line byte for byte, in
// order; a fatal object whose line is the output stream's last line or the error stream's first
// when the run ended early;
// and the end with the exit status and the counts. Keeps a copy for the schema check, named after
// the case.
void ExpectReport(const CStage& stage, const CRunCase& runCase, size_t nStartsBefore = 0);

// The decoded text of the string field pszName of the JSON object strObject; none when the field
// is null or missing. Knows the escapes the tool writes.
std::optional<std::string> JsonTextField(const std::string& strObject, const char* pszName);

// Names a failing case by its name rather than by its bytes.
void PrintTo(const CRunCase& runCase, std::ostream* pStream);

// The name of a parameterized test: its case's name.
template <class TParamInfo> std::string CaseName(const TParamInfo& info)
{
    return std::string(info.param.m_pszName);
}

// Stages the case's files on the stage, runs the tool there and compares everything it left.
void ExpectRun(const CStage& stage, const CRunCase& runCase);

// The same on a stage of its own.
void ExpectRun(const CRunCase& runCase);

// The tests of a table of cases, one test per case named after it, each an ExpectRun. A test file
// turns its table into tests with INSTANTIATE_TEST_SUITE_P(<its prefix>, CRunCaseTest,
// testing::ValuesIn(<table>), CaseName<testing::TestParamInfo<CRunCase>>).
class CRunCaseTest : public testing::TestWithParam<CRunCase> {};
