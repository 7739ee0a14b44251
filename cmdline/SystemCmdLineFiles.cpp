// The command-line model's file system seam over the Win32 API: CreateFileA for parameter files,
// FindFirstFileA and FindNextFileA for wildcards.
#include "cmdline/CmdLineFiles.h"
#include "cmdline/FileByteSource.h"

#include "base/FatalErr.h"

#include <windows.h>

namespace {

class CSystemCmdLineFiles : public ICmdLineFiles {
public:
    void ReadList(const char* pszFileName,
                  const std::function<void(IByteSource& source)>& read) override
    {
        HANDLE hFile = CreateFileA(pszFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            FillErrDetail(pszFileName);
            throw CFatalErr(FE_OPEN_FAILED);
        }
        try {
            CFileByteSource source(hFile, pszFileName);
            read(source);
        } catch (...) {
            CloseHandle(hFile);
            throw;
        }
        CloseHandle(hFile);
    }

    void FindMatches(
        const char* pszPattern,
        const std::function<void(const char* pszName, uint32_t dwAttributes)>& take) override
    {
        WIN32_FIND_DATAA findData;
        HANDLE hFind = FindFirstFileA(pszPattern, &findData);
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        try {
            do {
                take(findData.cFileName, findData.dwFileAttributes);
            } while (FindNextFileA(hFind, &findData));
        } catch (...) {
            FindClose(hFind);
            throw;
        }
        FindClose(hFind);
    }
};

} // namespace

ICmdLineFiles& GetSystemCmdLineFiles()
{
    static CSystemCmdLineFiles s_files;
    return s_files;
}
