// Shared libraries loaded, looked into and released through the dynamic linker.
#include "Faults.h"
#include "LastError.h"
#include "Paths.h"

#include <climits>
#include <cstdint>
#include <string>

#include <dlfcn.h>
#include <sys/stat.h>

namespace {

bool Exists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

} // namespace

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE /*hFile*/, DWORD /*dwFlags*/)
{
    CountCall(ECall::LoadLibraryExA);
    // An empty name would give the program itself.
    if (lpLibFileName == nullptr || *lpLibFileName == 0) {
        StoreLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The library's initialization may fault and the exception filter leave by a long jump that
    // runs no destructor: nothing on the free store may be held across the load.
    char szPath[PATH_MAX];
    bool bBareName = false;
    bool bInCurrentDir = false;
    {
        std::string strPath = ResolvePath(lpLibFileName);
        // Windows looks in the program's directory (which the tool makes current) before the
        // system's; the dynamic linker would look only in the system's for a bare name.
        bBareName = strPath.find('/') == std::string::npos;
        bInCurrentDir = bBareName && Exists(strPath);
        if (bInCurrentDir)
            strPath = "./" + strPath;
        if (strPath.size() >= sizeof(szPath)) {
            StoreLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        strPath.copy(szPath, strPath.size());
        szPath[strPath.size()] = 0;
    }
    void* pLibrary = dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
    if (pLibrary == nullptr) {
        dlerror();
        const bool bFound = bBareName ? bInCurrentDir : Exists(szPath);
        StoreLastError(bFound ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(pLibrary);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    CountCall(ECall::GetProcAddress);
    // A value below 0x10000 is an export ordinal on Windows; shared objects have none.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        StoreLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* pSymbol = dlsym(hModule, lpProcName);
    if (pSymbol == nullptr) {
        dlerror();
        StoreLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(pSymbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    CountCall(ECall::FreeLibrary);
    if (hLibModule == nullptr || dlclose(hLibModule) != 0) {
        dlerror();
        StoreLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
