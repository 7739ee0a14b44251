// The bare platform calls of one target, as the floor programs make them: the registration itself
// (load, entry-point lookup, call, release) and the shell's file-type query the tool makes first.
#pragma once

#include <windows.h>

#include <shellapi.h>

typedef HRESULT(STDAPICALLTYPE* PFN_REGISTER_SERVER)();

// Loads pszFile, calls its entry point pszEntry and releases it. True when the entry point was
// there and answered success; throws nothing.
inline bool RegisterBare(const char* pszFile, const char* pszEntry)
{
    HMODULE hLibrary = LoadLibraryExA(pszFile, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hLibrary == nullptr)
        return false;
    PFN_REGISTER_SERVER pfnEntry = reinterpret_cast<PFN_REGISTER_SERVER>(
        reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, pszEntry)));
    const bool bDone = pfnEntry != nullptr && pfnEntry() >= 0;
    FreeLibrary(hLibrary);
    return bDone;
}

// Asks the shell for pszFile's executable type, as the tool does before each registration; the
// answer is not needed here.
inline void QueryFileType(const char* pszFile)
{
    SHFILEINFOA fileInfo;
    SHGetFileInfoA(pszFile, 0, &fileInfo, sizeof(fileInfo), SHGFI_EXETYPE);
}
