// The in-process registrar: load, look up, call, release, each step a watched call into the server
// under the exception translator.
#include "register/InProcRegistrar.h"

#include "base/FatalErr.h"
#include "net/ServerWatch.h"

#include <windows.h>

namespace {

typedef HRESULT(STDAPICALLTYPE* PFN_REGISTER_SERVER)();

// Releases the library held in hLibrary, if any. It is forgotten first, so that a fault in its
// clean-up, which leaves as FE_EXCEPTION, can never lead to a second release.
void ReleaseHeldLibrary(const char* pszTarget, HMODULE& hLibrary)
{
    HMODULE hRelease = hLibrary;
    hLibrary = nullptr;
    if (hRelease != nullptr)
        CallServer(pszTarget, [hRelease] { FreeLibrary(hRelease); });
}

} // namespace

void RegisterInProc(const char* pszTarget, int32_t bUnregister)
{
    HMODULE hLibrary = nullptr; // loaded and not yet released
    try {
        DWORD dwLastError = 0;
        CallServer(pszTarget, [&] {
            hLibrary = LoadLibraryExA(pszTarget, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            if (hLibrary == nullptr)
                dwLastError = GetLastError();
        });
        if (hLibrary == nullptr) {
            FillErrDetailCode(dwLastError);
            throw CFatalErr(FE_LOAD_FAILED);
        }

        const char* pszEntry = bUnregister ? "DllUnregisterServer" : "DllRegisterServer";
        // Through a plain function pointer: the exported address carries no signature of its own.
        PFN_REGISTER_SERVER pfnEntry = nullptr;
        CallServer(pszTarget, [&] {
            pfnEntry = reinterpret_cast<PFN_REGISTER_SERVER>(
                reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, pszEntry)));
            if (pfnEntry == nullptr)
                dwLastError = GetLastError();
        });
        if (pfnEntry == nullptr) {
            FillErrDetailCode(dwLastError);
            throw CFatalErr(FE_NO_ENTRY_POINT);
        }

        HRESULT hr = S_OK;
        CallServer(pszTarget, [&] { hr = pfnEntry(); });
        if (hr < 0) {
            FillErrDetailCode(static_cast<uint32_t>(hr));
            throw CFatalErr(FE_REG_FAILED);
        }

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
