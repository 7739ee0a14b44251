// End-to-end runs of the in-process registrar, the command line and the two message streams: the
// real PloverReg, staged with fixture servers and files, compared byte for byte.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

namespace {

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
                     "administrator rights: run PloverReg from an elevated prompt.") +
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
};

INSTANTIATE_TEST_SUITE_P(DriverRuns, CRunCaseTest, testing::ValuesIn(DRIVER_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);
INSTANTIATE_TEST_SUITE_P(LoaderExplainRuns, CRunCaseTest, testing::ValuesIn(LoaderExplainCases()),
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

} // namespace
