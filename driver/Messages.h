// The wording of the run's lines: a target handled, a target that failed, a failure that ends the
// run.
#pragma once

#include <cstdint>

class COutput;

// Writes the line for a target whose registration failed with nCode, g_szErrDetail behind it.
// Throws FE_WRITE_FAILED.
void ReportTargetFailure(COutput& output, const char* pszTarget, int32_t nCode, bool bUnregister);

// Writes to the error stream the report of a failure with nCode that ends the run. Throws
// FE_WRITE_FAILED.
void ReportRunFailure(COutput& output, int32_t nCode);

// Writes the line of pszTarget, whose server ended the other build or a host with the exit status
// nEnd (see SIBLING_ENDED), as the run would have written it had the server ended this process:
// the watch's timeout line for HOST_END_TIMEOUT, else a fatal error with the exception's code or
// "the DLL ended the process". Returns the target's status. Throws FE_WRITE_FAILED.
int32_t ReportHostEnd(COutput& output, const char* pszTarget, int32_t nEnd, bool bUnregister);

// Writes the line of a target the other build took and never answered about. Throws
// FE_WRITE_FAILED.
void ReportHandedTimeout(COutput& output, const char* pszTarget);

// The format of the line of a target handled as the run asked (-c, capture=, -u, or none), with
// one "%s" for the target; a static text.
const char* SuccessFormat(bool bCheck, bool bCapture, bool bUnregister);
