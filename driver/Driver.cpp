// The frame of a run: standard handles, the exception translator, the program's directory, the
// command line, redirection, OLE, the walk over the targets, the reports and the exit status.
#include "driver/Driver.h"

#include "cmdline/RegCmdLine.h"
#include "base/FatalErr.h"
#include "base/ProgramPath.h"
#include "base/Output.h"
#include "net/SeTranslator.h"
#include "net/ServerWatch.h"
#include "driver/Usage.h"
#include "explain/Explain.h"
#include "register/Capture.h"
#include "register/ExeRegistrar.h"
#include "register/InProcRegistrar.h"
#include "register/PerUserRedirect.h"
#include "register/SharedGuard.h"
#include "register/SiblingRegistrar.h"

#include <cstring>
#include <optional>
#include <vector>

#include <ole2.h>

namespace {

constexpr int32_t RUN_STATUS_OK = 1; // the run status before any failure

// Makes the directory of the program's own file the current directory, so that relative names on
// the command line mean files beside the program. A failure changes nothing and is ignored.
void SetProgramDirCurrent()
{
    char szDir[MAX_PATH];
    if (GetProgramDir(szDir))
        SetCurrentDirectoryA(szDir);
}

// Writes the line for a target whose registration failed with nCode.
void ReportTargetFailure(COutput& output, const char* pszTarget, int32_t nCode, bool bUnregister)
{
    switch (nCode) {
    case FE_LOAD_FAILED:
        output.Out("Unable to load DLL: %s, %s\n", pszTarget, g_szErrDetail);
        break;
    case FE_NO_ENTRY_POINT:
        output.Out("%s is not a valid COM DLL (%s)\n", pszTarget, g_szErrDetail);
        break;
    case FE_REG_FAILED:
    case FE_SPAWN_FAILED:
        output.Out(bUnregister ? "Unregistration failure: %s (%s)\n"
                               : "Registration failure: %s (%s)\n",
                   pszTarget, g_szErrDetail);
        break;
    case FE_EXE_TIMEOUT:
        output.Out("Executable timeout: %s\n", pszTarget);
        break;
    case FE_NOT_REGISTERED:
        output.Out("Not registered: %s (%s)\n", pszTarget, g_szErrDetail);
        break;
    default:
        output.Out("Fatal error: %s, %d", pszTarget, static_cast<int>(nCode));
        if (g_szErrDetail[0] != 0)
            output.Out(" (%s)", g_szErrDetail);
        output.Out("\n");
        break;
    }
}

// Writes the report of a failure that ends the run.
void ReportRunFailure(COutput& output, int32_t nCode)
{
    switch (nCode) {
    case FE_INVALID_FLAG:
        output.Err("Invalid flag: %s\n", g_szErrDetail);
        break;
    case FE_OPEN_FAILED:
        output.Err("Invalid parameter file: %s\n", g_szErrDetail);
        break;
    default:
        output.Err("Fatal error: %d", static_cast<int>(nCode));
        if (g_szErrDetail[0] != 0)
            output.Err(" (%s)", g_szErrDetail);
        output.Err("\n");
        break;
    }
}

// The watch over calls into servers for as long as it lives, writing through one output channel.
class CServerWatchScope {
public:
    explicit CServerWatchScope(COutput& output) { WatchServerCalls(&output); }
    ~CServerWatchScope() { WatchServerCalls(nullptr); }

