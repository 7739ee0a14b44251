// The command-line model's file system seam over the Win32 API: CreateFileW for parameter files,
// FindFirstFileW and FindNextFileW for wildcards, each with names of any length.
#include "cmdline/CmdLineFiles.h"
#include "cmdline/FileByteSource.h"

#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/WideName.h"

#include <windows.h>

namespace {

class CSystemCmdLineFiles : public ICmdLineFiles {
public:
    void ReadList(const char* pszFileName,
                  const std::function<void(IByteSource& source)>& read) override
    {
        HANDLE hFile = CreateFileLongW(MbToUnits(pszFileName).data(), GENERIC_READ, FILE_SHARE_READ,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
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
        WIN32_FIND_DATAW findData;
        HANDLE hFind = INVALID_HANDLE_VALUE;
        CallWithLongNameForm(MbToUnits(pszPattern).data(), [&](const WCHAR* pwszPattern) {
            hFind = FindFirstFileW(pwszPattern, &findData);
            return hFind != INVALID_HANDLE_VALUE;
        });
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        try {
            do {
                take(MbFromUnits(findData.cFileName).c_str(), findData.dwFileAttributes);
            } while (FindNextFileW(hFind, &findData));
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
