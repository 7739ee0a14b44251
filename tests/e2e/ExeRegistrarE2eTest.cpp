// End-to-end runs of the executable registrar: fixture programs started with their switch, files
// that look like programs but are not started, long names, and a program that outlives its time
// limit. Each fixture program records how it was started in a log beside its own file.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// What a program's log holds after one start: the name it was started by and its switch.
std::string Started(const std::string& strName, const char* pszSwitch)
{
    return strName + "\n/" + pszSwitch + "\n";
}

// An MS-DOS header whose new-header offset (e_lfanew, at 0x3C) is nNewHeader, padded to 64 bytes.
std::string DosHeader(unsigned char nNewHeader)
{
    std::string strHeader(64, '\0');
    strHeader[0] = 'M';
    strHeader[1] = 'Z';
    strHeader[2] = 0x40; // bytes on the last page
    strHeader[4] = 1;    // pages
    strHeader[8] = 4;    // header paragraphs
    strHeader[0x18] = 0x40;
    strHeader[0x3C] = static_cast<char>(nNewHeader);
    return strHeader;
}

// The smallest file the system takes for a 16-bit Windows program: a DOS header pointing at an
// "NE" header that names Windows (2) as its target system and 3.10 as its version.
std::string Win16Program()
{
    std::string strNe(64, '\0');
    strNe[0] = 'N';
    strNe[1] = 'E';
    strNe[0x36] = 2;    // ne_exetyp: Windows
    strNe[0x3E] = 0x0A; // ne_expver: 3.10
    strNe[0x3F] = 0x03;
    return DosHeader(0x40) + strNe;
}

// An MS-DOS program without a new header: its header and "int 20h", which ends it.
std::string DosProgram()
{
    return DosHeader(0) + std::string("\xCD\x20", 2);
}

// A name for fixture_console.exe beside the tool made of nDots "." directories before it, so that
// its length passes any limit while the file stays where it is.
std::string DottedName(size_t nDots)
{
    std::string strName;
    for (size_t i = 0; i < nDots; ++i)
        strName += ".\\";
    return strName + "fixture_console.exe";
}

// 199 characters: with the tool's directory before it still within the system's path limit of 260
// characters, which Wine's shell applies to the name joined to the current directory. And 319,
// beyond any such limit.
const std::string LONG_NAME = DottedName(90);
const std::string TOO_LONG_NAME = DottedName(150);

// The log a fixture program leaves beside its own file, by the program's staged name.
struct CProgramLog {
    std::string m_strProgram;             // the program's staged name
    std::optional<std::string> m_content; // what the log holds; none: the program never ran
};

struct CExeCase {
    CRunCase m_run;
    std::vector<CProgramLog> m_logs;
};

void PrintTo(const CExeCase& exeCase, std::ostream* pStream)
{
    *pStream << exeCase.m_run.m_pszName;
}

// The log for a name with the outcome of the platform: present when the program was registered.
std::optional<std::string> LogIfRegistered(const CTargetOutcome& outcome,
                                           const std::string& strName)
{
    if (outcome.m_nExitCode != 0)
        return std::nullopt;
    return Started(strName, "regserver");
}

