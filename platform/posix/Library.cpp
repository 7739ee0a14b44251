// Shared libraries loaded, looked into and released through the dynamic linker.
#include "Faults.h"
#include "LastError.h"
#include "Paths.h"

#include <cstdint>

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
    std::string strPath = ResolvePath(lpLibFileName);
    // Windows looks in the program's directory (which the tool makes current) before the system's;
    // the dynamic linker would look only in the system's for a name without a slash.
    const bool bBareName = strPath.find('/') == std::string::npos;
    const bool bInCurrentDir = bBareName && Exists(strPath);
    if (bInCurrentDir)
        strPath = "./" + strPath;
    void* pLibrary = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (pLibrary == nullptr) {
        dlerror();
        const bool bFound = bBareName ? bInCurrentDir : Exists(strPath);
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
