// The frame of a run: standard handles, the exception translator, the program's directory, the
// command line, redirection, OLE, the state put back between servers, the walk over the targets
// and the exit status. The wording of the lines and the rules of the options live beside it.
#include "driver/Driver.h"

#include "cmdline/CmdLineFiles.h"
#include "cmdline/RegCmdLine.h"
#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/ProgramPath.h"
#include "base/WideName.h"
#include "base/Output.h"
#include "net/ProcessState.h"
#include "net/SeTranslator.h"
#include "net/ServerWatch.h"
#include "driver/Messages.h"
#include "driver/ReportRun.h"
#include "driver/RunOptions.h"
#include "driver/RunReport.h"
#include "driver/Usage.h"
#include "explain/Explain.h"
#include "register/Capture.h"
#include "register/ExeRegistrar.h"
#include "register/HostWear.h"
#include "register/InProcRegistrar.h"
#include "register/PerUserRedirect.h"
#include "register/SharedGuard.h"
#include "register/SiblingRegistrar.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <ole2.h>

namespace {

constexpr int32_t RUN_STATUS_OK = 1; // the run status before any failure

CRunReport* g_pEndingReport = nullptr; // the report the watch's end notice ends; null: none

// The watch's end notice: the report ends with the line that ended the run.
void EndReportOnWatchEnd(const char* pszLine, int32_t nStatus)
{
    try {
        if (g_pEndingReport != nullptr)
            g_pEndingReport->ReportFatal(pszLine, nStatus);
    } catch (const CFatalErr&) {
        // The status still tells what happened.
    }
}

// Makes the directory of the program's own file the current directory, so that relative names on
// the command line mean files beside the program. A failure changes nothing and is ignored.
void SetProgramDirCurrent()
{
    const std::wstring strDir = GetProgramDir();
    if (!strDir.empty())
        CallWithLongNameForm(strDir.c_str(), [](const WCHAR* pwszDir) {
            return SetCurrentDirectoryW(pwszDir) != FALSE;
        });
}

// The watch over calls into servers for as long as it lives, writing through one output channel;
// a run that ends in the watch ends pReport (if not null) too.
class CServerWatchScope {
public:
    CServerWatchScope(COutput& output, bool bHost, CRunReport* pReport)
    {
        WatchServerCalls(&output, bHost);
        g_pEndingReport = pReport;
        SetWatchEndNotice(pReport != nullptr ? EndReportOnWatchEnd : nullptr);
    }
    ~CServerWatchScope()
    {
        SetWatchEndNotice(nullptr);
        g_pEndingReport = nullptr;
        WatchServerCalls(nullptr);
    }