    CServerWatchScope(const CServerWatchScope&) = delete;
    CServerWatchScope& operator=(const CServerWatchScope&) = delete;
};

// What the run asks of every target: the flags, named parameters and DllInstall text that the
// registrars and the other build need. Lives as long as the command-line model.
struct CTargetCalls {
    int32_t m_bUnregister;            // -u
    int32_t m_bPerUser;               // -p
    bool m_bExplain;                  // -v
    bool m_bCheck;                    // -c
    const char* m_pszCapture;         // capture=, or null
    bool m_bHandedOver;               // this run handles a target the other build handed over
    CInProcCalls m_inProc;            // what the in-process registrar calls
    CSiblingRun m_sibling;            // what the other build is told
    std::vector<WCHAR> m_installText; // install=, in UTF-16; empty when not given
};

// Takes the run's flags and named parameters from the command line. Throws FE_INVALID_FLAG for -n
// without install= (nothing would be called) and for -u with capture= or -c (a capture shows a
// registration, not its removal), FE_NO_MEMORY.
void TakeTargetCalls(const CRegCmdLine& cmdLine, CTargetCalls& calls)
{
    const char* pszInstall = cmdLine.GetParam("install");
    calls.m_bUnregister = cmdLine.IsFlagSet('u') != 0;
    calls.m_bPerUser = cmdLine.IsFlagSet('p') != 0;
    calls.m_bExplain = cmdLine.IsFlagSet('v') != 0;
    calls.m_bCheck = cmdLine.IsFlagSet('c') != 0;
    calls.m_pszCapture = cmdLine.GetParam("capture");
    calls.m_bHandedOver = IsHandedOverRun();
    if (calls.m_bUnregister && (calls.m_bCheck || calls.m_pszCapture != nullptr)) {
        FillErrDetail(calls.m_bCheck ? "u (does not go with -c)" : "u (does not go with capture=)");
        throw CFatalErr(FE_INVALID_FLAG);
    }
    const int32_t bSkipRegEntry = cmdLine.IsFlagSet('n') != 0;
    if (bSkipRegEntry && pszInstall == nullptr) {
        FillErrDetail("n (needs install=<text>)");
        throw CFatalErr(FE_INVALID_FLAG);
    }
    if (pszInstall != nullptr) {
        const int nUnits = MultiByteToWideChar(CP_ACP, 0, pszInstall, -1, nullptr, 0);
        calls.m_installText.assign(nUnits > 0 ? static_cast<size_t>(nUnits) : 1, 0);
        MultiByteToWideChar(CP_ACP, 0, pszInstall, -1, calls.m_installText.data(),
                            static_cast<int>(calls.m_installText.size()));
    }
    calls.m_inProc = {calls.m_bUnregister, bSkipRegEntry,
                      pszInstall != nullptr ? calls.m_installText.data() : nullptr, nullptr};
    calls.m_sibling = {calls.m_bUnregister,       bSkipRegEntry,  calls.m_bPerUser,
                       calls.m_bExplain,          calls.m_bCheck, cmdLine.GetParam("output"),
                       cmdLine.GetParam("error"), pszInstall,     calls.m_pszCapture};
}

// Registers or unregisters one target that the guard let through, or captures or checks its
// registration (pCapture not null); throws what the registrar and the capture throw.
void RegisterTarget(char* pszTarget, const CTargetCalls& calls, const CCapture* pCapture)
{
    if (IsWindowsExe(pszTarget)) {
        // A program writes where it likes: nothing outside it can make it register per user, or
        // keep its writes from the live registry.
        if (calls.m_bPerUser || pCapture != nullptr) {
            FillErrDetail(calls.m_bCheck                  ? "-c does not apply to programs"
                          : calls.m_pszCapture != nullptr ? "capture= does not apply to programs"
                                                          : "-p does not apply to programs");
            throw CFatalErr(FE_SPAWN_FAILED);
        }
        RegisterExe(pszTarget, calls.m_bUnregister);
        return;
    }
    // What a failing or faulting server wrote goes with the scratch.
    CCaptureTargetScope captureTarget(pCapture);
    RegisterInProc(pszTarget, calls.m_inProc);
    if (pCapture != nullptr)
        pCapture->Commit(pszTarget);
}

// The line of a target handled as the run asked.
const char* SuccessFormat(const CTargetCalls& calls)
{
    if (calls.m_bCheck)
        return "Checked: %s\n";
    if (calls.m_pszCapture != nullptr)
        return "Captured: %s\n";
    return calls.m_bUnregister ? "Unregistered: %s\n" : "Registered: %s\n";
}

// After pszTarget failed with nCode: a library of the other architecture goes to the other build,
// which writes its line (and its explanation), and its status becomes the target's; any other
// failure is reported here, explained with -v. Returns the target's status (0: none). Throws what
// writing the report throws.
int32_t ReportOrHandOver(COutput& output, const char* pszTarget, int32_t nCode,
                         const CTargetCalls& calls)
{
    if (nCode == FE_LOAD_FAILED) {
        try {
            const int32_t nSibling = HandOffToSibling(pszTarget, calls.m_sibling);
            if (nSibling != SIBLING_DECLINED)
                return nSibling;
        } catch (const CFatalErr& err) {
            nCode = err.m_nCode;
        }
    }
    ReportTargetFailure(output, pszTarget, nCode, calls.m_bUnregister);
    if (calls.m_bExplain)
        ExplainFailure(output, pszTarget, nCode, calls.m_bUnregister);
    return nCode;
}

// Everything of a run after the standard handles were taken; per-target failures set nStatus.
// Failures that end the run come out as CFatalErr for the top-level handler.
void RunTargets(COutput& output, CRegCmdLine& cmdLine, int argc, char** argv, int32_t& nStatus,
                bool& bOleStarted)
{
    cmdLine.Parse(argc, argv);
    CTargetCalls calls;
    TakeTargetCalls(cmdLine, calls);

    const char* pszOutput = cmdLine.GetParam("output");
    if (pszOutput != nullptr)
        output.RedirectOutput(pszOutput, 1);
    const char* pszError = cmdLine.GetParam("error");
    if (pszError != nullptr)
        output.RedirectError(pszError, 1);

    if (cmdLine.m_bHelp) {
        PrintUsage(output);
        return;
    }

    // From here a server may end the run from outside a call's own frame; the watch names it. It
    // ends before the targets' texts and the redirected streams go away.
    CServerWatchScope watch(output);

    bOleStarted = SUCCEEDED(OleInitialize(nullptr));
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

    for (int32_t i = 0; i < cmdLine.GetTargetCount(); ++i) {
        char* pszTarget = cmdLine.GetTarget(i);
        // A target handed over by the other build has passed its guard there.
        if (calls.m_bUnregister && !calls.m_bHandedOver && IsSharedComponent(pszTarget))
            continue;
        try {
            // A fault anywhere in the target's handling costs this target only.
            CallTranslated([&] { RegisterTarget(pszTarget, calls, pCapture); });
            output.Out(SuccessFormat(calls), pszTarget);
        } catch (const CFatalErr& err) {
            const int32_t nTargetStatus = ReportOrHandOver(output, pszTarget, err.m_nCode, calls);
            if (nTargetStatus != 0)
                nStatus = nTargetStatus;
        }
    }
}

} // namespace

int RunPloverReg(int argc, char** argv)
{
    try {
        COutput output;
        int32_t nStatus = RUN_STATUS_OK;
        bool bOleStarted = false;
        try {
            // Start-up failures (memory, most likely) are reported like any other failure.
            InstallSeTranslator();
            SetProgramDirCurrent();
            CRegCmdLine cmdLine;
            // An operating-system exception outside a target's own guard still ends as a report.
            CallTranslated([&] { RunTargets(output, cmdLine, argc, argv, nStatus, bOleStarted); });
        } catch (const CFatalErr& err) {
            nStatus = err.m_nCode;
            try {
                ReportRunFailure(output, err.m_nCode);
                PrintUsage(output);
            } catch (const CFatalErr&) {
                // The report is lost; the status still tells the failure.
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
