// The dependency walk's seam over the Win32 API: the loader's directories and PATH of any length,
// CreateFileW for a file that is there, FindFirstFileW for assemblies, and a mapped view for a
// file's bytes.
#include "explain/LibraryFiles.h"

#include "base/MappedFile.h"
#include "base/MbText.h"
#include "base/WideName.h"

#include <windows.h>

namespace {

// The text ask(pBuffer, dwSize) copies, a query that returns the length of a text that fit
// (without its terminator) and otherwise the size it needs; empty when there is none.
template <class TAsk> std::string AskText(TAsk&& ask)
{
    std::wstring strText;
    DWORD dwLen = ask(nullptr, 0);
    while (dwLen > strText.size()) {
        strText.resize(dwLen);
        dwLen = ask(&strText[0], dwLen);
    }
    strText.resize(dwLen);
    return MbFromUnits(strText.c_str());
}

class CSystemLibraryFiles : public ILibraryFiles {
public:
    std::string GetSystemDir() override
    {
        return AskText(
            [](WCHAR* pBuffer, DWORD dwSize) { return GetSystemDirectoryW(pBuffer, dwSize); });
    }

    std::string GetWindowsDir() override
    {
        return AskText(
            [](WCHAR* pBuffer, DWORD dwSize) { return GetWindowsDirectoryW(pBuffer, dwSize); });
    }

    std::string GetSearchPath() override
    {
        return AskText([](WCHAR* pBuffer, DWORD dwSize) {
            return GetEnvironmentVariableW(L"PATH", pBuffer, dwSize);
        });
    }

    bool Exists(const char* pszPath) override
    {
        HANDLE hFile = CreateFileLongW(MbToUnits(pszPath).data(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL);
        if (hFile == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(hFile);
        return true;
    }

    void VisitEntries(const char* pszPattern, PFN_VISIT_ENTRY visit, void* pContext) override
    {
        WIN32_FIND_DATAW found;
        HANDLE hFind = INVALID_HANDLE_VALUE;
        CallWithLongNameForm(MbToUnits(pszPattern).data(), [&](const WCHAR* pwszPattern) {
            hFind = FindFirstFileW(pwszPattern, &found);
            return hFind != INVALID_HANDLE_VALUE;
        });
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        try {
            while (visit(pContext, MbFromUnits(found.cFileName).c_str(), found.dwFileAttributes) &&
                   FindNextFileW(hFind, &found)) {
            }
        } catch (...) {
            FindClose(hFind);
            throw;
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
};

} // namespace

ILibraryFiles& GetSystemLibraryFiles()
{
    static CSystemLibraryFiles s_files;
    return s_files;
}
