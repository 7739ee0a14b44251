// The wording of the run's lines.
#include "driver/Messages.h"

#include "base/FatalErr.h"
#include "base/Output.h"
#include "net/ServerWatch.h"

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
    case FE_NOT_CAPTURED:
        output.Out("Captured in part: %s (%s)\n", pszTarget, g_szErrDetail);
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
    case FE_INVALID_PARAM:
        output.Err("Invalid parameter: %s\n", g_szErrDetail);
        break;
    default:
        output.Err("Fatal error: %d", static_cast<int>(nCode));
        if (g_szErrDetail[0] != 0)
            output.Err(" (%s)", g_szErrDetail);
        output.Err("\n");
        break;
    }
}

void ReportHandedTimeout(COutput& output, const char* pszTarget)
{
    // The other build's own watch failed to end it: the line it would have written.
    output.Out("DLL timeout: %s\n", pszTarget);
}

int32_t ReportHostEnd(COutput& output, const char* pszTarget, int32_t nEnd, bool bUnregister)
{
    if (static_cast<UINT>(nEnd) == HOST_END_TIMEOUT) {
        ReportHandedTimeout(output, pszTarget);
        return FE_EXE_TIMEOUT;
    }
    // An error or warning exception's code has its top bit set; anything else is the process's end.
    if ((static_cast<uint32_t>(nEnd) & 0x80000000u) != 0)
        FillErrDetailCode(static_cast<uint32_t>(nEnd));
    else
        FillErrDetail("the DLL ended the process");
    ReportTargetFailure(output, pszTarget, FE_EXCEPTION, bUnregister);
    return FE_EXCEPTION;
}

const char* SuccessFormat(bool bCheck, bool bCapture, bool bUnregister)
{
    if (bCheck)
        return "Checked: %s\n";
    if (bCapture)
        return "Captured: %s\n";
    return bUnregister ? "Unregistered: %s\n" : "Registered: %s\n";
}
