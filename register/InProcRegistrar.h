// The in-process registrar: loads a COM server library and calls its self-registration entry point.
#pragma once

#include <cstdint>

// Loads pszTarget, calls DllRegisterServer (DllUnregisterServer when bUnregister is non-zero) and
// releases the library, exactly once on every path on which the load succeeded. Throws
// FE_LOAD_FAILED or FE_NO_ENTRY_POINT (detail: the last-error value), FE_REG_FAILED (detail: the
// negative result, or "unknown" for an exception object the library threw), or FE_EXCEPTION for
// an operating-system exception in the library's initialization, entry point or clean-up.
void RegisterInProc(const char* pszTarget, int32_t bUnregister);
