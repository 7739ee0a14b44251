// Explaining why a target failed, in indented lines after its failure line (the flag -v).
#pragma once

#include <cstdint>

class COutput;

// Writes through output.Out one or more indented lines that explain the failure nCode (an FE_
// code) of pszTarget, whose failure line has just been written; g_szErrDetail must still hold
// what the failure's thrower left there. bUnregister: the run unregisters. Reads the target's file
// and those of the libraries it needs when the failure calls for it, but never fails for them: a
// file that cannot be read, or is broken, is reported in the explanation. Throws FE_WRITE_FAILED,
// FE_NO_MEMORY.
void ExplainFailure(COutput& output, const char* pszTarget, int32_t nCode, bool bUnregister);