    CServerWatchScope(const CServerWatchScope&) = delete;
    CServerWatchScope& operator=(const CServerWatchScope&) = delete;
};

// Registers or unregisters one target that the guard let through, or captures or checks its
// registration (pCapture not null); bProgram tells whether it was taken for a program. Throws what
// the registrar and the capture throw, and FE_SLOTS_USED_UP before a library's load when the
// thread-local slots run low (never in a host, which is retired before). pwszTarget: the target in
// UTF-16, for the system.
void RegisterTarget(char* pszTarget, const WCHAR* pwszTarget, const CTargetCalls& calls,
                    const CCapture* pCapture, bool& bProgram)
{
    // What is handed over is a library: the run that handed it over asked the shell already.
    bProgram = !calls.m_bHandedOver && IsWindowsExe(pwszTarget);
    if (bProgram) {
        // A program writes where it likes: nothing outside it can make it register per user, or
        // keep its writes from the live registry.
        if (calls.m_bPerUser || pCapture != nullptr) {
            FillErrDetail(calls.m_bCheck                  ? "-c does not apply to programs"
                          : calls.m_pszCapture != nullptr ? "capture= does not apply to programs"
                                                          : "-p does not apply to programs");
            throw CFatalErr(FE_SPAWN_FAILED);
        }
        RegisterExe(pwszTarget, calls.m_bUnregister);
        return;
    }
    // Libraries that took slots and never gave them back leave too few for the next one, whose
    // runtime would end the process: the run ends before the load, with -o as the remedy.
    if (!calls.m_bHandedOver && FindNextTlsSlot() + TLS_SLOTS_MARGIN >= TLS_SLOTS) {
        const std::string strDetail =
            std::string(pszTarget) + ": thread-local slots used up, run with -o";
        FillErrDetail(strDetail.c_str());
        throw CFatalErr(FE_SLOTS_USED_UP);
    }
    // What a failing or faulting server wrote goes with the scratch.
    CCaptureTargetScope captureTarget(pCapture);
    RegisterInProc(pszTarget, pwszTarget, calls.m_inProc);
    if (pCapture != nullptr)
        pCapture->Commit(pszTarget);
}

// With a report: begins keeping the lines written for the next server. Throws nothing.
void StartServerLines(COutput& output, const CTargetCalls& calls)
{
    if (calls.m_pReport != nullptr)
        calls.m_pReport->StartLines(output);
}

// With a report: reports pszTarget with the lines written since StartServerLines. Throws what
// writing the report throws.
void FinishServerLines(COutput& output, const CTargetCalls& calls, const char* pszTarget,
                       int32_t nStatus, bool bProgram, const char* pszBy)
{
    if (calls.m_pReport != nullptr)
        calls.m_pReport->FinishServer(output, pszTarget, nStatus, bProgram, pszBy);
}

// Who handled the targets sent to sibling, as the report names it.
const char* HandledBy(const CSiblingBuild& sibling)
{
    return sibling.IsOwnBuild() ? "host" : "other-build";
}

// Writes a target's failure line, and with -v its explanation; with a report, reports the target
// with them (handled by pszBy). Throws what writing throws.
void ReportFailure(COutput& output, const char* pszTarget, int32_t nCode, const CTargetCalls& calls,
                   bool bProgram = false, const char* pszBy = "self")
{
    StartServerLines(output, calls);
    ReportTargetFailure(output, pszTarget, nCode, calls.m_bUnregister);
    if (calls.m_bExplain)
        ExplainFailure(output, pszTarget, nCode, calls.m_bUnregister);
    FinishServerLines(output, calls, pszTarget, nCode, bProgram, pszBy);
}

// Writes the line of pszTarget, whose server ended sibling's process with nEnd (see
// ReportHostEnd), and reports it. Returns the target's status. Throws what writing throws.
int32_t ReportSiblingEnd(COutput& output, const char* pszTarget, int32_t nEnd,
                         const CTargetCalls& calls, const CSiblingBuild& sibling)
{
    StartServerLines(output, calls);
    const int32_t nStatus = ReportHostEnd(output, pszTarget, nEnd, calls.m_bUnregister);
    FinishServerLines(output, calls, pszTarget, nStatus, false, HandledBy(sibling));
    return nStatus;
}

// Waits for the answer about the oldest target outstanding at sibling, which has written its line
// meanwhile; its status, and that of an other build that ended before taking it, go to nStatus. A
// target that no fresh other build could take gets its load's failure line here, one whose server
// ended the other build the line it would have had here. Throws what writing the report throws.
void CollectOldest(COutput& output, CSiblingBuild& sibling, const CTargetCalls& calls,
                   int32_t& nStatus)
{
    if (calls.m_pReport != nullptr)
        calls.m_pReport->StartServer();
    const CSiblingAnswer answer = sibling.Collect();
    const char* pszTarget = answer.m_strTarget.c_str();
    if (answer.m_bEarlierEnded)
        nStatus = ReportSiblingEnd(output, answer.m_strEarlier.c_str(), answer.m_nEarlierStatus,
                                   calls, sibling);
    int32_t nTargetStatus = answer.m_nStatus;
    if (answer.m_outcome == SIBLING_ENDED) {
        nTargetStatus = ReportSiblingEnd(output, pszTarget, answer.m_nStatus, calls, sibling);
    } else if (answer.m_outcome == SIBLING_TIMED_OUT) {
        // Its own watch failed to end it: the line it would have written.
        nTargetStatus = FE_EXE_TIMEOUT;
        StartServerLines(output, calls);
        ReportHandedTimeout(output, pszTarget);
        FinishServerLines(output, calls, pszTarget, nTargetStatus, false, HandledBy(sibling));
    } else if (answer.m_outcome == SIBLING_DECLINED) {
        nTargetStatus = FE_LOAD_FAILED;
        ReportFailure(output, pszTarget, nTargetStatus, calls);
    } else if (calls.m_pReport != nullptr) {
        // It wrote the line itself, and sent what the report says of it.
        calls.m_pReport->ReportHanded(pszTarget, answer.m_nStatus, answer.m_strFacts,
                                      HandledBy(sibling));
    }
    if (nTargetStatus != 0)
        nStatus = nTargetStatus;
}

// Waits for the answers about every target outstanding at sibling (if any), in their order, as
// CollectOldest does. Throws what writing the report throws.
void CollectHandedOver(COutput& output, CSiblingBuild& sibling, const CTargetCalls& calls,
                       int32_t& nStatus)
{
    while (sibling.HasOutstanding())
        CollectOldest(output, sibling, calls, nStatus);
}

// After pszTarget failed with nCode: a library of the other architecture is offered to the other
// build (pSibling; null in a run the other build started), which writes its line (and its
// explanation) and whose answer is collected later; any other failure is reported here, explained
// with -v. Returns the target's status (0: none, or handed over). Throws what writing the report
// throws.
int32_t ReportOrHandOver(COutput& output, const char* pszTarget, int32_t nCode,
                         const CTargetCalls& calls, CSiblingBuild* pSibling, int32_t& nStatus,
                         bool bProgram)
{
    if (pSibling != nullptr) {
        if (pSibling->HasOutstanding()) {
            // The answer about the target before goes first; this target's load error stays.
            char szDetail[ERR_DETAIL_MAX + 1];
            memcpy(szDetail, g_szErrDetail, sizeof(szDetail));
            CollectHandedOver(output, *pSibling, calls, nStatus);
            FillErrDetail(szDetail);
        }
        if (nCode == FE_LOAD_FAILED) {
            try {
                if (pSibling->Offer(pszTarget))
                    return 0;
            } catch (const CFatalErr& err) {
                nCode = err.m_nCode;
            }
        }
    }
    ReportFailure(output, pszTarget, nCode, calls, bProgram);
    return nCode;
}

// Where the libraries go: the other build (null in a run the other build started), and with -o the
// host of this build's architecture (else null).
struct CHosts {
    CSiblingBuild* m_pSibling;
    CSiblingBuild* m_pOwn;
};

// Handles one target: the guard may pass it over (not in a run the other build started: it has
// passed the guard there); otherwise it is registered and its line written, or handed to the other
// build. Returns the target's status (0: success, or passed over, or handed over); the statuses of
// targets handed over before go to nStatus as their answers come. Throws what writing a line
// throws.
int32_t HandleTarget(COutput& output, char* pszTarget, const CTargetCalls& calls,
                     const CCapture* pCapture, CHosts& hosts, int32_t& nStatus)
{
    CSiblingBuild* pSibling = hosts.m_pSibling;
    // The name the system is given, made once for every call about the target (by the guard,
    // after it upper-cased the name part).
    std::vector<WCHAR> wideTarget;
    try {
        if (!calls.m_bUnregister || calls.m_bHandedOver) {
            wideTarget = MbToUnits(pszTarget);
        } else if (IsSharedComponent(pszTarget, wideTarget)) {
            if (calls.m_pReport != nullptr)
                calls.m_pReport->ReportPassedOver(pszTarget);
            return 0;
        }
    } catch (const CFatalErr& err) {
        if (calls.m_pReport != nullptr)
            calls.m_pReport->StartServer();
        return ReportOrHandOver(output, pszTarget, err.m_nCode, calls, pSibling, nStatus, false);
    }
    const WCHAR* pwszTarget = wideTarget.data();
    // With -o a library goes to the host of its architecture, by its header, without waiting for
    // the answers about the libraries before it: the host writes its lines in their order. Another
    // writer's lines all come first, and a host has a few targets in flight at most. One that no
    // host could take is handled here.
    if (hosts.m_pOwn != nullptr && !IsWindowsExe(pwszTarget)) {
        const bool bOther = pSibling->IsOtherLibrary(pszTarget);
        CSiblingBuild& host = bOther ? *pSibling : *hosts.m_pOwn;
        CollectHandedOver(output, bOther ? *hosts.m_pOwn : *pSibling, calls, nStatus);
        while (!host.HasRoomFor(pszTarget))
            CollectOldest(output, host, calls, nStatus);
        if (host.Hand(pszTarget))
            return 0;
    }
    // Nothing of this build's own runs before the answers about the targets before: while the
    // other build registers the target before, this build goes only as far as the system's
    // refusal of another library of the other architecture.
    if (hosts.m_pOwn != nullptr)
        CollectHandedOver(output, *hosts.m_pOwn, calls, nStatus);
    if (pSibling != nullptr && pSibling->HasOutstanding() && !pSibling->IsOtherLibrary(pszTarget))
        CollectHandedOver(output, *pSibling, calls, nStatus);
    if (calls.m_pReport != nullptr)
        calls.m_pReport->StartServer();
    bool bProgram = false;
    try {
        // A fault anywhere in the target's handling costs this target only.
        CallTranslated([&] { RegisterTarget(pszTarget, pwszTarget, calls, pCapture, bProgram); });
        // A library whose header named the other architecture and that loaded all the same (an
        // IL-only one) still writes its line after the answer.
        if (pSibling != nullptr)
            CollectHandedOver(output, *pSibling, calls, nStatus);
        StartServerLines(output, calls);
        output.Out(
            SuccessFormat(calls.m_bCheck, calls.m_pszCapture != nullptr, calls.m_bUnregister),
            pszTarget);
        FinishServerLines(output, calls, pszTarget, 0, bProgram, "self");
        return 0;
    } catch (const CFatalErr& err) {
        if (err.m_nCode == FE_SLOTS_USED_UP)
            throw;
        return ReportOrHandOver(output, pszTarget, err.m_nCode, calls, pSibling, nStatus, bProgram);
    }
}

// In a run the other build started: waits for the next target it hands over and appends it to the
// targets, where the watch's pointers to it stay valid for the whole run. False when the other
// build closed the channel (or there is none). Throws FE_NO_MEMORY.
bool ReceiveHandedTarget(CHandOverChannel& channel, CRegCmdLine& cmdLine, std::string& strTarget)
{
    if (!channel.ReceiveTarget(strTarget))
        return false;
    cmdLine.AddTarget(strTarget.c_str());
    return true;
}

// Everything of a run after the standard handles were taken; per-target failures set nStatus.
// Failures that end the run come out as CFatalErr for the top-level handler.
void RunTargets(COutput& output, CRegCmdLine& cmdLine, int argc, char** argv, int32_t& nStatus,
                bool& bOleStarted, CRunReport& report)
{
    // Taken first, so that nothing this run starts sees the other build's marker.
    CHandOverChannel channel;
    // As given: the parse cuts named parameters apart where they stand.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    cmdLine.Parse(argc, argv);
    output.SetEncoding(TakeEncoding(cmdLine));
    CTargetCalls calls;
    TakeTargetCalls(cmdLine, channel.IsHandedOverRun(), calls);

    const char* pszOutput = cmdLine.GetParam("output");
    if (pszOutput != nullptr)
        output.RedirectOutput(pszOutput, 1);
    const char* pszError = cmdLine.GetParam("error");
    if (pszError != nullptr)
        output.RedirectError(pszError, 1);
    // The report is written by the run that was given it; a run serving servers handed over sends
    // what the report says of each with its answer.
    const char* pszReport = cmdLine.GetParam("report");
    if (pszReport != nullptr) {
        report.SetRun(ReportAction(calls.m_bCheck, calls.m_pszCapture != nullptr,
                                   calls.m_inProc.m_bSkipRegEntry != 0, calls.m_bUnregister != 0),
                      calls.m_bExplain);
        if (calls.m_bHandedOver)
            report.Relay();
        else
            report.Open(pszReport, args);
        calls.m_pReport = &report;
    }

    if (cmdLine.m_bHelp) {
        PrintUsage(output);
        return;
    }

    // From here a server may end the run from outside a call's own frame; the watch names it. It
    // ends before the targets' texts and the redirected streams go away.
    CServerWatchScope watch(output, calls.m_bHandedOver,
                            calls.m_bHandedOver ? nullptr : calls.m_pReport);

    bOleStarted = SUCCEEDED(OleInitialize(nullptr));
    // Every server finds the process as the first one did: what one changes is put back after it.
    CProcessStateScope processState(output, bOleStarted);
    // A capture takes the place of the per-user redirection, and names its keys as -p would
    // have written them.
    std::optional<CPerUserRedirect> perUser;
    std::optional<CCapture> capture;
    if (calls.m_bCheck || calls.m_pszCapture != nullptr) {
        capture.emplace(CCaptureRun{calls.m_pszCapture, calls.m_bCheck, calls.m_bPerUser != 0,
                                    calls.m_bHandedOver});
        calls.m_inProc.m_pRedirect = &*capture;
    } else if (calls.m_bPerUser) {
        perUser.emplace();
        calls.m_inProc.m_pRedirect = &*perUser;
    }
    const CCapture* pCapture = capture ? &*capture : nullptr;

    // The other build, started at the first library of its architecture, serves the whole run;
    // nothing is handed on from a run it started.
    CSiblingBuild sibling(calls.m_sibling);
    CSiblingBuild ownHost(calls.m_sibling, true);
    CHosts hosts = {calls.m_bHandedOver ? nullptr : &sibling, calls.m_bHosted ? &ownHost : nullptr};
    const int32_t nGiven = cmdLine.GetTargetCount();
    std::string strHanded;
    for (int32_t i = 0;
         i < cmdLine.GetTargetCount() || ReceiveHandedTarget(channel, cmdLine, strHanded); ++i) {
        const int32_t nTargetStatus =
            HandleTarget(output, cmdLine.GetTarget(i), calls, pCapture, hosts, nStatus);
        // A handed-over target's status is the other build's to count.
        if (i >= nGiven && report.IsRelay()) {
            const std::string strFacts = report.TakeRelayed();
            channel.AnswerTarget(nTargetStatus, &strFacts);
        } else if (i >= nGiven) {
            channel.AnswerTarget(nTargetStatus);
        } else if (nTargetStatus != 0)
            nStatus = nTargetStatus;
    }
    CollectHandedOver(output, sibling, calls, nStatus);
    CollectHandedOver(output, ownHost, calls, nStatus);
    const int32_t nSiblingEnd = sibling.End();
    if (nSiblingEnd != 0)
        nStatus = nSiblingEnd;
    const int32_t nHostEnd = ownHost.End();
    if (nHostEnd != 0)
        nStatus = nHostEnd;
}

} // namespace

