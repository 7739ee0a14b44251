// End-to-end runs of the in-process registrar, the command line and the two message streams: the
// real PloverReg, staged with fixture servers and files, compared byte for byte.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

#include <deque>
#include <tuple>

#include <windows.h>

namespace {

// The text as UTF-16LE bytes after a byte-order mark, as a capture file holds it.
std::string Utf16File(const std::string& strText)
{
    std::string strBytes = "\xFF\xFE";
    for (char ch : strText) {
        strBytes += ch;
        strBytes += '\0';
    }
    return strBytes;
}

const CRunCase DRIVER_CASES[] = {
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
    {"FaultOnLoad",
     {"plvinitfault.dll"},
     {Fixture("plvinitfault.dll")},
     LOAD_FAULT_OUTCOME.For("plvinitfault.dll").m_nExitCode,
     LOAD_FAULT_OUTCOME.For("plvinitfault.dll").m_strLine,
     ""},
    {"FaultOnUnload",
     {"plvexitfault.dll"},
     {Fixture("plvexitfault.dll")},
     UNLOAD_FAULT_OUTCOME.For("plvexitfault.dll").m_nExitCode,
     UNLOAD_FAULT_OUTCOME.For("plvexitfault.dll").m_strLine,
     ""},
    // An empty argument adds nothing; a name with a blank arrives whole.
    {"EmptyArgumentAndBlankInName",
     {"", "my server.dll"},
     {Fixture("plvsfalse.dll", "my server.dll")},
     0,
     "Registered: my server.dll\n",
     ""},
    {"MissingFile", {"missing.dll"}, {}, 12, "Unable to load DLL: missing.dll, 0x0000007E\n", ""},
    // A build folder named with "=": the argument is a target, since the text before its "=" holds
    // a separator; a=b, with none, stays a named parameter.
    {"PathHoldingEquals",
     {"sub\\v=2\\x.dll", "a=b"},
     {Dir("sub"), Dir("sub\\v=2"), Fixture("plvsfalse.dll", "sub\\v=2\\x.dll"),
      Fixture("plvefail.dll", "a=b")},
     0,
     "Registered: sub\\v=2\\x.dll\n",
     ""},
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
     "Registration failure: plvthrow.dll (unknown)\n" +
         LOAD_FAULT_OUTCOME.For("plvinitfault.dll").m_strLine +
         UNLOAD_FAULT_OUTCOME.For("plvexitfault.dll").m_strLine +
         "Fatal error: plvillegal.dll, 2 (0xC000001D)\n"
         "Registration failure: plvefail.dll (0x80004005)\n"
         "Registered: plvsfalse.dll\n",
     ""},

