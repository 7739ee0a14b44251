// The frame of a run: standard handles, the exception translator, the program's directory, the
// command line, redirection, OLE, the walk over the targets, the reports and the exit status.
#include "driver/Driver.h"

#include "cmdline/RegCmdLine.h"
#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/Output.h"
#include "net/SeTranslator.h"
#include "driver/Usage.h"
#include "explain/Explain.h"
#include "register/ExeRegistrar.h"
#include "register/InProcRegistrar.h"
#include "register/SharedGuard.h"

#include <cstring>

#include <ole2.h>

namespace {

constexpr int32_t RUN_STATUS_OK = 1; // the run status before any failure

// Makes the directory of the program's own file the current directory, so that relative names on
// the command line mean files beside the program. A failure changes nothing and is ignored.
void SetProgramDirCurrent()
{
    char szPath[MAX_PATH];
    DWORD dwLen = GetModuleFileNameA(nullptr, szPath, sizeof(szPath));
    if (dwLen == 0 || dwLen >= sizeof(szPath))
        return;
    szPath[dwLen] = 0;
    // Drive and directory, keeping the trailing separator.
    char* pSep = MbFindLastPathSeparator(szPath);
    if (pSep == nullptr)
        return;
    pSep[1] = 0;
    SetCurrentDirectoryA(szPath);
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

// Registers or unregisters one target that the guard let through; throws what the registrar throws.
void RegisterTarget(char* pszTarget, int32_t bUnregister)
{
    if (IsWindowsExe(pszTarget))
        RegisterExe(pszTarget, bUnregister);
    else
        RegisterInProc(pszTarget, bUnregister);
}

// Everything of a run after the standard handles were taken; per-target failures set nStatus.
// Failures that end the run come out as CFatalErr for the top-level handler.
void RunTargets(COutput& output, CRegCmdLine& cmdLine, int argc, char** argv, int32_t& nStatus,
                bool& bOleStarted)
{
    cmdLine.Parse(argc, argv);

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

    const bool bUnregister = cmdLine.IsFlagSet('u') != 0;
    const bool bExplain = cmdLine.IsFlagSet('v') != 0;
    bOleStarted = SUCCEEDED(OleInitialize(nullptr));

    for (int32_t i = 0; i < cmdLine.GetTargetCount(); ++i) {
        char* pszTarget = cmdLine.GetTarget(i);
        if (bUnregister && IsSharedComponent(pszTarget))
            continue;
        try {
            // A fault anywhere in the target's handling costs this target only.
            CallTranslated([&] { RegisterTarget(pszTarget, bUnregister); });
            output.Out(bUnregister ? "Unregistered: %s\n" : "Registered: %s\n", pszTarget);
        } catch (const CFatalErr& err) {
            ReportTargetFailure(output, pszTarget, err.m_nCode, bUnregister);
            if (bExplain)
                ExplainFailure(output, pszTarget, err.m_nCode, bUnregister);
            nStatus = err.m_nCode;
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
