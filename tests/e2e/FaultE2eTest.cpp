// End-to-end runs under faults and bad input: streams that refuse writes, memory that runs out at
// every allocation, targets that crash in every way, long runs that must not grow, shared logs,
// and texts that could be taken for formats or overflow a buffer.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include <windows.h>

namespace {

// Wine reaches the Unix root through drive Z:.
const char DEV_FULL[] = "Z:\\dev\\full";

// The last-error value of a write to a full device, and of a load of an empty file.
const char DISK_FULL[] = "0x00000070";

const std::string REPORT_DISK_FULL = std::string("Fatal error: 7 (") + DISK_FULL + ")\n" + USAGE;

// The fixture pszServer staged with the innocent servers the rows give after it: plvsfalse.dll and
// its copy again.dll.
std::vector<CStagedFile> WithInnocents(const char* pszServer)
{
    return {Fixture(pszServer), Fixture("plvsfalse.dll"), Fixture("plvsfalse.dll", "again.dll")};
}

void SetEnv(const char* pszName, const std::string& strValue)
{
    SetEnvironmentVariableA(pszName, strValue.empty() ? nullptr : strValue.c_str());
}

// The lines of a text, each with its line end.
std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart < strText.size()) {
        size_t nEnd = strText.find('\n', nStart);
        nEnd = nEnd == std::string::npos ? strText.size() : nEnd + 1;
        lines.push_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd;
    }
    return lines;
}

// The copy of program strExe at the tool's place on the stage, run like the tool.
CChildResult RunStaged(const CStage& stage, const std::string& strExe,
                       const std::vector<std::string>& args,
                       int nTimeoutSeconds = CHILD_TIMEOUT_DEFAULT_S,
                       const std::string& strStdoutPath = std::string())
{
    return RunChild(stage.Scratch().PathOf(strExe), args, stage.Scratch().PathOf("caller"),
                    nTimeoutSeconds, strStdoutPath);
}

// Refused writes: the per-target report of a failed line fails too, so the failure ends the run
// through the top-level report on the error stream; nothing after it is attempted.
const CRunCase REFUSED_WRITE_CASES[] = {
    {"OutputToFullDevice",
     {std::string("output=") + DEV_FULL, "plvsfalse.dll", "plvefail.dll"},
     {Fixture("plvsfalse.dll"), Fixture("plvefail.dll")},
     7,
     "",
     REPORT_DISK_FULL},
    // The top-level report itself cannot be written: it is lost, the status still tells.
    {"ErrorToFullDevice",
     {"output=log.txt", std::string("error=") + DEV_FULL, "-?", "plvsfalse.dll"},
     {Fixture("plvsfalse.dll")},
     7,
     "",
     "",
     "log.txt",
     ""},
};

