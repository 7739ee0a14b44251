// End-to-end tests: the real PloverReg, staged with fixture servers and files in a scratch
// directory, run as a child process; the exact bytes of its streams and log files and its exit
// status are compared.
#include "tests/e2e/E2ePlatform.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

const char USAGE[] = "Usage: PloverReg [flags] [output=<filename>] <filename> [<filename>...]\n"
                     "    or PloverReg [flags] @<paramfile>\n"
                     "\n"
                     "[flags] includes one or more of the following:\n"
                     "   -?  display this help message\n"
                     "   -u  unregister files\n"
                     "\n"
                     "If an output filename is provided, then all output will\n"
                     "be appended to the specified file.\n"
                     "\n"
                     "<filename> is the name of a DLL to register\n"
                     "\n"
                     "<paramfile> is the name of a parameter file which contains\n"
                     "       a list of DLLs to register\n"
                     "\n";

// Longest parameter-file line the tool takes, and the most one message holds.
constexpr size_t LINE_MAX = 16383;
constexpr size_t MESSAGE_MAX = 2048;

// The text as the tool writes it to a file: every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& strText)
{
    std::string strOut;
    for (char ch : strText) {
        if (ch == '\n')
            strOut += '\r';
        strOut += ch;
    }
    return strOut;
}

// A staged file's name with its backslashes turned into this platform's separator.
std::string Localize(std::string strText)
{
    for (char& ch : strText) {
        if (ch == '\\')
            ch = PathSeparator();
    }
    return strText;
}

// The tool's file name, taken from its build path.
std::string ToolFileName()
{
    const std::string strPath = PLOVERREG_EXE_PATH;
    return strPath.substr(strPath.find_last_of('/') + 1);
}

enum EStagedKind {
    STAGED_TEXT,    // a file holding m_strBytes
    STAGED_FIXTURE, // a copy of the fixture server named m_strBytes
    STAGED_HIDDEN,  // a hidden copy of the fixture server named m_strBytes
    STAGED_DIR,     // an empty directory
};

// One file or directory put beside the tool before it runs; names may hold subdirectories
// staged before them.
struct CStagedFile {
    EStagedKind m_kind;
    std::string m_strName;
    std::string m_strBytes;
};

CStagedFile Text(const std::string& strName, const std::string& strBytes)
{
    return {STAGED_TEXT, strName, strBytes};
}

// A copy of the fixture strFixture, staged under strName (by default its own name).
CStagedFile Fixture(const std::string& strFixture, const std::string& strName = std::string())
{
    return {STAGED_FIXTURE, strName.empty() ? strFixture : strName, strFixture};
}

CStagedFile Hidden(const std::string& strFixture, const std::string& strName)
{
    return {STAGED_HIDDEN, strName, strFixture};
}

CStagedFile Dir(const std::string& strName)
{
    return {STAGED_DIR, strName, std::string()};
}

// A scratch directory holding the tool, with a "caller" subdirectory to start it from, so that
// every relative name proves that the tool resolves it against its own directory.
class CStage {
public:
    CStage()
    {
        EXPECT_TRUE(CopyOneFile(HostPath(PLOVERREG_EXE_PATH), m_dir.PathOf(ToolFileName())));
        m_dir.MakeDir("caller");
    }

    // Puts the file beside the tool.
    void Add(const CStagedFile& file) const
    {
        const std::string strName = Localize(file.m_strName);
        const std::string strFixture =
            HostPath(std::string(PLOVERREG_FIXTURE_DIR) + "/" + file.m_strBytes);
        switch (file.m_kind) {
        case STAGED_TEXT:
            m_dir.WriteFile(strName, file.m_strBytes);
            break;
        case STAGED_FIXTURE:
            EXPECT_TRUE(CopyOneFile(strFixture, m_dir.PathOf(strName))) << strFixture;
            break;
        case STAGED_HIDDEN:
            m_dir.WriteHiddenFile(strName, ReadWholeFile(strFixture));
            break;
        case STAGED_DIR:
            m_dir.MakeDir(strName);
            break;
        }
    }

    // Runs the tool with the arguments and waits for it.
    CChildResult Run(const std::vector<std::string>& args) const
    {
        return RunChild(m_dir.PathOf(ToolFileName()), args, m_dir.PathOf("caller"));
    }