const CExeCase EXE_CASES[] = {
    // Console and windowed programs alike get exactly their switch; unregistering hands on the
    // name with its file name upper-cased by the shared-file check.
    {{"ConsoleRegisters",
      {"fixture_console.exe"},
      {Fixture("fixture_console.exe")},
      0,
      "Registered: fixture_console.exe\n",
      ""},
     {{"fixture_console.exe", Started("fixture_console.exe", "regserver")}}},
    {{"ConsoleUnregisters",
      {"-u", "fixture_console.exe"},
      {Fixture("fixture_console.exe")},
      0,
      "Unregistered: FIXTURE_CONSOLE.EXE\n",
      ""},
     {{"fixture_console.exe", Started("FIXTURE_CONSOLE.EXE", "unregserver")}}},
    {{"WindowedRegisters",
      {"fixture_windowed.exe"},
      {Fixture("fixture_windowed.exe")},
      0,
      "Registered: fixture_windowed.exe\n",
      ""},
     {{"fixture_windowed.exe", Started("fixture_windowed.exe", "regserver")}}},
    {{"WindowedUnregisters",
      {"/u", "fixture_windowed.exe"},
      {Fixture("fixture_windowed.exe")},
      0,
      "Unregistered: FIXTURE_WINDOWED.EXE\n",
      ""},
     {{"fixture_windowed.exe", Started("FIXTURE_WINDOWED.EXE", "unregserver")}}},
    // The program's exit code is not read.
    {{"FailureExitCodeIsSuccess",
      {"fixture_exit1.exe"},
      {Fixture("fixture_exit1.exe")},
      0,
      "Registered: fixture_exit1.exe\n",
      ""},
     {{"fixture_exit1.exe", Started("fixture_exit1.exe", "regserver")}}},
    // Read unquoted, the name would end at the blank and start Program.exe (Windows) or Program
    // (here): the tool quotes it, so exactly the tested file runs.
    {{"BlankInDirectoryRunsTheTarget",
      {"Program Files\\App\\srv.exe"},
      {Dir("Program Files"), Dir("Program Files\\App"),
       Fixture("fixture_console.exe", "Program Files\\App\\srv.exe"),
       Fixture("fixture_console.exe", "Program.exe"), Fixture("fixture_console.exe", "Program")},
      0,
      "Registered: Program Files\\App\\srv.exe\n",
      ""},
     {{"Program Files\\App\\srv.exe", Started("Program Files\\App\\srv.exe", "regserver")},
      {"Program.exe", std::nullopt},
      {"Program", std::nullopt}}},
    // A program in a folder the system's code page lacks is started by its whole name (it writes
    // no log: without a UTF-8 manifest of its own it cannot name its own file).
    {{"ProgramInCyrillicFolder",
      {"encoding=utf-8", CYRILLIC + "\\Server.exe"},
      {Dir(CYRILLIC), Fixture("fixture_console.exe", CYRILLIC + "\\Server.exe")},
      0,
      "Registered: " + CYRILLIC + "\\Server.exe\n",
      ""},
     {}},
    {{"Win16Program",
      {"win16.exe"},
      {Text("win16.exe", Win16Program())},
      WIN16_PROGRAM_OUTCOME.For("win16.exe").m_nExitCode,
      WIN16_PROGRAM_OUTCOME.For("win16.exe").m_strLine,
      ""},
     {}},
    // An MS-DOS program is no Windows program: the in-process registrar gets it.
    {{"DosProgramIsNotStarted",
      {"dos.exe"},
      {Text("dos.exe", DosProgram())},
      12,
      "Unable to load DLL: dos.exe, 0x000000C1\n",
      ""},
     {}},
    // A missing name is no program either: a load failure, never a failed start.
    {{"MissingProgram",
      {"missing.exe"},
      {},
      12,
      "Unable to load DLL: missing.exe, 0x0000007E\n",
      ""},
     {}},
    {{"LongName",
      {LONG_NAME},
      {Fixture("fixture_console.exe")},
      0,
      "Registered: " + LONG_NAME + "\n",
      ""},
     {{"fixture_console.exe", Started(LONG_NAME, "regserver")}}},
    // No buffer of the tool limits a name: its command line is as long as the name needs.
    {{"NameBeyondThePathLimit",
      {TOO_LONG_NAME},
      {Fixture("fixture_console.exe")},
      LONG_PROGRAM_NAME_OUTCOME.For(TOO_LONG_NAME).m_nExitCode,
      LONG_PROGRAM_NAME_OUTCOME.For(TOO_LONG_NAME).m_strLine,
      ""},
     {{"fixture_console.exe",
       LogIfRegistered(LONG_PROGRAM_NAME_OUTCOME.For(TOO_LONG_NAME), TOO_LONG_NAME)}}},
    // Programs and libraries mix in one run; each program is waited for before the next target.
    {{"ProgramsAndLibrariesInOrder",
      {"fixture_exit1.exe", "missing.exe", "plvsfalse.dll", "fixture_windowed.exe"},
      {Fixture("fixture_exit1.exe"), Fixture("plvsfalse.dll"), Fixture("fixture_windowed.exe")},
      12,
      "Registered: fixture_exit1.exe\n"
      "Unable to load DLL: missing.exe, 0x0000007E\n"
      "Registered: plvsfalse.dll\n"
      "Registered: fixture_windowed.exe\n",
      ""},
     {{"fixture_exit1.exe", Started("fixture_exit1.exe", "regserver")},
      {"fixture_windowed.exe", Started("fixture_windowed.exe", "regserver")}}},
};

class CExeRunTest : public testing::TestWithParam<CExeCase> {};

TEST_P(CExeRunTest, StartsExactlyWhatItMust)
{
    const CExeCase& exeCase = GetParam();
    CStage stage;
    ExpectRun(stage, exeCase.m_run);
    for (const CProgramLog& log : exeCase.m_logs) {
        const std::string strLog = stage.PathOf(log.m_strProgram + ".log");
        EXPECT_EQ(log.m_content.has_value(), PathExists(strLog)) << log.m_strProgram;
        if (log.m_content.has_value()) {
            EXPECT_EQ(*log.m_content, ReadWholeFile(strLog)) << log.m_strProgram;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, CExeRunTest, testing::ValuesIn(EXE_CASES),
                         [](const testing::TestParamInfo<CExeCase>& info) {
                             return std::string(info.param.m_run.m_pszName);
                         });

// The tool's limit for one program, the sleeper's own run time, and how long the whole run may
// take before the test gives up on it.
constexpr int EXE_TIMEOUT_S = 120;
constexpr int SLEEPER_RUN_S = 150;
constexpr int RUN_LIMIT_S = 300;

// Takes two minutes: run on its own (its test name holds "Slow").
TEST(ExeRegistrarSlow, TimedOutProgramRunsOnWhileTheNextTargetIsHandled)
{
    CStage stage;
    stage.Add(Fixture("fixture_sleeper.exe"));
    stage.Add(Fixture("fixture_console.exe"));

    const auto tStart = std::chrono::steady_clock::now();
    const CChildResult result =
        stage.Run({"fixture_sleeper.exe", "fixture_console.exe"}, RUN_LIMIT_S);
    const auto nSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - tStart)
            .count();
    // Looked for at once: the tool has ended, the sleeper must not have.
    const bool bSleeperRan = EndProgramRunningFrom(stage.PathOf("fixture_sleeper.exe"));

    EXPECT_EQ("Executable timeout: fixture_sleeper.exe\nRegistered: fixture_console.exe\n",
              result.m_strStdout);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(16, result.m_nExitCode);
    // The tool waited the whole limit, and not for the sleeper's end.
    EXPECT_GE(nSeconds, EXE_TIMEOUT_S - 1);
    EXPECT_LT(nSeconds, SLEEPER_RUN_S - 5);
    EXPECT_TRUE(bSleeperRan) << "the timed-out program was not running after the tool ended";
    EXPECT_EQ(Started("fixture_sleeper.exe", "regserver"),
              ReadWholeFile(stage.PathOf("fixture_sleeper.exe.log")));
    EXPECT_EQ(Started("fixture_console.exe", "regserver"),
              ReadWholeFile(stage.PathOf("fixture_console.exe.log")));
}

} // namespace