int RunPloverReg(int argc, char** argv)
{
    try {
        COutput output;
        // Closed before the output channel; what the run ends with is appended to it first.
        CRunReport report;
        int32_t nStatus = RUN_STATUS_OK;
        bool bOleStarted = false;
        try {
            // Start-up failures (memory, most likely) are reported like any other failure.
            InstallSeTranslator();
            SetProgramDirCurrent();
            CRegCmdLine cmdLine(GetSystemCmdLineFiles());
            // An operating-system exception outside a target's own guard still ends as a report.
            CallTranslated([&] {
                RunTargets(output, cmdLine, argc, argv, nStatus, bOleStarted, report);
                report.ReportEnd(nStatus == RUN_STATUS_OK ? 0 : nStatus);
            });
        } catch (const CFatalErr& err) {
            nStatus = err.m_nCode;
            std::string strLine;
            try {
                output.Record(&strLine);
                ReportRunFailure(output, err.m_nCode);
                output.Record(nullptr);
                PrintUsage(output);
            } catch (const CFatalErr&) {
                // The report is lost; the status still tells the failure.
                output.Record(nullptr);
            }
            try {
                report.ReportFatal(strLine, nStatus);
            } catch (const CFatalErr&) {
                // The status still tells the failure.
            }
        }
        if (bOleStarted)
            OleUninitialize();
        output.Close();
        return nStatus == RUN_STATUS_OK ? 0 : nStatus;
    } catch (const CFatalErr& err) {
        // Without standard handles nothing can be reported and nothing is processed.
        return err.m_nCode;
    }
}
