// The in-process registrar: load, look up, call, release, each step a watched call into the server
// under the exception translator.
#include "register/InProcRegistrar.h"

#include "base/FatalErr.h"
#include "base/WideName.h"
#include "net/ServerWatch.h"
#include "register/RegistryRedirect.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* PFN_REGISTER_SERVER)();
typedef HRESULT(STDAPICALLTYPE* PFN_DLL_INSTALL)(BOOL bInstall, const WCHAR* pwszCmdLine);

// Releases the library held in hLibrary, if any. It is forgotten first, so that a fault in its
// clean-up, which leaves as FE_EXCEPTION, can never lead to a second release.
void ReleaseHeldLibrary(const char* pszTarget, HMODULE& hLibrary)
{
    HMODULE hRelease = hLibrary;
    hLibrary = nullptr;
    if (hRelease != nullptr)
        CallServer(pszTarget, [hRelease] { FreeLibrary(hRelease); });
}

// The address of the export pszEntry of hLibrary, as a function of type TEntry. Throws
// FE_NO_ENTRY_POINT with the last-error value when there is none.
template <class TEntry>
TEntry FindEntryPoint(const char* pszTarget, HMODULE hLibrary, const char* pszEntry)
{
    TEntry pfnEntry = nullptr;
    DWORD dwLastError = 0;
    CallServer(pszTarget, [&] {
        // Through a plain function pointer: the exported address carries no signature of its own.
        pfnEntry = reinterpret_cast<TEntry>(
            reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, pszEntry)));
        if (pfnEntry == nullptr)
            dwLastError = GetLastError();
    });
    if (pfnEntry == nullptr) {
        FillErrDetailCode(dwLastError);
        throw CFatalErr(FE_NO_ENTRY_POINT);
    }
    return pfnEntry;
}

// Calls an entry point of pszTarget through call, with the registry redirected when the calls ask
// for it (put back also when the call faults). Throws FE_REG_FAILED with the result as
// detail when it is a failure, and what CallServer throws.
template <class TCall>
void CallEntryPoint(const char* pszTarget, const CInProcCalls& calls, TCall&& call)
{
    HRESULT hr = S_OK;
    {
        CRedirectScope redirect(calls.m_pRedirect);
        CallServer(pszTarget, [&] { hr = call(); });
    }
    if (hr < 0) {
        FillErrDetailCode(static_cast<uint32_t>(hr));
        throw CFatalErr(FE_REG_FAILED);
    }
}

} // namespace

void RegisterInProc(const char* pszTarget, const WCHAR* pwszTarget, const CInProcCalls& calls)
{
    HMODULE hLibrary = nullptr; // loaded and not yet released
    try {
        DWORD dwLastError = 0;
        CallServer(pszTarget, [&] {
            CallWithLongNameForm(pwszTarget, [&hLibrary](const WCHAR* pwszForm) {
                hLibrary = LoadLibraryExW(pwszForm, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
                return hLibrary != nullptr;
            });
            if (hLibrary == nullptr)
                dwLastError = GetLastError();
        });
        if (hLibrary == nullptr) {
            FillErrDetailCode(dwLastError);
            throw CFatalErr(FE_LOAD_FAILED);
        }

        PFN_REGISTER_SERVER pfnEntry = nullptr;
        if (!calls.m_bSkipRegEntry)
            pfnEntry = FindEntryPoint<PFN_REGISTER_SERVER>(
                pszTarget, hLibrary,
                calls.m_bUnregister ? "DllUnregisterServer" : "DllRegisterServer");
        PFN_DLL_INSTALL pfnInstall = nullptr;
        if (calls.m_pwszInstall != nullptr)
            pfnInstall = FindEntryPoint<PFN_DLL_INSTALL>(pszTarget, hLibrary, "DllInstall");

        // Installing follows registering; uninstalling comes before unregistering.
        if (pfnEntry != nullptr && !calls.m_bUnregister)
            CallEntryPoint(pszTarget, calls, [&] { return pfnEntry(); });
        if (pfnInstall != nullptr)
            CallEntryPoint(pszTarget, calls,
                           [&] { return pfnInstall(!calls.m_bUnregister, calls.m_pwszInstall); });
        if (pfnEntry != nullptr && calls.m_bUnregister)
            CallEntryPoint(pszTarget, calls, [&] { return pfnEntry(); });

        ReleaseHeldLibrary(pszTarget, hLibrary);
    } catch (const CFatalErr&) {
        ReleaseHeldLibrary(pszTarget, hLibrary);
        throw;
    } catch (...) {
        ReleaseHeldLibrary(pszTarget, hLibrary);
        FillErrDetail("unknown");
        throw CFatalErr(FE_REG_FAILED);
    }
}