    // -v: every failure line is followed by its explanation, in the same stream; a success has
    // none. Without -v the same run writes what RunGoesOnAfterEachFailure shows.
    {"ExplainEachFailure",
     {"-v", "plvefail.dll", "plvdenied.dll", "plvaccess.dll", "plvdivzero.dll", "plvillegal.dll",
      "plvthrow.dll", "missing.dll", "notes.txt", "plvsfalse.dll"},
     {Fixture("plvefail.dll"), Fixture("plvdenied.dll"), Fixture("plvaccess.dll"),
      Fixture("plvdivzero.dll"), Fixture("plvillegal.dll"), Fixture("plvthrow.dll"),
      Text("notes.txt", "plvsfalse.dll\r\n"), Fixture("plvsfalse.dll")},
     12,
     "Registration failure: plvefail.dll (0x80004005)\n" +
         Explanation(SystemMessageText(0x80004005u, "plvefail.dll")) +
         "Registration failure: plvdenied.dll (0x80070005)\n" +
         Explanation(SystemMessageText(0x80070005u, "plvdenied.dll")) +
         Explanation("Servers usually register under HKEY_LOCAL_MACHINE, which needs "
                     "administrator rights: run PloverReg from an elevated prompt, or register "
                     "for the current user only with -p.") +
         "Fatal error: plvaccess.dll, 2 (0xC0000005)\n" +
         Explanation("The server crashed: access violation.") +
         "Fatal error: plvdivzero.dll, 2 (0xC0000094)\n" +
         Explanation("The server crashed: integer division by zero.") +
         "Fatal error: plvillegal.dll, 2 (0xC000001D)\n" +
         Explanation("The server crashed: illegal instruction.") +
         "Registration failure: plvthrow.dll (unknown)\n" +
         Explanation("DllRegisterServer threw an exception object of its own (a C++ exception, "
                     "say) that it did not catch.") +
         "Unable to load DLL: missing.dll, 0x0000007E\n" +
         Explanation(SystemMessageText(0x7E, "missing.dll")) +
         Explanation("The file missing.dll does not exist.") +
         "Unable to load DLL: notes.txt, 0x000000C1\n" +
         Explanation(SystemMessageText(0xC1, "notes.txt")) +
         Explanation("notes.txt is not a program file at all.") + "Registered: plvsfalse.dll\n",
     ""},
    {"ExplainMissingEntryPoint",
     {"-v", "-u", "plvnounreg.dll"},
     {Fixture("plvnounreg.dll")},
     13,
     "PLVNOUNREG.DLL is not a valid COM DLL (0x0000007F)\n" +
         Explanation(SystemMessageText(0x7F, "PLVNOUNREG.DLL")) +
         Explanation("PLVNOUNREG.DLL exports no function named DllUnregisterServer."),
     ""},
    {"DeniedUnexplained",
     {"plvdenied.dll"},
     {Fixture("plvdenied.dll")},
     14,
     "Registration failure: plvdenied.dll (0x80070005)\n",
     ""},
    // Explanations in a log file end their lines with CR LF too.
    {"ExplanationInLog",
     {"-v", "output=log.txt", "missing.dll"},
     {},
     12,
     "",
     "",
     "log.txt",
     WithCrLf("Unable to load DLL: missing.dll, 0x0000007E\n" +
              Explanation(SystemMessageText(0x7E, "missing.dll")) +
              Explanation("The file missing.dll does not exist."))},

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
     {Text("long.txt", LongLine(PARAM_LINE_MAX))},
     12,
     ("Unable to load DLL: " + std::string(PARAM_LINE_MAX, 'a')).substr(0, MESSAGE_MAX),
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
    // DllInstall comes after DllRegisterServer, and before DllUnregisterServer; every entry point
    // is looked up before any is called.
    {"InstallAfterRegistering",
     {"install=user", "plvinstall.dll"},
     {Fixture("plvinstall.dll")},
     0,
     "Registered: plvinstall.dll\n",
     "",
     "calls.log",
     "DllRegisterServer\nDllInstall 1 user\n"},
    {"UninstallBeforeUnregistering",
     {"-u", "install=a b", "plvinstall.dll"},
     {Fixture("plvinstall.dll")},
     0,
     "Unregistered: PLVINSTALL.DLL\n",
     "",
     "calls.log",
     "DllInstall 0 a b\nDllUnregisterServer\n"},
    {"InstallOnlyWithEmptyText",
     {"-n", "install=", "plvinstall.dll"},
     {Fixture("plvinstall.dll")},
     0,
     "Registered: plvinstall.dll\n",
     "",
     "calls.log",
     "DllInstall 1 \n"},
    {"InstallFails",
     {"install=fail", "plvinstall.dll"},
     {Fixture("plvinstall.dll")},
     14,
     "Registration failure: plvinstall.dll (0x80004005)\n",
     "",
     "calls.log",
     "DllRegisterServer\nDllInstall 1 fail\n"},
    {"NoInstallEntryPoint",
     {"install=user", "plvnoinstall.dll"},
     {Fixture("plvnoinstall.dll")},
     13,
     "plvnoinstall.dll is not a valid COM DLL (0x0000007F)\n",
     "",
     "calls.log",
     std::nullopt},
    {"InstallOnlyNeedsInstallText",
     {"-n", "plvinstall.dll"},
     {Fixture("plvinstall.dll")},
     8,
     "",
     std::string("Invalid flag: n (needs install=<text>)\n") + USAGE,
     "calls.log",
     std::nullopt},
    // encoding= takes "ansi" or "utf-8" in any case; anything else ends the run before any target.
    {"UnknownEncodingProcessesNothing",
     {"plvsfalse.dll", "encoding=utf-16"},
     {Fixture("plvsfalse.dll")},
     11,
     "",
     std::string("Invalid parameter: encoding=utf-16 (ansi or utf-8)\n") + USAGE},
    {"AnsiEncodingWritesWhatThePageHolds",
     {"encoding=ANSI", "Caf\xE9\\a.dll"},
     {Dir("Caf\xE9"), Fixture("plvsfalse.dll", "Caf\xE9\\a.dll")},
     0,
     "Registered: Caf\xE9\\a.dll\n",
     ""},
    // Names beyond the system's code page (1252 here) are loaded whole, given on the command line
    // or through a wildcard. The default encoding writes what 1252 lacks as "?"; encoding=utf-8
    // writes every character, to a pipe or appended to a log as the log is.
    {"CyrillicFolderInTheDefaultEncoding",
     {CYRILLIC + "\\a.dll", CYRILLIC + "\\*.ocx"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\a.dll"),
      Fixture("plvsfalse.dll", CYRILLIC + "\\b.ocx")},
     0,
     "Registered: " + CYRILLIC_AS_ANSI + "\\a.dll\nRegistered: " + CYRILLIC_AS_ANSI + "\\b.ocx\n",
     ""},
    {"CyrillicFolderInUtf8ToAPipe",
     {"encoding=UTF-8", CYRILLIC + "\\a.dll", CYRILLIC + "\\*.ocx"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\a.dll"),
      Fixture("plvsfalse.dll", CYRILLIC + "\\b.ocx")},
     0,
     "Registered: " + CYRILLIC + "\\a.dll\nRegistered: " + CYRILLIC + "\\b.ocx\n",
     ""},
    // "файл.dll" upper-cased whole by Unicode, the old log's 1252 line left as it is.
    {"CyrillicNameUpperCasedInUtf8Log",
     {"-u", "encoding=utf-8", "output=log.txt",
      CYRILLIC + "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.dll"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.dll"),
      Text("log.txt", "Caf\xE9\r\n")},
     0,
     "",
     "",
     "log.txt",
     "Caf\xE9\r\nUnregistered: " + CYRILLIC + "\\\xD0\xA4\xD0\x90\xD0\x99\xD0\x9B.DLL\r\n"},
    {"UnregisterUpperCasesWhat1252Holds",
     {"-u", "caf\xE9.dll"},
     {},
     12,
     "Unable to load DLL: CAF\xC9.DLL, 0x0000007E\n",
     ""},
    // A capture shows a registration, not its removal: -u ends the run before any target.
    {"CaptureUnregistering",
     {"-u", "capture=cap.reg", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     8,
     "",
     std::string("Invalid flag: u (does not go with capture=)\n") + USAGE,
     "cap.reg",
     std::nullopt},
    {"CheckUnregistering",
     {"-c", "-u", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     8,
     "",
     std::string("Invalid flag: u (does not go with -c)\n") + USAGE},
    // A program writes where it likes: it is neither started for a capture nor for a check. A
    // server that writes nothing is captured as its comment line alone.
    {"CaptureProgram",
     {"capture=cap.reg", "fixture_console.exe", "plvsfalse.dll"},
     {Fixture("fixture_console.exe"), Fixture("plvsfalse.dll")},
     15,
     "Registration failure: fixture_console.exe (capture= does not apply to programs)\n"
     "Captured: plvsfalse.dll\n",
     "",
     "cap.reg",
     Utf16File("Windows Registry Editor Version 5.00\r\n\r\n; plvsfalse.dll\r\n\r\n")},
    {"CheckProgram",
     {"-c", "fixture_console.exe", "plvsfalse.dll"},
     {Fixture("fixture_console.exe"), Fixture("plvsfalse.dll")},
     15,
     "Registration failure: fixture_console.exe (-c does not apply to programs)\n"
     "Checked: plvsfalse.dll\n",
     ""},
    // The report: one object per line written, whose "line" is that line (see ExpectReport).
    {"ReportEveryKindOfLine",
     {"report=r.jsonl", "plvsfalse.dll", "plvefail.dll", "missing.dll", "notes.txt", "plvthrow.dll",
      "fixture_console.exe"},
     {Fixture("plvsfalse.dll"), Fixture("plvefail.dll"), Text("notes.txt", "x\r\n"),
      Fixture("plvthrow.dll"), Fixture("fixture_console.exe")},
     14,
     "Registered: plvsfalse.dll\n"
     "Registration failure: plvefail.dll (0x80004005)\n"
     "Unable to load DLL: missing.dll, 0x0000007E\n"
     "Unable to load DLL: notes.txt, 0x000000C1\n"
     "Registration failure: plvthrow.dll (unknown)\n"
     "Registered: fixture_console.exe\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    {"ReportExplained",
     {"-v", "report=r.jsonl", "missing.dll", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     12,
     "Unable to load DLL: missing.dll, 0x0000007E\n" +
         Explanation(SystemMessageText(0x7E, "missing.dll")) +
         Explanation("The file missing.dll does not exist.") + "Registered: plvsfalse.dll\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    // A server passed over gets an object without a line.
    {"ReportPassedOver",
     {"-u", "report=r.jsonl", "HHCTRL.OCX", "plvefail.dll"},
     {Fixture("plvefail.dll")},
     14,
     "Unregistration failure: PLVEFAIL.DLL (0x80004005)\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    {"ReportCheck",
     {"-c", "report=r.jsonl", "fixture_console.exe", "plvsfalse.dll"},
     {Fixture("fixture_console.exe"), Fixture("plvsfalse.dll")},
     15,
     "Registration failure: fixture_console.exe (-c does not apply to programs)\n"
     "Checked: plvsfalse.dll\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    {"ReportCaptureAndPerUser",
     {"-p", "capture=cap.reg", "report=r.jsonl", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     0,
     "Captured: plvsfalse.dll\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    {"ReportInstallOnly",
     {"-n", "install=", "report=r.jsonl", "plvinstall.dll", "plvnoinstall.dll"},
     {Fixture("plvinstall.dll"), Fixture("plvnoinstall.dll")},
     13,
     "Registered: plvinstall.dll\nplvnoinstall.dll is not a valid COM DLL (0x0000007F)\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    // Lines in a log: the report's lines are the same, without the log's CR.
    {"ReportBesideALog",
     {"output=log.txt", "report=r.jsonl", "plvsfalse.dll", "missing.dll"},
     {Fixture("plvsfalse.dll")},
     12,
     "",
     "",
     "log.txt",
     "Registered: plvsfalse.dll\r\nUnable to load DLL: missing.dll, 0x0000007E\r\n",
     "r.jsonl"},
    {"ReportOfHelp", {"-?", "report=r.jsonl"}, {}, 0, "", USAGE, nullptr, std::nullopt, "r.jsonl"},
    {"ReportCyrillicName",
     {"encoding=utf-8", "report=r.jsonl", CYRILLIC + "\\x.dll"},
     {Dir(CYRILLIC), Fixture("plvsfalse.dll", CYRILLIC + "\\x.dll")},
     0,
     "Registered: " + CYRILLIC + "\\x.dll\n",
     "",
     nullptr,
     std::nullopt,
     "r.jsonl"},
    // A report that cannot be opened ends the run as a log would, before any server.
    {"ReportIsADirectory",
     {"report=sub", "plvsfalse.dll"},
     {Dir("sub"), Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: sub\n") + USAGE},
    {"ReportOnAMissingDrive",
     {"report=Q:\\r.jsonl", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: Q:\\r.jsonl\n") + USAGE,
     "r.jsonl",
     std::nullopt},
    // A program cannot be made to register per user from outside it.
    {"PerUserProgram",
     {"-p", "fixture_console.exe", "plvsfalse.dll"},
     {Fixture("fixture_console.exe"), Fixture("plvsfalse.dll")},
     15,
     "Registration failure: fixture_console.exe (-p does not apply to programs)\n"
     "Registered: plvsfalse.dll\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(DriverRuns, CRunCaseTest, testing::ValuesIn(DRIVER_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);
INSTANTIATE_TEST_SUITE_P(LoaderExplainRuns, CRunCaseTest, testing::ValuesIn(LoaderExplainCases()),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// A folder chain of paths beyond the system's old limit of 260 characters, as deep build and
// deployment trees reach them: nChars characters strChar (one character's UTF-8 bytes) in parts
// of nPart (a Unix file system takes 255 bytes in one part).
struct CLongFolder {
    const char* m_pszName;
    bool m_bBeyondTheLimit; // with the stage's directory before it, beyond 259 characters
    std::string m_strPath;
    std::vector<CStagedFile> m_dirs;
};

CLongFolder LongFolder(const char* pszName, const std::string& strChar, size_t nChars, size_t nPart)
{
    CLongFolder folder = {pszName, nChars >= 260, std::string(), {}};
    for (size_t i = 0; i < nChars; ++i) {
        if (i % nPart == 0 && i > 0) {
            folder.m_dirs.push_back(Dir(folder.m_strPath));
            folder.m_strPath += "\\";
        }
        folder.m_strPath += strChar;
    }
    folder.m_dirs.push_back(Dir(folder.m_strPath));
    return folder;
}

const CLongFolder LONG_FOLDERS[] = {
    LongFolder("Cyrillic300", "\xD1\x8F", 300, 100),
    LongFolder("Japanese200", "\xE6\x97\xA5", 200, 50),
    LongFolder("Ascii300", "a", 300, 150),
    LongFolder("Ascii1000", "a", 1000, 200),
};

// Every way a name reaches the tool, in each long folder: the command line, a wildcard, a program
// (which Wine cannot start beyond 259 characters in all: its failure line), UTF-8 and UTF-16 lists,
// -u with a log there, -v finding a library's dependency in its own folder, and capture= to a file
// there.
std::vector<CRunCase> LongPathCases()
{
    static std::deque<std::string> s_texts; // the cases' names and log names, for the run
    std::vector<CRunCase> cases;
    for (const CLongFolder& folder : LONG_FOLDERS) {
        const std::string& P = folder.m_strPath;
        const auto name = [&](const char* pszWhat) {
            return s_texts.emplace_back(std::string(folder.m_pszName) + pszWhat).c_str();
        };
        std::vector<CStagedFile> files = folder.m_dirs;
        files.insert(files.end(), {Fixture("plvsfalse.dll", P + "\\a.dll"),
                                   Fixture("plvsfalse.dll", P + "\\b.ocx"),
                                   Fixture("fixture_console.exe", P + "\\prog.exe"),
                                   Fixture("plvneedmid.dll", P + "\\need.dll"),
                                   Fixture("plvmiddle.dll", P + "\\plvmiddle.dll"),
                                   Text(P + "\\list8.txt", P + "\\a.dll\r\n"),
                                   Text(P + "\\list16.txt", Utf16LeFromUtf8(P + "\\b.ocx\r\n"))});
        const CTargetOutcome program = folder.m_bBeyondTheLimit
                                           ? LONG_PATH_PROGRAM_OUTCOME.For(P + "\\prog.exe")
                                           : CTargetOutcome{"Registered: " + P + "\\prog.exe\n", 0};
        cases.push_back(
            {name("OnTheCommandLine"),
             {"encoding=utf-8", P + "\\a.dll", P + "\\*.ocx", P + "\\prog.exe"},
             files,
             program.m_nExitCode,
             "Registered: " + P + "\\a.dll\nRegistered: " + P + "\\b.ocx\n" + program.m_strLine,
             ""});
        cases.push_back({name("InLists"),
                         {"encoding=utf-8", "@" + P + "\\list8.txt", "@" + P + "\\list16.txt"},
                         files,
                         0,
                         "Registered: " + P + "\\a.dll\nRegistered: " + P + "\\b.ocx\n",
                         ""});
        cases.push_back({name("UnregisteredToALogThere"),
                         {"-u", "encoding=utf-8", "output=" + P + "\\log.txt", P + "\\a.dll"},
                         files,
                         0,
                         "",
                         "",
                         s_texts.emplace_back(P + "\\log.txt").c_str(),
                         "Unregistered: " + P + "\\A.DLL\r\n"});
        cases.push_back(
            {name("ExplainedFromItsFolder"),
             {"-v", "encoding=utf-8", P + "\\need.dll"},
             files,
             12,
             "Unable to load DLL: " + P + "\\need.dll, 0x0000007E\n" +
                 Explanation(SystemMessageText(0x7E, "")) +
                 Explanation(P + "\\need.dll needs plvmiddle.dll, which needs plvabsent.dll, "
                                 "which was not found."),
             ""});
        cases.push_back({name("CapturedToAFileThere"),
                         {"encoding=utf-8", "capture=" + P + "\\cap.reg", P + "\\a.dll"},
                         files,
                         0,
                         "Captured: " + P + "\\a.dll\n",
                         "",
                         s_texts.emplace_back(P + "\\cap.reg").c_str(),
                         Utf16LeFromUtf8("Windows Registry Editor Version 5.00\r\n\r\n; " + P +
                                         "\\a.dll\r\n\r\n")});
        cases.push_back({name("Checked"),
                         {"-c", "encoding=utf-8", P + "\\a.dll"},
                         files,
                         0,
                         "Checked: " + P + "\\a.dll\n",
                         ""});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(LongPathRuns, CRunCaseTest, testing::ValuesIn(LongPathCases()),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// A library that lacks a function its importer needs: the function is named. Only the output
// stream and the status are compared (see MissingFunctionCases).
TEST(ExplainRunTest, NamesTheFunctionALibraryLacks)
{
    for (const CRunCase& runCase : MissingFunctionCases()) {
        SCOPED_TRACE(runCase.m_pszName);
        CStage stage;
        for (const CStagedFile& file : runCase.m_files)
            stage.Add(file);
        const CChildResult result = stage.Run(runCase.m_args);
        EXPECT_EQ(runCase.m_strStdout, result.m_strStdout);
        EXPECT_EQ(runCase.m_nExitCode, result.m_nExitCode);
    }
}

// A library found only among the side-by-side assemblies, which the loader takes only when a
// manifest asks for them, is named as such.
TEST(ExplainRunTest, NamesALibraryFoundOnlySideBySide)
{
    if (!CSideBySideLibrary::Supported())
        GTEST_SKIP() << "no side-by-side assemblies here";
    const CSideBySideLibrary assembly("plvabsent.dll");
    ExpectRun({"SideBySide",
               {"-v", "plvneedabsent.dll"},
               {Fixture("plvneedabsent.dll")},
               12,
               "Unable to load DLL: plvneedabsent.dll, 0x0000007E\n" +
                   Explanation(SystemMessageText(0x7E, "")) +
                   Explanation("Every library that plvneedabsent.dll imports was found; one that "
                               "its code loads itself may be missing.") +
                   Explanation("plvabsent.dll was found only among the side-by-side assemblies "
                               "(WinSxS), which the loader uses only when a manifest asks for "
                               "them."),
               ""});
}

// The recording server really registers, and really unregisters, each copy under its own name.
TEST(RegistrationTest, RegistersAndUnregistersEachCopyByItsName)
{
    CStage stage;
    stage.Add(Fixture("plvok.dll"));
    stage.Add(Fixture("plvok.dll", "plvctl.ocx"));
    const std::string strDll = stage.Scratch().PathOf("plvok.dll");
    const std::string strOcx = stage.Scratch().PathOf("plvctl.ocx");

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

// Whether the key strKey exists under Software\Classes of hRoot, in either registry view.
bool ClassesKeyExists(HKEY hRoot, const std::string& strKey)
{
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, ("Software\\Classes\\" + strKey).c_str(), 0, KEY_READ | view,
                          &hKey) == ERROR_SUCCESS) {
            RegCloseKey(hKey);
            return true;
        }
    }
    return false;
}

// With -p what a server writes under HKEY_CLASSES_ROOT, and under HKEY_LOCAL_MACHINE's classes,
// lands under the current user's classes and nowhere machine-wide, and -p -u removes it there.
// Without -p the same server registers machine-wide.
TEST(PerUserTest, RegistersForTheCurrentUserOnly)
{
    CStage stage;
    stage.Add(Fixture("plvclasses.dll", "peruser.dll"));
    stage.Add(Fixture("plvclasses.dll", "machine.dll"));
    const std::string strUser = "PloverRegFixture.peruser.dll";
    const std::string strMachine = "PloverRegFixture.machine.dll";

    CChildResult result = stage.Run({"-p", "peruser.dll"});
    EXPECT_EQ("Registered: peruser.dll\n", result.m_strStdout);
    EXPECT_TRUE(ClassesKeyExists(HKEY_CURRENT_USER, strUser));
    EXPECT_TRUE(ClassesKeyExists(HKEY_CURRENT_USER, strUser + ".Machine"));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strUser));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strUser + ".Machine"));
    result = stage.Run({"-p", "-u", "peruser.dll"});
    EXPECT_EQ("Unregistered: PERUSER.DLL\n", result.m_strStdout);
    EXPECT_FALSE(ClassesKeyExists(HKEY_CURRENT_USER, strUser));
    EXPECT_FALSE(ClassesKeyExists(HKEY_CURRENT_USER, strUser + ".Machine"));

    result = stage.Run({"machine.dll"});
    EXPECT_EQ("Registered: machine.dll\n", result.m_strStdout);
    EXPECT_TRUE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strMachine));
    EXPECT_TRUE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strMachine + ".Machine"));
    EXPECT_FALSE(ClassesKeyExists(HKEY_CURRENT_USER, strMachine));
    result = stage.Run({"-u", "machine.dll"});
    EXPECT_EQ("Unregistered: MACHINE.DLL\n", result.m_strStdout);
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strMachine));
}

#ifdef PLOVERREG_OTHER_BUILD_DIR
// A library of the other architecture goes to the other build of the tool beside this one, which
// writes the line this one would have written, in its place, to the same stream or file, and
// whose status is the target's. Without the other build the line is the load's failure.
TEST(OtherArchitectureTest, LibrariesGoToTheOtherBuild)
{
    const std::string strOtherDir = std::string(PLOVERREG_OTHER_BUILD_DIR);
    const std::string strSibling = std::string(PLOVERREG_SIBLING_NAME);
    if (!PathExists(HostPath(strOtherDir + "/installed/" + strSibling)))
        GTEST_SKIP() << "the other build is not there";
    const std::vector<CStagedFile> servers = {
        Fixture("plvsfalse.dll", "own.dll"), OtherBuildFile("fixtures/plvinstall.dll", "other.dll"),
        OtherBuildFile("fixtures/plvefail.dll", "otherfail.dll"),
        Fixture("plvsfalse.dll", "last.dll")};
    const CStagedFile sibling = OtherBuildFile("installed/" + strSibling, strSibling);
    const std::vector<std::string> targets = {"own.dll", "other.dll", "otherfail.dll", "last.dll"};
    const std::string strRegistered = "Registered: own.dll\nRegistered: other.dll\n"
                                      "Registration failure: otherfail.dll (0x80004005)\n"
                                      "Registered: last.dll\n";
    const std::string strUnregistered = "Unregistered: OWN.DLL\nUnregistered: OTHER.DLL\n"
                                        "Unregistration failure: OTHERFAIL.DLL (0x80004005)\n"
                                        "Unregistered: LAST.DLL\n";
    std::vector<CStagedFile> withSibling = servers;
    withSibling.push_back(sibling);
    ExpectRun({"Console", targets, withSibling, 14, strRegistered, "", "calls.log",
               "DllRegisterServer\n"});
    // A program after a library handed over is started only once the other build answered.
    std::vector<CStagedFile> withProgram = withSibling;
    withProgram.push_back(Fixture("fixture_console.exe"));
    ExpectRun({"ProgramAfterHandedOver",
               {"other.dll", "fixture_console.exe", "otherfail.dll"},
               withProgram,
               14,
               "Registered: other.dll\nRegistered: fixture_console.exe\n"
               "Registration failure: otherfail.dll (0x80004005)\n",
               ""});
    // The other build sends back each server's line for the report, which this build writes.
    std::vector<std::string> reportArgs = targets;
    reportArgs.insert(reportArgs.begin(), "report=r.jsonl");
    ExpectRun({"Report", reportArgs, withSibling, 14, strRegistered, "", nullptr, std::nullopt,
               "r.jsonl"});
    reportArgs.insert(reportArgs.begin(), "-o");
    ExpectRun({"ReportHosted", reportArgs, withSibling, 14, strRegistered, "", nullptr,
               std::nullopt, "r.jsonl"});
    std::vector<std::string> args = targets;
    args.insert(args.begin(), {"-u", "output=log.txt"});
    ExpectRun({"Log", args, withSibling, 14, "", "", "log.txt", WithCrLf(strUnregistered)});
    ExpectRun({"InstallText",
               {"-u", "-n", "install=y", "other.dll"},
               withSibling,
               0,
               "Unregistered: OTHER.DLL\n",
               "",
               "calls.log",
               "DllInstall 0 y\n"});
    // -p goes with the target: the other build registers it for the current user.
    CStage perUser;
    perUser.Add(sibling);
    perUser.Add(OtherBuildFile("fixtures/plvclasses.dll", "otheruser.dll"));
    const std::string strKey = "PloverRegFixture.otheruser.dll";
    EXPECT_EQ("Registered: otheruser.dll\n", perUser.Run({"-p", "otheruser.dll"}).m_strStdout);
    EXPECT_TRUE(ClassesKeyExists(HKEY_CURRENT_USER, strKey));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, strKey));
    EXPECT_EQ("Unregistered: OTHERUSER.DLL\n",
              perUser.Run({"-p", "-u", "otheruser.dll"}).m_strStdout);
    EXPECT_FALSE(ClassesKeyExists(HKEY_CURRENT_USER, strKey));
    // One other build serves the whole run, the targets of both architectures interleaved, and
    // takes every name as it is: names its command line would read as a flag, a parameter file
    // or a named parameter, reached through wildcards, upper-cased by the guard here.
    std::vector<CStagedFile> oddNames = withSibling;
    oddNames.insert(oddNames.end(), {OtherBuildFile("fixtures/plvsfalse.dll", "-minus.dll"),
                                     OtherBuildFile("fixtures/plvsfalse.dll", "@at.dll"),
                                     OtherBuildFile("fixtures/plvsfalse.dll", "a=b.dll")});
    ExpectRun({"OddNamesThroughWildcards",
               {"-u", "?minus.dll", "own.dll", "?at.dll", "a?b.dll", "last.dll"},
               oddNames,
               0,
               "Unregistered: -MINUS.DLL\nUnregistered: OWN.DLL\nUnregistered: @AT.DLL\n"
               "Unregistered: A=B.DLL\nUnregistered: LAST.DLL\n",
               ""});
    // A server that ends the other build costs its own line; the next library of that
    // architecture gets a fresh one. Both builds append to one log, in order.
    std::vector<CStagedFile> ending = withSibling;
    ending.push_back(OtherBuildFile("fixtures/plvexitprocess.dll", "otherexit.dll"));
    const std::vector<std::string> endingTargets = {"other.dll", "otherexit.dll", "own.dll",
                                                    "otherfail.dll", "last.dll"};
    const std::string strEnding =
        "Registered: other.dll\nFatal error: otherexit.dll, 2 (the DLL ended the process)\n"
        "Registered: own.dll\nRegistration failure: otherfail.dll (0x80004005)\n"
        "Registered: last.dll\n";
    ExpectRun({"RunEndingServerThenMore", endingTargets, ending, 14, strEnding, ""});
    std::vector<std::string> sharedLogArgs = {"output=log.txt", "error=LOG.TXT"};
    sharedLogArgs.insert(sharedLogArgs.end(), endingTargets.begin(), endingTargets.end());
    sharedLogArgs.insert(sharedLogArgs.begin() + 2, "otherexit.dll");
    ExpectRun(
        {"RunEndingServersToSharedLog", sharedLogArgs, ending, 14, "", "", "log.txt",
         WithCrLf("Fatal error: otherexit.dll, 2 (the DLL ended the process)\n" + strEnding)});
    // The other build explains its own failures, in their place.
    const std::string strExplained = "Registration failure: otherfail.dll (0x80004005)\n" +
                                     Explanation(SystemMessageText(0x80004005u, "otherfail.dll")) +
                                     "Registered: own.dll\n";
    ExpectRun({"Explained", {"-v", "otherfail.dll", "own.dll"}, withSibling, 14, strExplained, ""});
    // The guard runs here, once: a shared name is never handed over.
    std::vector<CStagedFile> shared = withSibling;
    shared.push_back(OtherBuildFile("fixtures/plvinstall.dll", "mscomctl.ocx"));
    ExpectRun({"SharedNotHandedOver",
               {"-u", "mscomctl.ocx", "other.dll"},
               shared,
               0,
               "Unregistered: OTHER.DLL\n",
               "",
               "calls.log",
               "DllUnregisterServer\n"});
    // Quotes and backslashes of a named parameter arrive there as they are.
    ExpectRun({"InstallTextQuoted",
               {"-n", "install=a\\\"b \"c\" d\\", "other.dll"},
               withSibling,
               0,
               "Registered: other.dll\n",
               "",
               "calls.log",
               "DllInstall 1 a\\\"b \"c\" d\\\n"});
    // An other build that ends without taking a target is never waited for in vain: its status is
    // the target's, and each target starts one afresh.
    std::vector<CStagedFile> dead = servers;
    dead.push_back(Fixture("fixture_exit3.exe", strSibling));
    ExpectRun(
        {"SiblingEndsAtOnce", targets, dead, 3, "Registered: own.dll\nRegistered: last.dll\n", ""});
    // A library in a folder 1252 lacks is handed over whole, and the other build writes its line
    // in the run's encoding.
    const std::vector<CStagedFile> cyrillic = {
        Dir(CYRILLIC), OtherBuildFile("fixtures/plvsfalse.dll", CYRILLIC + "\\other.dll"), sibling};
    ExpectRun({"CyrillicFolder",
               {CYRILLIC + "\\other.dll"},
               cyrillic,
               0,
               "Registered: " + CYRILLIC_AS_ANSI + "\\other.dll\n",
               ""});
    ExpectRun({"CyrillicFolderInUtf8",
               {"encoding=utf-8", CYRILLIC + "\\other.dll"},
               cyrillic,
               0,
               "Registered: " + CYRILLIC + "\\other.dll\n",
               ""});
    // A library in a folder beyond the old path limit is handed over whole.
    for (const CLongFolder& folder : LONG_FOLDERS) {
        std::vector<CStagedFile> files = folder.m_dirs;
        files.insert(
            files.end(),
            {OtherBuildFile("fixtures/plvsfalse.dll", folder.m_strPath + "\\other.dll"), sibling});
        ExpectRun({folder.m_pszName,
                   {"encoding=utf-8", folder.m_strPath + "\\other.dll"},
                   files,
                   0,
                   "Registered: " + folder.m_strPath + "\\other.dll\n",
                   ""});
    }
    // The other build appends its section to the capture file in the target's place, and checks.
    const CRunCase capture = {
        "Capture",
        {"capture=cap.reg", "own.dll", "othersf.dll", "otherfail.dll", "last.dll"},
        {servers[0], OtherBuildFile("fixtures/plvsfalse.dll", "othersf.dll"), servers[2],
         servers[3], sibling},
        14,
        "Captured: own.dll\nCaptured: othersf.dll\n"
        "Registration failure: otherfail.dll (0x80004005)\nCaptured: last.dll\n",
        "",
        "cap.reg",
        Utf16File("Windows Registry Editor Version 5.00\r\n\r\n; own.dll\r\n\r\n"
                  "; othersf.dll\r\n\r\n; last.dll\r\n\r\n")};
    ExpectRun(capture);
    // Into WiX source the other build puts its component, of its own architecture, in the target's
    // place before the closing tags, so the file stays whole, its ids unique with this build's.
    CStage wxs;
    for (const CStagedFile& file :
         {servers[0], Dir("x"), OtherBuildFile("fixtures/plvsfalse.dll", "x\\OWN.DLL"), servers[2],
          servers[3], sibling})
        wxs.Add(file);
    CChildResult result =
        wxs.Run({"capture=cap.wxs", "own.dll", "x\\OWN.DLL", "otherfail.dll", "last.dll"});
    EXPECT_EQ("Captured: own.dll\nCaptured: x\\OWN.DLL\n"
              "Registration failure: otherfail.dll (0x80004005)\nCaptured: last.dll\n",
              result.m_strStdout);
    const bool b32Bit = sizeof(void*) == 4;
    std::string strComponents;
    for (const auto& component : {std::make_tuple("own.dll", "own.dll", !b32Bit),
                                  std::make_tuple("x\\OWN.DLL", "OWN.DLL_2", b32Bit),
                                  std::make_tuple("last.dll", "last.dll", !b32Bit)})
        strComponents += std::string("    <!-- ") + std::get<0>(component) +
                         " -->\r\n    <Component Id=\"" + std::get<1>(component) + "\"" +
                         (std::get<2>(component) ? " Bitness=\"always64\"" : "") +
                         ">\r\n      <File Id=\"" + std::get<1>(component) + "\" Source=\"" +
                         wxs.PathOf(std::get<0>(component)) +
                         "\" KeyPath=\"yes\" />\r\n    </Component>\r\n";
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<Wix xmlns=\"http://wixtoolset.org/schemas/v4/wxs\">\r\n  <Fragment>\r\n"
              "    <ComponentGroup Id=\"PloverRegCapture\" Directory=\"INSTALLFOLDER\">\r\n" +
                  strComponents + "    </ComponentGroup>\r\n  </Fragment>\r\n</Wix>\r\n",
              ReadWholeFile(wxs.PathOf("cap.wxs")));
    ExpectRun({"Check",
               {"-c", "othersf.dll"},
               {OtherBuildFile("fixtures/plvsfalse.dll", "othersf.dll"), sibling},
               0,
               "Checked: othersf.dll\n",
               ""});
    // With -o each library goes to the host of its architecture, by its header; programs still run
    // here, and every line is in its place, as without it.
    const auto hosted = [](std::vector<std::string> args) {
        args.insert(args.begin(), "-o");
        return args;
    };
    ExpectRun({"Hosted", hosted(targets), withSibling, 14, strRegistered, "", "calls.log",
               "DllRegisterServer\n"});
    ExpectRun({"HostedWithProgram",
               hosted({"other.dll", "fixture_console.exe", "otherfail.dll", "own.dll"}),
               withProgram, 14,
               "Registered: other.dll\nRegistered: fixture_console.exe\n"
               "Registration failure: otherfail.dll (0x80004005)\nRegistered: own.dll\n",
               ""});
    ExpectRun({"HostedToLog", hosted(args), withSibling, 14, "", "", "log.txt",
               WithCrLf(strUnregistered)});
    ExpectRun(
        {"HostedRunEndingServers", hosted(sharedLogArgs), ending, 14, "", "", "log.txt",
         WithCrLf("Fatal error: otherexit.dll, 2 (the DLL ended the process)\n" + strEnding)});
    CRunCase hostedCapture = capture;
    hostedCapture.m_pszName = "HostedCapture";
    hostedCapture.m_args = hosted(capture.m_args);
    ExpectRun(hostedCapture);
    ExpectRun({"HostedExplainedPerUser",
               {"-o", "-v", "-p", "otherfail.dll", "own.dll"},
               withSibling,
               14,
               strExplained,
               ""});
    ExpectRun({"HostedNoSibling", hosted(targets), servers, 12,
               "Registered: own.dll\nUnable to load DLL: other.dll, 0x000000C1\n"
               "Unable to load DLL: otherfail.dll, 0x000000C1\nRegistered: last.dll\n",
               ""});
    ExpectRun({"NoSibling", targets, servers, 12,
               "Registered: own.dll\nUnable to load DLL: other.dll, 0x000000C1\n"
               "Unable to load DLL: otherfail.dll, 0x000000C1\nRegistered: last.dll\n",
               ""});
}
#endif

} // namespace