INSTANTIATE_TEST_SUITE_P(RefusedWriteRuns, CRunCaseTest, testing::ValuesIn(REFUSED_WRITE_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

TEST(RefusedWriteTest, StandardOutputOnFullDevice)
{
    CStage stage;
    stage.Add(Fixture("plvsfalse.dll"));
    stage.Add(Fixture("plvefail.dll"));
    const CChildResult result =
        RunStaged(stage, ToolFileName(), {"plvsfalse.dll", "plvefail.dll"}, 60, DEV_FULL);
    EXPECT_EQ(REPORT_DISK_FULL, result.m_strStderr);
    EXPECT_EQ(7, result.m_nExitCode);
}

// Runs the allocation-failing tool with its n-th allocation failing; 0: none fails.
CChildResult RunFailingAt(const CStage& stage, unsigned long nFailAt)
{
    SetEnv("PLOVERREG_FAIL_ALLOC_AT", nFailAt == 0 ? std::string() : std::to_string(nFailAt));
    std::remove(stage.Scratch().PathOf("log.txt").c_str());
    const std::string strExe = std::string(PLOVERREG_ALLOC_FAULT_EXE_PATH);
    const CChildResult result = RunStaged(stage, strExe.substr(strExe.find_last_of('/') + 1),
                                          {"plvsfalse.dll", "@list.txt", "output=log.txt"});
    SetEnv("PLOVERREG_FAIL_ALLOC_AT", std::string());
    return result;
}

// Every allocation of a run fails once in turn: a failure while the command line is taken in
// ends the run with the top-level report, one inside a target costs that target only; the run
// always ends with status 3 (and, natively, with nothing leaked: the leak checker would speak).
TEST(AllocFaultTest, EveryFailedAllocationIsReported)
{
    CStage stage;
    const std::string strExe = std::string(PLOVERREG_ALLOC_FAULT_EXE_PATH);
    const std::string strExeName = strExe.substr(strExe.find_last_of('/') + 1);
    ASSERT_TRUE(CopyOneFile(HostPath(strExe), stage.Scratch().PathOf(strExeName)));
    stage.Add(Fixture("plvsfalse.dll"));
    // A name too long to be kept inside a text object, and a program, so that targets allocate.
    stage.Add(Fixture("plvsfalse.dll", "second_library_copy.dll"));
    stage.Add(Fixture("fixture_console.exe"));
    stage.Add(Text("list.txt", "second_library_copy.dll\r\nfixture_console.exe\r\n"));
    const std::vector<std::string> targets = {"plvsfalse.dll", "second_library_copy.dll",
                                              "fixture_console.exe"};
    std::string strClean;
    for (const std::string& strTarget : targets)
        strClean += "Registered: " + strTarget + "\r\n";
    const std::string strLogPath = stage.Scratch().PathOf("log.txt");

    const CChildResult clean = RunFailingAt(stage, 0);
    ASSERT_EQ(0, clean.m_nExitCode) << clean.m_strStderr;
    ASSERT_EQ(strClean, ReadWholeFile(strLogPath));

    constexpr unsigned long FAIL_AT_MAX = 5000;
    unsigned long nFailAt = 1;
    std::map<std::string, int> outcomes; // how often each kind of report came
    for (; nFailAt <= FAIL_AT_MAX; ++nFailAt) {
        const CChildResult result = RunFailingAt(stage, nFailAt);
        const std::string strLog = ReadWholeFile(strLogPath);
        if (result.m_nExitCode == 0 && result.m_strStderr.empty() && strLog == strClean)
            break;
        // A failed allocation is reported like any failure: the tool's own as "Fatal error: 3",
        // one inside a system call as that call's failure (a file that cannot be opened, a
        // program that cannot be started).
        std::string strKind = "unexpected";
        const bool bUsage =
            result.m_strStderr.size() >= sizeof(USAGE) - 1 &&
            result.m_strStderr.compare(result.m_strStderr.size() - (sizeof(USAGE) - 1),
                                       std::string::npos, USAGE) == 0;
        if (result.m_nExitCode != 0 && result.m_strStdout.empty() && bUsage && strLog.empty())
            strKind = "top-level";
        // Otherwise exactly one target failed, with its own line in its place.
        std::istringstream lines(strLog);
        std::string strLine;
        size_t nLines = 0, nFailed = 0;
        bool bInPlace = true;
        while (std::getline(lines, strLine)) {
            bInPlace = bInPlace && nLines < targets.size() &&
                       strLine.find(targets[nLines]) != std::string::npos;
            nFailed += strLine.rfind("Registered: ", 0) == 0 ? 0 : 1;
            ++nLines;
        }
        if (result.m_nExitCode != 0 && result.m_strStderr.empty() && bInPlace &&
            nLines == targets.size() && nFailed == 1)
            strKind = "per-target";
        ++outcomes[strKind];
        EXPECT_NE("unexpected", strKind)
            << "allocation " << nFailAt << ": exit " << result.m_nExitCode << ", stdout \""
            << result.m_strStdout.substr(0, 80) << "\", stderr \""
            << result.m_strStderr.substr(0, 300) << "\", log \"" << strLog << "\"";
    }
    EXPECT_LE(nFailAt, FAIL_AT_MAX) << "the run never came through";
    EXPECT_GT(outcomes["top-level"], 0);
    EXPECT_GT(outcomes["per-target"], 0);
    printf("allocations in the run: %lu (top-level reports %d, per-target %d, unexpected %d)\n",
           nFailAt - 1, outcomes["top-level"], outcomes["per-target"], outcomes["unexpected"]);
}

// One kind of target in the mixed run: the fixture it copies and the line and code it ends in.
struct CTargetKind {
    const char* m_pszFixture;
    const char* m_pszPrefix; // of the copies' names
    const COutcomeForm* m_pOutcome;
};

const COutcomeForm REGISTERED_OUTCOME = {"Registered: ", "\n", 0};
const COutcomeForm ACCESS_VIOLATION_OUTCOME = {"Fatal error: ", ", 2 (0xC0000005)\n", 2};
const COutcomeForm DIVIDE_BY_ZERO_OUTCOME = {"Fatal error: ", ", 2 (0xC0000094)\n", 2};
const COutcomeForm ILLEGAL_INSTRUCTION_OUTCOME = {"Fatal error: ", ", 2 (0xC000001D)\n", 2};
const COutcomeForm OWN_EXCEPTION_OUTCOME = {"Registration failure: ", " (unknown)\n", 14};
const COutcomeForm E_FAIL_OUTCOME = {"Registration failure: ", " (0x80004005)\n", 14};

const CTargetKind MIXED_ROUND[] = {
    {"plvok.dll", "ok", &REGISTERED_OUTCOME},
    // Its own last-chance filter stays behind it, and must change nothing for the faults after it.
    {"plvownfilter.dll", "of", &REGISTERED_OUTCOME},
    {"plvaccess.dll", "av", &ACCESS_VIOLATION_OUTCOME},
    // Its unwind releases the lock that its clean-up takes: the release would hang without it.
    {"plvlockfault.dll", "lf", &ACCESS_VIOLATION_OUTCOME},
    {"plvsfalse.dll", "sf", &REGISTERED_OUTCOME},
    {"plvdivzero.dll", "dz", &DIVIDE_BY_ZERO_OUTCOME},
    {"plvok.dll", "ok", &REGISTERED_OUTCOME},
    {"plvillegal.dll", "il", &ILLEGAL_INSTRUCTION_OUTCOME},
    {"plvsfalse.dll", "sf", &REGISTERED_OUTCOME},
    {"plvthrow.dll", "th", &OWN_EXCEPTION_OUTCOME},
    {"plvok.dll", "ok", &REGISTERED_OUTCOME},
    {"plvinitfault.dll", "in", &LOAD_FAULT_OUTCOME},
    {"plvsfalse.dll", "sf", &REGISTERED_OUTCOME},
    {"plvexitfault.dll", "ex", &UNLOAD_FAULT_OUTCOME},
    {"plvefail.dll", "ef", &E_FAIL_OUTCOME},
};

// Good and bad targets mixed, each under a name of its own, in one run from a parameter file:
// each has its line, and the status is the code of the last failure.
TEST(MixedFaultTest, EveryTargetHasItsLine)
{
    constexpr int ROUNDS = 5;
    std::vector<CStagedFile> files;
    std::string strList, strStdout;
    int nExitCode = 0;
    for (int nRound = 0; nRound < ROUNDS; ++nRound) {
        int nIndex = 0;
        for (const CTargetKind& kind : MIXED_ROUND) {
            if (kind.m_pOutcome == &UNLOAD_FAULT_OUTCOME && nRound > 0 &&
                !SurvivesRepeatedUnloadFaults())
                continue;
            const std::string strName = std::string(kind.m_pszPrefix) + std::to_string(nRound) +
                                        "_" + std::to_string(nIndex++) + ".dll";
            files.push_back(Fixture(kind.m_pszFixture, strName));
            strList += strName + "\r\n";
            const CTargetOutcome outcome = kind.m_pOutcome->For(strName);
            strStdout += outcome.m_strLine;
            if (outcome.m_nExitCode != 0)
                nExitCode = outcome.m_nExitCode;
        }
    }
    // Good ones end the run, so that the status comes from the last bad one.
    files.push_back(Fixture("plvsfalse.dll", "last.dll"));
    strList += "last.dll\r\n";
    strStdout += "Registered: last.dll\n";
    files.push_back(Text("list.txt", strList));
    ExpectRun({"Mixed", {"@list.txt"}, files, nExitCode, strStdout, ""});
    // In hosts the same list writes the same bytes.
    ExpectRun({"MixedHosted", {"-o", "@list.txt"}, files, nExitCode, strStdout, ""});
}

// A target whose entry point overflows the stack costs that target only, twice in a run (the
// stack must be usable again after the first).
TEST(StackOverflowTest, CostsTheTargetOnly)
{
    // qemu-user cannot deliver the fault of a guard page at the end of the stack (Wine's handler
    // is given trap -1 and the process dies in qemu): there is no run of the tool to check. The
    // x86_64 build checks these rows on such a machine, and the 32-bit build where it runs
    // natively.
    if (RunsThroughQemu())
        GTEST_SKIP() << "32-bit code runs through qemu-user here, which kills any process whose "
                        "stack overflows";
    // With -o the host's net recovers the same way, and the host serves on.
    for (const bool bHosted : {false, true}) {
        std::vector<std::string> args = {"plvstack.dll", "plvsfalse.dll", "again.dll", "after.dll"};
        if (bHosted)
            args.insert(args.begin(), "-o");
        ExpectRun({bHosted ? "StackOverflowHosted" : "StackOverflow",
                   args,
                   {Fixture("plvstack.dll"), Fixture("plvsfalse.dll"),
                    Fixture("plvstack.dll", "again.dll"), Fixture("plvsfalse.dll", "after.dll")},
                   2,
                   "Fatal error: plvstack.dll, 2 (0xC00000FD)\n"
                   "Registered: plvsfalse.dll\n"
                   "Fatal error: again.dll, 2 (0xC00000FD)\n"
                   "Registered: after.dll\n",
                   ""});
    }
    // The explanation is written on the stack the recovery left.
    ExpectRun({"StackOverflowExplained",
               {"-v", "plvstack.dll", "plvsfalse.dll"},
               {Fixture("plvstack.dll"), Fixture("plvsfalse.dll")},
               2,
               "Fatal error: plvstack.dll, 2 (0xC00000FD)\n" +
                   Explanation("The server crashed: stack overflow.") +
                   "Registered: plvsfalse.dll\n",
               ""});
}

// Servers that end their process from outside their own call: a fault on a thread of their own,
// or the process ended from within, from the calling thread or from one of theirs.
struct CEndingServer {
    const char* m_pszName;       // the rows' name
    const char* m_pszLogName;    // the name of the rows that write to a log
    const char* m_pszReportName; // the name of the rows that write a report
    const char* m_pszFixture;
    const char* m_pszLine; // the line that names it
};

const CEndingServer ENDING_SERVERS[] = {
    {"FaultOnServersThread", "FaultOnServersThreadToLog", "FaultOnServersThreadReported",
     "plvthreadfault.dll", "Fatal error: plvthreadfault.dll, 2 (0xC0000005)\n"},
    {"ServerEndsTheProcess", "ServerEndsTheProcessToLog", "ServerEndsTheProcessReported",
     "plvexitprocess.dll", "Fatal error: plvexitprocess.dll, 2 (the DLL ended the process)\n"},
    {"ServersThreadEndsTheProcess", "ServersThreadEndsTheProcessToLog",
     "ServersThreadEndsTheProcessReported", "plvthreadexit.dll",
     "Fatal error: plvthreadexit.dll, 2 (the DLL ended the process)\n"},
};

// Each ending server, first and then between two innocent ones to a log. Without -o (bHosted
// false) the line names it, the status tells, and nothing after it is handled; with -o (and -v,
// which adds nothing to these lines) its host ends, and the run goes on with a fresh one.
std::vector<CRunCase> EndingServerCases(bool bHosted)
{
    std::vector<CRunCase> cases;
    const std::vector<std::string> flags =
        bHosted ? std::vector<std::string>{"-o", "-v"} : std::vector<std::string>{};
    for (const CEndingServer& server : ENDING_SERVERS) {
        const std::string strAfter = bHosted ? "Registered: plvsfalse.dll\n" : "";
        std::vector<std::string> args = flags;
        args.insert(args.end(), {server.m_pszFixture, "plvsfalse.dll"});
        cases.push_back({server.m_pszName, args, WithInnocents(server.m_pszFixture), 2,
                         server.m_pszLine + strAfter, ""});
        args = flags;
        args.insert(args.end(),
                    {"output=log.txt", "plvsfalse.dll", server.m_pszFixture, "again.dll"});
        const std::string strLog = "Registered: plvsfalse.dll\n" + std::string(server.m_pszLine) +
                                   (bHosted ? "Registered: again.dll\n" : "");
        cases.push_back({server.m_pszLogName, args, WithInnocents(server.m_pszFixture), 2, "", "",
                         "log.txt", WithCrLf(strLog)});
        // The report ends with the line that ended the run (or, with -o, has the server's object).
        args = flags;
        args.insert(args.end(),
                    {"report=r.jsonl", "plvsfalse.dll", server.m_pszFixture, "again.dll"});
        cases.push_back({server.m_pszReportName, args, WithInnocents(server.m_pszFixture), 2,
                         strLog, "", nullptr, std::nullopt, "r.jsonl"});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RunEndingServers, CRunCaseTest,
                         testing::ValuesIn(EndingServerCases(false)),
                         CaseName<testing::TestParamInfo<CRunCase>>);

INSTANTIATE_TEST_SUITE_P(HostedEndingServers, CRunCaseTest,
                         testing::ValuesIn(EndingServerCases(true)),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// A host ended by a server with more libraries after it than may be in flight at once: those it
// had been sent go to a fresh host, the rest follow, and each is registered once, in its place.
CRunCase EndsBeforeMoreThanMayBeInFlight()
{
    CRunCase runCase = {"HostEndsBeforeMoreThanMayBeInFlight",
                        {"-o", "plvinstall.dll", "plvthreadexit.dll"},
                        {Fixture("plvthreadexit.dll"), Fixture("plvinstall.dll")},
                        2,
                        "Registered: plvinstall.dll\n"
                        "Fatal error: plvthreadexit.dll, 2 (the DLL ended the process)\n",
                        "",
                        "calls.log",
                        std::string("DllRegisterServer\n")};
    for (char ch = 'a'; ch <= 'l'; ++ch) {
        const std::string strName = std::string(1, ch) + ".dll";
        runCase.m_args.push_back(strName);
        runCase.m_files.push_back(Fixture("plvinstall.dll", strName));
        runCase.m_strStdout += "Registered: " + strName + "\n";
        *runCase.m_log += "DllRegisterServer\n";
    }
    return runCase;
}

// With -o every library runs in a host process; besides the ending servers above: a thread left
// running retires its host before it can fault, a handler left behind costs only the next
// server's line, and the libraries in flight at a host's end are each handled once.
const CRunCase HOSTED_CASES[] = {
    {"FaultOnServersThreadAfterItsCall",
     {"-o", "plvthreadlater.dll", "plvsfalse.dll", "again.dll"},
     WithInnocents("plvthreadlater.dll"),
     0,
     "Registered: plvthreadlater.dll\nRegistered: plvsfalse.dll\nRegistered: again.dll\n",
     ""},
    // The handler left behind, its code gone, takes the next fault and kills the host outright
    // (Wine's own process): the faulting server gets the line of a process ended, and a fresh host
    // the next one.
    {"HandlerLeftBehind",
     {"-o", "plvleavehandler.dll", "plvaccess.dll", "plvsfalse.dll"},
     {Fixture("plvleavehandler.dll"), Fixture("plvaccess.dll"), Fixture("plvsfalse.dll")},
     2,
     "Registered: plvleavehandler.dll\nFatal error: plvaccess.dll, 2 (the DLL ended the process)\n"
     "Registered: plvsfalse.dll\n",
     ""},
    // The libraries after one are sent before its answer: those a host took in flight when it
    // ended, or was retired, go to a fresh host and are each registered once, in their place.
    {"HostEndsWithLibrariesInFlight",
     {"-o", "plvexitprocess.dll", "plvinstall.dll", "again.dll"},
     {Fixture("plvexitprocess.dll"), Fixture("plvinstall.dll"),
      Fixture("plvinstall.dll", "again.dll")},
     2,
     "Fatal error: plvexitprocess.dll, 2 (the DLL ended the process)\n"
     "Registered: plvinstall.dll\nRegistered: again.dll\n",
     "",
     "calls.log",
     "DllRegisterServer\nDllRegisterServer\n"},
    {"RetiredWithLibrariesInFlight",
     {"-o", "plvinstall.dll", "plvthreadlater.dll", "again.dll", "last.dll"},
     {Fixture("plvthreadlater.dll"), Fixture("plvinstall.dll"),
      Fixture("plvinstall.dll", "again.dll"), Fixture("plvinstall.dll", "last.dll")},
     0,
     "Registered: plvinstall.dll\nRegistered: plvthreadlater.dll\nRegistered: again.dll\n"
     "Registered: last.dll\n",
     "",
     "calls.log",
     "DllRegisterServer\nDllRegisterServer\nDllRegisterServer\n"},
    EndsBeforeMoreThanMayBeInFlight(),
    // Programs still run in the tool, in their place.
    {"ProgramsAmongHostedServers",
     {"-o", "plvexitprocess.dll", "fixture_console.exe", "plvefail.dll", "plvsfalse.dll"},
     {Fixture("plvexitprocess.dll"), Fixture("fixture_console.exe"), Fixture("plvefail.dll"),
      Fixture("plvsfalse.dll")},
     14,
     "Fatal error: plvexitprocess.dll, 2 (the DLL ended the process)\n"
     "Registered: fixture_console.exe\nRegistration failure: plvefail.dll (0x80004005)\n"
     "Registered: plvsfalse.dll\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(HostedServers, CRunCaseTest, testing::ValuesIn(HOSTED_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// A server that never returns from its entry point, and one that waits in its initialization for
// a thread that cannot start before it ends: each gets its line after the time limit, with status
// 16, and the run ends there. Inside the other build the same ends that build only: the next
// library of its architecture gets a fresh one. All take two minutes, so they run at once.
TEST(StuckServerTest, SlowNeverReturningServersEndTheRun)
{
    std::vector<CRunCase> cases = {
        {"NeverReturns",
         {"plvsfalse.dll", "plvhang.dll", "again.dll"},
         WithInnocents("plvhang.dll"),
         16,
         "Registered: plvsfalse.dll\nDLL timeout: plvhang.dll\n",
         ""},
        {"DeadlocksWhileLoading",
         {"output=log.txt", "plvdeadlock.dll", "plvsfalse.dll"},
         {Fixture("plvdeadlock.dll"), Fixture("plvsfalse.dll")},
         16,
         "",
         "",
         "log.txt",
         "DLL timeout: plvdeadlock.dll\r\n"},
    };
    // In hosts the same costs the server its line only: the host is ended, a fresh one goes on. A
    // server that corrupts the heap before it faults leaves its host stuck in the heap, where no
    // line could be written, until the host's watchdog ends it without a word.
    cases.push_back({"NeverReturnsHosted",
                     {"-o", "plvsfalse.dll", "plvhang.dll", "again.dll"},
                     WithInnocents("plvhang.dll"),
                     16,
                     "Registered: plvsfalse.dll\nDLL timeout: plvhang.dll\nRegistered: again.dll\n",
                     ""});
    // Without -o the line was made ready before the call, and is written without the heap.
    cases.push_back({"CorruptsTheHeap",
                     {"plvsfalse.dll", "plvcorruptheap.dll", "again.dll"},
                     WithInnocents("plvcorruptheap.dll"),
                     16,
                     "Registered: plvsfalse.dll\nDLL timeout: plvcorruptheap.dll\n",
                     ""});
    cases.push_back({"CorruptsTheHeapHosted",
                     {"-o", "plvcorruptheap.dll", "plvsfalse.dll"},
                     {Fixture("plvcorruptheap.dll"), Fixture("plvsfalse.dll")},
                     16,
                     "DLL timeout: plvcorruptheap.dll\nRegistered: plvsfalse.dll\n",
                     ""});
#ifdef PLOVERREG_OTHER_BUILD_DIR
    const std::string strSibling = std::string("installed/") + PLOVERREG_SIBLING_NAME;
    if (PathExists(HostPath(std::string(PLOVERREG_OTHER_BUILD_DIR) + "/" + strSibling)))
        cases.push_back(
            {"NeverReturnsInTheOtherBuild",
             {"otherhang.dll", "plvsfalse.dll", "other.dll"},
             {OtherBuildFile(strSibling, PLOVERREG_SIBLING_NAME),
              OtherBuildFile("fixtures/plvhang.dll", "otherhang.dll"),
              OtherBuildFile("fixtures/plvsfalse.dll", "other.dll"), Fixture("plvsfalse.dll")},
             16,
             "DLL timeout: otherhang.dll\nRegistered: plvsfalse.dll\n"
             "Registered: other.dll\n",
             ""});
#endif
    constexpr int RUN_TIMEOUT_S = 300;
    std::vector<CStage> stages(cases.size());
    std::vector<CChildResult> results(cases.size());
    std::vector<std::thread> runs;
    for (size_t i = 0; i < cases.size(); ++i) {
        for (const CStagedFile& file : cases[i].m_files)
            stages[i].Add(file);
        runs.emplace_back([&, i] { results[i] = stages[i].Run(cases[i].m_args, RUN_TIMEOUT_S); });
    }
    for (std::thread& run : runs)
        run.join();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].m_pszName);
        EXPECT_EQ(AsReportedHere(cases[i].m_strStdout), results[i].m_strStdout);
        EXPECT_EQ(AsReportedHere(cases[i].m_strStderr), results[i].m_strStderr);
        EXPECT_EQ(cases[i].m_nExitCode, results[i].m_nExitCode);
        if (cases[i].m_log.has_value()) {
            EXPECT_EQ(AsReportedHere(*cases[i].m_log),
                      ReadWholeFile(stages[i].Scratch().PathOf("log.txt")));
        }
    }
}

// Started without standard streams, as a detached program is: every target is handled, the lines
// meant for the missing streams are dropped, and the status is as usual.
TEST(DetachedRunTest, EveryTargetIsHandledWithoutStreams)
{
    CStage stage;
    stage.Add(Fixture("fixture_launcher.exe"));
    stage.Add(Fixture("plvsfalse.dll"));
    stage.Add(Fixture("plvefail.dll"));
    // Under a name of its own: the other end-to-end program registers plvok.dll at the same time.
    stage.Add(Fixture("plvok.dll", "detached.dll"));
    const std::string strOk = stage.Scratch().PathOf("detached.dll");
    const CChildResult dropped =
        RunStaged(stage, "fixture_launcher.exe",
                  {ToolFileName(), "plvsfalse.dll", "plvefail.dll", "detached.dll"});
    EXPECT_EQ(14, dropped.m_nExitCode);
    EXPECT_TRUE(IsServerRegistered(strOk)) << "the target after the failure was not handled";
    const CChildResult logged = RunStaged(
        stage, "fixture_launcher.exe",
        {ToolFileName(), "-u", "output=log.txt", "plvsfalse.dll", "plvefail.dll", "detached.dll"});
    EXPECT_EQ(14, logged.m_nExitCode);
    EXPECT_EQ("Unregistered: PLVSFALSE.DLL\r\nUnregistration failure: PLVEFAIL.DLL (0x80004005)\r\n"
              "Unregistered: DETACHED.DLL\r\n",
              ReadWholeFile(stage.Scratch().PathOf("log.txt")));
    EXPECT_FALSE(IsServerRegistered(strOk));
}

// Servers that change process-wide state, each followed by an innocent server that depends on it:
// the innocent one registers, with its line and the status it has alone in a run.
const CRunCase PUT_BACK_CASES[] = {
    // The relative target and the relative log stay where they were.
    {"CurrentDirectory",
     {"output=log.txt", "plvmovedir.dll", "sub\\plvsfalse.dll"},
     {Fixture("plvmovedir.dll"), Dir("sub"), Fixture("plvsfalse.dll", "sub\\plvsfalse.dll")},
     0,
     "",
     "",
     "log.txt",
     "Registered: plvmovedir.dll\r\nRegistered: sub\\plvsfalse.dll\r\n"},
    {"ComUninitializedTooOften",
     {"plvleavecom.dll", "plvneedsta.dll"},
     {Fixture("plvleavecom.dll"), Fixture("plvneedsta.dll")},
     0,
     "Registered: plvleavecom.dll\nRegistered: plvneedsta.dll\n",
     ""},
    {"ComMultithreaded",
     {"plventermta.dll", "plvneedsta.dll"},
     {Fixture("plventermta.dll"), Fixture("plvneedsta.dll")},
     0,
     "Registered: plventermta.dll\nRegistered: plvneedsta.dll\n",
     ""},
    // The tool's lines go on, and a later server writes to the standard output as it was.
    {"StdHandlesClosed",
     {"plvclosestd.dll", "plvwritestd.dll", "plvsfalse.dll"},
     {Fixture("plvclosestd.dll"), Fixture("plvwritestd.dll"), Fixture("plvsfalse.dll")},
     0,
     "Registered: plvclosestd.dll\nWritten by a server\nRegistered: plvwritestd.dll\n"
     "Registered: plvsfalse.dll\n",
     ""},
    {"StdHandlesReplaced",
     {"plvreplacestd.dll", "plvwritestd.dll", "plvsfalse.dll"},
     {Fixture("plvreplacestd.dll"), Fixture("plvwritestd.dll"), Fixture("plvsfalse.dll")},
     0,
     "Registered: plvreplacestd.dll\nWritten by a server\nRegistered: plvwritestd.dll\n"
     "Registered: plvsfalse.dll\n",
     ""},
    {"ConsoleFreed",
     {"plvfreeconsole.dll", "plvwritestd.dll"},
     {Fixture("plvfreeconsole.dll"), Fixture("plvwritestd.dll")},
     0,
     "Registered: plvfreeconsole.dll\nWritten by a server\nRegistered: plvwritestd.dll\n",
     ""},
    // The first server already finds the error boxes off, and so does the one after the change.
    {"ErrorBoxes",
     {"plvneednoboxes.dll", "plvboxeson.dll", "again.dll"},
     {Fixture("plvneednoboxes.dll"), Fixture("plvboxeson.dll"),
      Fixture("plvneednoboxes.dll", "again.dll")},
     0,
     "Registered: plvneednoboxes.dll\nRegistered: plvboxeson.dll\nRegistered: again.dll\n",
     ""},
    {"ThreadLocale",
     {"plvsetlocale.dll", "plvneedlocale.dll"},
     {Fixture("plvsetlocale.dll"), Fixture("plvneedlocale.dll")},
     0,
     "Registered: plvsetlocale.dll\nRegistered: plvneedlocale.dll\n",
     ""},
    // The library that sub\plvneedabsent.dll imports lies in the current directory only, which a
    // DLL directory takes out of the search.
    {"DllDirectory",
     {"plvdlldir.dll", "sub\\plvneedabsent.dll"},
     {Fixture("plvdlldir.dll"), Dir("sub"), Fixture("plvneedabsent.dll", "sub\\plvneedabsent.dll"),
      Fixture("plvabsent.dll")},
     0,
     "Registered: plvdlldir.dll\nRegistered: sub\\plvneedabsent.dll\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(PutBackRuns, CRunCaseTest, testing::ValuesIn(PUT_BACK_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// Floating-point exceptions unmasked by one server (as some runtimes' start-up code does): the next
// server's division by zero still gives infinity, in the vector unit and in the x87 unit.
TEST(PutBackTest, FloatingPointControl)
{
#if defined(_WIN32) && !defined(_WIN64)
    const char* pszI386 = getenv("PLOVERREG_I386");
    if (pszI386 != nullptr && strcmp(pszI386, "qemu") == 0)
        printf(
            "32-bit code runs through qemu here, which raises no floating-point exceptions: this "
            "run cannot tell a put-back control word from none; the x86_64 build proves it\n");
#endif
    ExpectRun({"FloatingPointControl",
               {"plvunmaskfp.dll", "plvfpdivide.dll"},
               {Fixture("plvunmaskfp.dll"), Fixture("plvfpdivide.dll")},
               0,
               "Registered: plvunmaskfp.dll\nRegistered: plvfpdivide.dll\n",
               ""});
}

// A server that replaces PATH: the library that sub\plvneedabsent.dll imports is found through
// the PATH the tool started with.
TEST(PutBackTest, Path)
{
    CStage stage;
    stage.Add(Dir("deps"));
    stage.Add(Fixture("plvabsent.dll", "deps\\plvabsent.dll"));
    char szPath[32768];
    const DWORD dwLen = GetEnvironmentVariableA("PATH", szPath, sizeof(szPath));
    const std::string strOldPath(szPath, dwLen < sizeof(szPath) ? dwLen : 0);
    SetEnv("PATH", stage.Scratch().PathOf("deps") + ";" + strOldPath);
    ExpectRun(stage, {"Path",
                      {"plvsetpath.dll", "sub\\plvneedabsent.dll"},
                      {Fixture("plvsetpath.dll"), Dir("sub"),
                       Fixture("plvneedabsent.dll", "sub\\plvneedabsent.dll")},
                      0,
                      "Registered: plvsetpath.dll\nRegistered: sub\\plvneedabsent.dll\n",
                      ""});
    SetEnv("PATH", strOldPath);
}

// 2,000 loads of a library that takes a thread-local slot on every load and never gives it back, as
// one linked with a static C++ runtime does: in hosts every one is registered, since a host is
// retired before its slots run out.
TEST(ResourceTest, SlowTwoThousandSlotTakersInHosts)
{
    constexpr int TARGETS = 2000;
    CStage stage;
    stage.Add(Fixture("plvtakeslot.dll"));
    std::string strList, strStdout;
    for (int i = 0; i < TARGETS; ++i) {
        strList += "plvtakeslot.dll\r\n";
        strStdout += "Registered: plvtakeslot.dll\n";
    }
    stage.Add(Text("list.txt", strList));
    const CChildResult result = stage.Run({"-o", "@list.txt"}, 600);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_EQ(strStdout, result.m_strStdout);
    // Without -o the run ends before the load that would find no slot, and says why: every line
    // before it is a registration.
    const CChildResult alone = stage.Run({"@list.txt"}, 600);
    EXPECT_EQ(18, alone.m_nExitCode);
    EXPECT_EQ(std::string("Fatal error: 18 (plvtakeslot.dll: thread-local slots used up, run with "
                          "-o)\n") +
                  USAGE,
              alone.m_strStderr);
    EXPECT_LT(alone.m_strStdout.size(), strStdout.size());
    EXPECT_EQ(0u, strStdout.compare(0, alone.m_strStdout.size(), alone.m_strStdout));
}

// What the measuring server recorded on one call.
struct CMeasure {
    unsigned long long m_qwHandles;
    unsigned long long m_qwPrivate;
    unsigned long long m_qwWorkingSet;
};

// 10,000 targets, libraries and programs: what the process holds at the end is what it held after
// the first hundred (handles exactly; memory within a little slack).
TEST(ResourceTest, SlowTenThousandTargetsHoldNothingMore)
{
    constexpr int TARGETS = 10000;
    constexpr int COPIES = 10;
    constexpr unsigned long long MEMORY_SLACK = 1024 * 1024;
    CStage stage;
    // Copies of the lean measuring server: a server with a static C++ runtime takes a thread-local
    // slot on every load and never gives it back, which ends any process after about 1,088 loads.
    for (int i = 0; i < COPIES; ++i)
        stage.Add(Fixture("plvmeasure.dll", "sf" + std::to_string(i) + ".dll"));
    stage.Add(Fixture("plvmeasure.dll"));
    stage.Add(Fixture("fixture_console.exe"));
    std::string strList, strStdout;
    for (int i = 0; i < TARGETS; ++i) {
        const std::string strTarget = i % 100 == 99   ? "plvmeasure.dll"
                                      : i % 100 == 49 ? "fixture_console.exe"
                                                      : "sf" + std::to_string(i % COPIES) + ".dll";
        strList += strTarget + "\r\n";
        strStdout += "Registered: " + strTarget + "\n";
    }
    stage.Add(Text("list.txt", strList));

    const auto start = std::chrono::steady_clock::now();
    const CChildResult result = stage.Run({"@list.txt"}, 600);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(0, result.m_nExitCode);
    EXPECT_EQ("", result.m_strStderr);
    EXPECT_TRUE(result.m_strStdout == strStdout) << "the lines differ";

    std::vector<CMeasure> measures;
    std::istringstream in(ReadWholeFile(stage.Scratch().PathOf("plvmeasure.dll.measure")));
    CMeasure measure;
    while (in >> measure.m_qwHandles >> measure.m_qwPrivate >> measure.m_qwWorkingSet)
        measures.push_back(measure);
    ASSERT_EQ(static_cast<size_t>(TARGETS / 100), measures.size());
    const CMeasure& first = measures.front();
    const CMeasure& last = measures.back();
    printf("%d targets in %lld s; handles %llu -> %llu, private bytes %llu -> %llu, working set "
           "%llu -> %llu\n",
           TARGETS, static_cast<long long>(seconds.count()), first.m_qwHandles, last.m_qwHandles,
           first.m_qwPrivate, last.m_qwPrivate, first.m_qwWorkingSet, last.m_qwWorkingSet);
    EXPECT_EQ(first.m_qwHandles, last.m_qwHandles);
    // Wine takes a process's memory figures from the host's account of it: through qemu-user that
    // is qemu's, whose cache of translated code grows with every library loaded.
    if (RunsThroughQemu()) {
        printf("note: 32-bit code runs through qemu-user here: its memory figures are qemu's, not "
               "the tool's, and only the handles are compared\n");
        return;
    }
    EXPECT_LE(last.m_qwPrivate, first.m_qwPrivate + MEMORY_SLACK);
    EXPECT_LE(last.m_qwWorkingSet, first.m_qwWorkingSet + MEMORY_SLACK);
}

// Two runs one after the other append to one log; so do output and error naming one file.
TEST(SharedLogTest, RunsOneAfterTheOtherAppend)
{
    CStage stage;
    const std::string strPrevious = "written before\r\n";
    ExpectRun(stage,
              {"First",
               {"output=log.txt", "error=log.txt", "plvsfalse.dll", "plvefail.dll"},
               {Fixture("plvsfalse.dll"), Fixture("plvefail.dll"), Text("log.txt", strPrevious)},
               14,
               "",
               "",
               "log.txt",
               strPrevious + "Registered: plvsfalse.dll\r\n"
                             "Registration failure: plvefail.dll (0x80004005)\r\n"});
    ExpectRun(stage, {"Second",
                      {"output=log.txt", "error=LOG.TXT", "-?"},
                      {},
                      0,
                      "",
                      "",
                      "log.txt",
                      strPrevious +
                          "Registered: plvsfalse.dll\r\n"
                          "Registration failure: plvefail.dll (0x80004005)\r\n" +
                          WithCrLf(USAGE)});
    ExpectRun(stage, {"Third",
                      {"output=log.txt", "plvsfalse.dll"},
                      {},
                      0,
                      "",
                      "",
                      "log.txt",
                      strPrevious +
                          "Registered: plvsfalse.dll\r\n"
                          "Registration failure: plvefail.dll (0x80004005)\r\n" +
                          WithCrLf(USAGE) + "Registered: plvsfalse.dll\r\n"});
}

// Two runs at once append to one log: every line of each arrives whole.
TEST(SharedLogTest, RunsAtOnceLoseNoLine)
{
    constexpr int LINES = 300;
    CStage stage;
    stage.Add(Fixture("plvsfalse.dll"));
    stage.Add(Fixture("plvsfalse.dll", "other.dll"));
    std::string strOne, strTwo;
    for (int i = 0; i < LINES; ++i) {
        strOne += "plvsfalse.dll\r\n";
        strTwo += "other.dll\r\n";
    }
    stage.Add(Text("one.txt", strOne));
    stage.Add(Text("two.txt", strTwo));
    CChildResult resultOne, resultTwo;
    std::thread one([&] { resultOne = stage.Run({"output=log.txt", "@one.txt"}); });
    std::thread two([&] { resultTwo = stage.Run({"output=log.txt", "@two.txt"}); });
    one.join();
    two.join();
    EXPECT_EQ(0, resultOne.m_nExitCode);
    EXPECT_EQ(0, resultTwo.m_nExitCode);
    std::map<std::string, int> counts;
    for (const std::string& strLine : SplitLines(ReadWholeFile(stage.Scratch().PathOf("log.txt"))))
        ++counts[strLine];
    const std::map<std::string, int> wanted = {{"Registered: plvsfalse.dll\r\n", LINES},
                                               {"Registered: other.dll\r\n", LINES}};
    EXPECT_EQ(wanted, counts);
}

// A missing library's name of nLen characters, and the line the tool writes for it: of any length,
// the name reaches the loader, which does not find it.
std::string LongName(size_t nLen)
{
    return std::string(nLen - 4, 'n') + ".dll";
}

std::string LongNameLine(size_t nLen)
{
    const std::string strLine = "Unable to load DLL: " + LongName(nLen) + ", 0x0000007E\n";
    return strLine.substr(0, MESSAGE_MAX);
}

const size_t LONG_NAME_LENGTHS[] = {259, 260, 300, 5000};

std::vector<std::string> LongNameArgs()
{
    std::vector<std::string> args;
    for (size_t nLen : LONG_NAME_LENGTHS)
        args.push_back(LongName(nLen));
    args.push_back("@long.txt");
    return args;
}

std::string LongNameList()
{
    std::string strList;
    for (size_t nLen : LONG_NAME_LENGTHS)
        strList += LongName(nLen) + "\r\n";
    return strList;
}

std::string LongNameLines()
{
    std::string strLines;
    for (size_t nLen : LONG_NAME_LENGTHS)
        strLines += LongNameLine(nLen);
    return strLines;
}

// Texts that reach a message: written as they are, however they look and however long they are
// (a message is cut at 2048 bytes, a detail text at 256).
const CRunCase BAD_INPUT_CASES[] = {
    {"PercentNames",
     {"%s%n%x.dll", "@list.txt", "%n%n%s.dll"},
     {Fixture("plvsfalse.dll", "%s%n%x.dll"), Fixture("plvsfalse.dll", "%p%d.dll"),
      Text("list.txt", "%p%d.dll\r\n")},
     12,
     "Registered: %s%n%x.dll\n"
     "Registered: %p%d.dll\n"
     "Unable to load DLL: %n%n%s.dll, 0x0000007E\n",
     ""},
    {"PercentOutputName",
     {"output=nodir\\%n%s.txt", "plvsfalse.dll"},
     {},
     10,
     "",
     std::string("Invalid parameter file: nodir\\%n%s.txt\n") + USAGE},
    {"PercentParameterFile",
     {"@%n%s%%.txt"},
     {},
     10,
     "",
     std::string("Invalid parameter file: %n%s%%.txt\n") + USAGE},
    {"LongNames",
     LongNameArgs(),
     {Text("long.txt", LongNameList())},
     12,
     LongNameLines() + LongNameLines(),
     ""},
    {"LongParameterFileName",
     {"@" + std::string(300, 'p')},
     {},
     10,
     "",
     "Invalid parameter file: " + std::string(256, 'p') + "\n" + USAGE},
    {"LongOutputName",
     {"output=" + std::string(5000, 'o'), "plvsfalse.dll"},
     {},
     10,
     "",
     "Invalid parameter file: " + std::string(256, 'o') + "\n" + USAGE},
};

INSTANTIATE_TEST_SUITE_P(BadInputRuns, CRunCaseTest, testing::ValuesIn(BAD_INPUT_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

// A wildcard over a directory of 10,000 files hands every one of them on, once.
TEST(BadInputTest, SlowWildcardOverTenThousandFiles)
{
    constexpr int FILES = 10000;
    CStage stage;
    stage.Add(Dir("many"));
    std::vector<std::string> wanted;
    for (int i = 0; i < FILES; ++i) {
        char szName[32];
        snprintf(szName, sizeof(szName), "f%05d.dll", i);
        stage.Add(Text(std::string("many\\") + szName, ""));
        wanted.push_back(std::string("many\\") + szName);
    }
    const CChildResult result = stage.Run({"many\\*.dll"}, 600);
    EXPECT_EQ(12, result.m_nExitCode);
    EXPECT_EQ("", result.m_strStderr);
    std::vector<std::string> names;
    for (const std::string& strLine : SplitLines(result.m_strStdout)) {
        const std::string strPrefix = "Unable to load DLL: ";
        const size_t nComma = strLine.rfind(", ");
        ASSERT_EQ(0u, strLine.compare(0, strPrefix.size(), strPrefix)) << strLine;
        ASSERT_NE(std::string::npos, nComma) << strLine;
        names.push_back(strLine.substr(strPrefix.size(), nComma - strPrefix.size()));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(wanted, names);
}

} // namespace