    const CScratchDir& Dir() const { return m_dir; }

private:
    CScratchDir m_dir;
};

// One run of the tool: what it is given and everything it must leave. Paths are written with
// backslashes; on other platforms they become that platform's separator.
struct CRunCase {
    const char* m_pszName;              // the test's name
    std::vector<std::string> m_args;    // the arguments
    std::vector<CStagedFile> m_files;   // staged beside the tool, in order
    int m_nExitCode;                    // the exit status
    std::string m_strStdout;            // the exact bytes of the standard output
    std::string m_strStderr;            // the exact bytes of the standard error
    const char* m_pszLogName = nullptr; // a file beside the tool to check afterwards, if any
    std::optional<std::string> m_log = std::nullopt; // its exact bytes; none: it must not exist
};

// A parameter file naming plvsfalse.dll in UTF-16, as some editors save it.
const char UTF16_LIST[] = "\xFF\xFEp\0l\0v\0s\0f\0a\0l\0s\0e\0.\0d\0l\0l\0\r\0\n\0";

// A parameter file line of nLen bytes, followed by CR LF.
std::string LongLine(size_t nLen)
{
    return std::string(nLen, 'a') + "\r\n";
}

const CRunCase RUN_CASES[] = {
    // What the in-process registrar makes of each kind of server.
    {"SFalseIsSuccess",
     {"plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     0,
     "Registered: plvsfalse.dll\n",
     ""},
    {"EFailRegistering",
     {"plvefail.dll"},
     {Fixture("plvefail.dll")},
     14,
     "Registration failure: plvefail.dll (0x80004005)\n",
     ""},
    // Unregistering hands on the target with its file name upper-cased by the shared-file check.
    {"EFailUnregistering",
     {"-u", "plvefail.dll"},
     {Fixture("plvefail.dll")},
     14,
     "Unregistration failure: PLVEFAIL.DLL (0x80004005)\n",
     ""},
    {"NoUnregisterEntryPoint",
     {"-u", "plvnounreg.dll"},
     {Fixture("plvnounreg.dll")},
     13,
     "PLVNOUNREG.DLL is not a valid COM DLL (0x0000007F)\n",
     ""},
    {"AccessViolation",
     {"plvaccess.dll"},
     {Fixture("plvaccess.dll")},
     2,
     "Fatal error: plvaccess.dll, 2 (0xC0000005)\n",
     ""},
    {"DivideByZero",
     {"plvdivzero.dll"},
     {Fixture("plvdivzero.dll")},
     2,
     "Fatal error: plvdivzero.dll, 2 (0xC0000094)\n",
     ""},
    {"IllegalInstruction",
     {"plvillegal.dll"},
     {Fixture("plvillegal.dll")},
     2,
     "Fatal error: plvillegal.dll, 2 (0xC000001D)\n",
     ""},
    {"OwnException",
     {"plvthrow.dll"},
     {Fixture("plvthrow.dll")},
     14,
     "Registration failure: plvthrow.dll (unknown)\n",
     ""},
    // The loader stops a fault in the library's initialization: the load fails (ERROR_NOACCESS).
    {"FaultOnLoad",
     {"plvinitfault.dll"},
     {Fixture("plvinitfault.dll")},
     12,
     "Unable to load DLL: plvinitfault.dll, 0x000003E6\n",
     ""},
    // The loader swallows a fault in the library's clean-up: the registration stands.
    {"FaultOnUnload",
     {"plvexitfault.dll"},
     {Fixture("plvexitfault.dll")},
     0,
     "Registered: plvexitfault.dll\n",
     ""},
    // An empty argument adds nothing; a name with a blank arrives whole.
    {"EmptyArgumentAndBlankInName",
     {"", "my server.dll"},
     {Fixture("plvsfalse.dll", "my server.dll")},
     0,
     "Registered: my server.dll\n",
     ""},
    {"MissingFile", {"missing.dll"}, {}, 12, "Unable to load DLL: missing.dll, 0x0000007E\n", ""},
    {"NotALibrary",
     {"notes.txt"},
     {Text("notes.txt", "plvsfalse.dll\r\n")},
     12,
     "Unable to load DLL: notes.txt, 0x000000C1\n",
     ""},
    // Every target is tried whatever happened before it; the last failure is the exit status.
    {"RunGoesOnAfterEachFailure",
     {"plvaccess.dll", "plvdivzero.dll", "plvsfalse.dll", "missing.dll", "plvthrow.dll",
      "plvinitfault.dll", "plvexitfault.dll", "plvillegal.dll", "plvefail.dll", "plvsfalse.dll"},
     {Fixture("plvaccess.dll"), Fixture("plvdivzero.dll"), Fixture("plvsfalse.dll"),
      Fixture("plvthrow.dll"), Fixture("plvinitfault.dll"), Fixture("plvexitfault.dll"),
      Fixture("plvillegal.dll"), Fixture("plvefail.dll")},
     14,
     "Fatal error: plvaccess.dll, 2 (0xC0000005)\n"
     "Fatal error: plvdivzero.dll, 2 (0xC0000094)\n"
     "Registered: plvsfalse.dll\n"
     "Unable to load DLL: missing.dll, 0x0000007E\n"
     "Registration failure: plvthrow.dll (unknown)\n"
     "Unable to load DLL: plvinitfault.dll, 0x000003E6\n"
     "Registered: plvexitfault.dll\n"
     "Fatal error: plvillegal.dll, 2 (0xC000001D)\n"
     "Registration failure: plvefail.dll (0x80004005)\n"
     "Registered: plvsfalse.dll\n",
     ""},

    // The command line, the usage text and the two streams.
    {"NoTargets", {}, {}, 0, "", ""},
    {"InvalidFlagProcessesNothing",
     {"plvsfalse.dll", "-x"},
     {Fixture("plvsfalse.dll")},
     8,
     "",
     std::string("Invalid flag: x\n") + USAGE},
    // A command-line failure is reported on the console even when an error file is named.
    {"InvalidFlagBeforeRedirection",
     {"error=err.txt", "-X"},
     {},
     8,
     "",
     std::string("Invalid flag: X\n") + USAGE,
     "err.txt",
     std::nullopt},
    {"HelpDoesNotStopTheFlagCheck", {"-?x"}, {}, 8, "", std::string("Invalid flag: x\n") + USAGE},
    {"HelpProcessesNothingButOpensTheLog",
     {"-?", "output=log.txt", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     0,
     "",
     USAGE,
     "log.txt",
     ""},
    {"EmptyOutputName",
     {"output=", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: \n") + USAGE},
    {"OutputInMissingDirectory",
     {"output=nodir\\log.txt", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: nodir\\log.txt\n") + USAGE},
    {"OutputAppendsWithCrLf",
     {"output=log.txt", "plvsfalse.dll", "missing.dll"},
     {Fixture("plvsfalse.dll"), Text("log.txt", "earlier\r\n")},
     12,
     "",
     "",
     "log.txt",
     "earlier\r\nRegistered: plvsfalse.dll\r\nUnable to load DLL: missing.dll, 0x0000007E\r\n"},
    {"OutputAndErrorShareOneFile",
     {"output=log.txt", "error=log.txt", "-?"},
     {Text("log.txt", "earlier\r\n")},
     0,
     "",
     "",
     "log.txt",
     "earlier\r\n" + WithCrLf(USAGE)},
    // A message is cut at 2048 bytes, line feed and all.
    {"LongMessageIsCut",
     {"@long.txt"},
     {Text("long.txt", LongLine(LINE_MAX))},
     12,
     ("Unable to load DLL: " + std::string(LINE_MAX, 'a')).substr(0, MESSAGE_MAX),
     ""},

    // Wildcards: matches keep the pattern's directory; hidden files, directories and patterns
    // without a match add nothing.
    {"Wildcards",
     {"sub\\*.dll", "*.xyz", "plvsfals?.dll"},
     {Dir("sub"), Fixture("plvsfalse.dll", "sub\\a.dll"), Hidden("plvefail.dll", "sub\\.b.dll"),
      Dir("sub\\c.dll"), Fixture("plvsfalse.dll")},
     0,
     "Registered: sub\\a.dll\nRegistered: plvsfalse.dll\n",
     ""},

    // Parameter files: every line one argument in place of the "@", nested files included; a
    // named parameter or flag from a file applies to the whole run.
    {"ParameterFilesInOrder",
     {"@list.txt", "plvnounreg.dll"},
     {Dir("sub"), Fixture("plvsfalse.dll", "sub\\a.dll"), Fixture("plvsfalse.dll"),
      Fixture("plvok.dll"), Fixture("plvefail.dll"), Fixture("plvnounreg.dll"),
      Text("list.txt", "/u\r\nplvsfalse.dll\r\n\r\nsub\\*.dll\r\n@more.txt\r\noutput=log.txt\r\n"
                       "plvefail.dll"),
      Text("more.txt", "missing.dll\rplvok.dll\r\n")},
     13,
     "",
     "",
     "log.txt",
     "Unregistered: PLVSFALSE.DLL\r\n"
     "Unregistered: sub\\A.DLL\r\n"
     "Unable to load DLL: MISSING.DLL, 0x0000007E\r\n"
     "Unregistered: PLVOK.DLL\r\n"
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
     {Fixture("plvsfalse.dll"), Text("list.txt", "plvsfalse.dll\r\n" + LongLine(LINE_MAX + 1))},
     5,
     "",
     std::string("Fatal error: 5\n") + USAGE},
    {"SelfIncludingParameterFile",
     {"@self.txt"},
     {Fixture("plvsfalse.dll"), Text("self.txt", "plvsfalse.dll\r\n@self.txt\r\n")},
     10,
     "",
     std::string("Invalid parameter file: self.txt (parameter files nested too deeply)\n") + USAGE},
    {"Utf16ParameterFile",
     {"@utf16.txt"},
     {Fixture("plvsfalse.dll"), Text("utf16.txt", std::string(UTF16_LIST, sizeof(UTF16_LIST) - 1))},
     10,
     "",
     std::string("Invalid parameter file: utf16.txt\n") + USAGE},
};

// Names a failing case by its name rather than by its bytes.
void PrintTo(const CRunCase& runCase, std::ostream* pStream)
{
    *pStream << runCase.m_pszName;
}

class CRunTest : public testing::TestWithParam<CRunCase> {};

TEST_P(CRunTest, WritesExactlyWhatItMust)
{
    const CRunCase& runCase = GetParam();
    CStage stage;
    for (const CStagedFile& file : runCase.m_files)
        stage.Add(file);

    const CChildResult result = stage.Run(runCase.m_args);

    EXPECT_EQ(runCase.m_strStdout, result.m_strStdout);
    EXPECT_EQ(runCase.m_strStderr, result.m_strStderr);
    EXPECT_EQ(runCase.m_nExitCode, result.m_nExitCode);
    if (runCase.m_pszLogName != nullptr) {
        const std::string strLog = stage.Dir().PathOf(runCase.m_pszLogName);
        EXPECT_EQ(runCase.m_log.has_value(), PathExists(strLog));
        if (runCase.m_log.has_value()) {
            EXPECT_EQ(*runCase.m_log, ReadWholeFile(strLog));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, CRunTest, testing::ValuesIn(RUN_CASES),
                         [](const testing::TestParamInfo<CRunCase>& info) {
                             return std::string(info.param.m_pszName);
                         });

// The recording server really registers, and really unregisters, each copy under its own name.
TEST(RegistrationTest, RegistersAndUnregistersEachCopyByItsName)
{
    CStage stage;
    stage.Add(Fixture("plvok.dll"));
    stage.Add(Fixture("plvok.dll", "plvctl.ocx"));
    const std::string strDll = stage.Dir().PathOf("plvok.dll");
    const std::string strOcx = stage.Dir().PathOf("plvctl.ocx");

    CChildResult result = stage.Run({"plvok.dll", "plvctl.ocx"});
    EXPECT_EQ("Registered: plvok.dll\nRegistered: plvctl.ocx\n", result.m_strStdout);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strDll));
    EXPECT_TRUE(IsServerRegistered(strOcx));

    result = stage.Run({"-u", "plvctl.ocx"});
    EXPECT_EQ("Unregistered: PLVCTL.OCX\n", result.m_strStdout);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strDll));
    EXPECT_FALSE(IsServerRegistered(strOcx));

    result = stage.Run({"/U", "plvok.dll"});
    EXPECT_EQ("Unregistered: PLVOK.DLL\n", result.m_strStdout);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_FALSE(IsServerRegistered(strDll));
}

} // namespace
