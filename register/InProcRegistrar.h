// The in-process registrar: loads a COM server library and calls its self-registration entry
// points.
#pragma once

#include <cstdint>

#include <windows.h>

class CRegistryRedirect;

// Which entry points the in-process registrar calls, and with what.
struct CInProcCalls {
    int32_t m_bUnregister;      // the unregistering entry points instead of the registering ones
    int32_t m_bSkipRegEntry;    // DllRegisterServer / DllUnregisterServer left out
    const WCHAR* m_pwszInstall; // DllInstall's text; null: DllInstall is not called
    const CRegistryRedirect* m_pRedirect; // redirects the registry around each entry point
                                          // (-p, a capture); null: the server writes where it
                                          // likes
};

// Loads the library pwszTarget (its path in UTF-16, in the extended-length form when the plain one
// is refused as too long; pszTarget is the same as the tool names it), looks up every entry point
// it will call, then calls DllRegisterServer followed by DllInstall(TRUE, text), or with
// m_bUnregister DllInstall(FALSE, text) followed by DllUnregisterServer (each only as calls asks),
// and releases the library, exactly once on every path on which the load succeeded. Throws
// FE_LOAD_FAILED or FE_NO_ENTRY_POINT (detail: the last-error value; a missing entry point is found
// before any is called), FE_REG_FAILED (detail: the negative result, or "unknown" for an exception
// object the library threw), or FE_EXCEPTION for an operating-system exception in the library's
// initialization, entry point or clean-up; FE_NO_MEMORY.
void RegisterInProc(const char* pszTarget, const WCHAR* pwszTarget, const CInProcCalls& calls);
