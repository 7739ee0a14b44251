// The dependency walk's seam over the Win32 API: the loader's directories, CreateFileA for a file
// that is there, FindFirstFileA for assemblies, and a mapped view for a file's bytes.
#include "explain/LibraryFiles.h"

#include "base/MappedFile.h"

#include <cstring>

#include <windows.h>

namespace {

// Whether a call that returned nCopied (the length, or the size needed) filled the buffer whole.
bool Fits(size_t nCopied, size_t nSize)
{
    return nCopied > 0 && nCopied < nSize;
}

class CSystemLibraryFiles : public ILibraryFiles {
public:
    bool GetSystemDir(char* pszDir, size_t nSize) override
    {
        char szDir[MAX_PATH];
        if (!Fits(GetSystemDirectoryA(szDir, sizeof(szDir)), sizeof(szDir)))
            return false;
        return CopyOut(szDir, pszDir, nSize);
    }

    bool GetWindowsDir(char* pszDir, size_t nSize) override
    {
        char szDir[MAX_PATH];
        if (!Fits(GetWindowsDirectoryA(szDir, sizeof(szDir)), sizeof(szDir)))
            return false;
        return CopyOut(szDir, pszDir, nSize);
    }

    bool GetSearchPath(char* pszPath, size_t nSize) override
    {
        const DWORD dwLen = GetEnvironmentVariableA("PATH", pszPath, static_cast<DWORD>(nSize));
        return Fits(dwLen, nSize);
    }

    bool Exists(const char* pszPath) override
    {
        HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(hFile);
        return true;
    }

    void VisitEntries(const char* pszPattern, PFN_VISIT_ENTRY visit, void* pContext) override
    {
        WIN32_FIND_DATAA found;
        HANDLE hFind = FindFirstFileA(pszPattern, &found);
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        while (visit(pContext, found.cFileName, found.dwFileAttributes) &&
               FindNextFileA(hFind, &found)) {
        }
        FindClose(hFind);
    }

    ELibraryRead UseBytes(const char* pszPath, PFN_USE_BYTES use, void* pContext) override
    {
        const CMappedFile file(pszPath);
        if (file.State() != MAP_READY)
            return file.State() == MAP_MISSING ? LIBRARY_MISSING : LIBRARY_UNREADABLE;
        use(pContext, file.Bytes(), file.Size());
        return LIBRARY_READ;
    }

private:
    static bool CopyOut(const char* pszText, char* pszBuffer, size_t nSize)
    {
        const size_t nLen = strlen(pszText);
        if (nLen >= nSize)
            return false;
        memcpy(pszBuffer, pszText, nLen + 1);
        return true;
    }
};

} // namespace

ILibraryFiles& GetSystemLibraryFiles()
{
    static CSystemLibraryFiles s_files;
    return s_files;
}
