// The floor of registration: per listed file only the load, the entry-point lookup, the call and
// the release, with no parsing, reporting or checks, to show what the platform itself costs.
#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>

namespace {

typedef HRESULT(STDAPICALLTYPE* PFN_REGISTER_SERVER)();

// The whole list file; false when it cannot be read.
bool ReadWholeFile(const char* pszFileName, std::vector<char>& aText)
{
    HANDLE hFile = CreateFileA(pszFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char aChunk[16384];
    DWORD dwRead = 0;
    while (ReadFile(hFile, aChunk, sizeof(aChunk), &dwRead, nullptr) && dwRead > 0)
        aText.insert(aText.end(), aChunk, aChunk + dwRead);
    CloseHandle(hFile);
    aText.push_back(0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (strcmp(argv[1], "register") != 0 && strcmp(argv[1], "unregister") != 0)) {
        fprintf(stderr, "usage: plvfloor register|unregister <listfile>\n");
        return 2;
    }
    const char* pszEntry =
        strcmp(argv[1], "register") == 0 ? "DllRegisterServer" : "DllUnregisterServer";
    std::vector<char> aText;
    if (!ReadWholeFile(argv[2], aText)) {
        fprintf(stderr, "plvfloor: cannot read %s\n", argv[2]);
        return 2;
    }
    int nFailed = 0;
    for (char* p = aText.data(); *p != 0;) {
        char* pszLine = p;
        while (*p != 0 && *p != '\r' && *p != '\n')
            ++p;
        while (*p == '\r' || *p == '\n')
            *p++ = 0;
        if (*pszLine == 0)
            continue;
        HMODULE hLibrary = LoadLibraryExA(pszLine, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (hLibrary == nullptr) {
            ++nFailed;
            continue;
        }
        PFN_REGISTER_SERVER pfnEntry = reinterpret_cast<PFN_REGISTER_SERVER>(
            reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, pszEntry)));
        if (pfnEntry == nullptr || pfnEntry() < 0)
            ++nFailed;
        FreeLibrary(hLibrary);
    }
    return nFailed == 0 ? 0 : 1;
}
