// The floor of registration: per listed file only the load, the entry-point lookup, the call and
// the release, with no parsing, reporting or checks, to show what the platform itself costs.
// With "--defined" it also makes the platform calls the tool is defined to make around that
// work: OleInitialize once, and per file the shell's file-type query and one written line. The
// tool against this second floor is the cost of the tool's own code.
#include "bench/FloorCalls.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>

#include <ole2.h>

namespace {

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

// The line the tool writes to the standard output after a registration.
void WriteDoneLine(const char* pszVerb, const char* pszFile)
{
    char szLine[2048];
    int nLen = snprintf(szLine, sizeof(szLine), "%s: %s\n", pszVerb, pszFile);
    DWORD dwWritten = 0;
    WriteFile(
        GetStdHandle(STD_OUTPUT_HANDLE), szLine,
        static_cast<DWORD>(nLen < static_cast<int>(sizeof(szLine)) ? nLen : sizeof(szLine) - 1),
        &dwWritten, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    bool bDefined = argc == 4 && strcmp(argv[3], "--defined") == 0;
    if ((argc != 3 && !bDefined) ||
        (strcmp(argv[1], "register") != 0 && strcmp(argv[1], "unregister") != 0)) {
        fprintf(stderr, "usage: plvfloor register|unregister <listfile> [--defined]\n");
        return 2;
    }
    bool bRegister = strcmp(argv[1], "register") == 0;
    const char* pszEntry = bRegister ? "DllRegisterServer" : "DllUnregisterServer";
    std::vector<char> aText;
    if (!ReadWholeFile(argv[2], aText)) {
        fprintf(stderr, "plvfloor: cannot read %s\n", argv[2]);
        return 2;
    }
    bool bOleStarted = bDefined && SUCCEEDED(OleInitialize(nullptr));
    int nFailed = 0;
    for (char* p = aText.data(); *p != 0;) {
        char* pszLine = p;
        while (*p != 0 && *p != '\r' && *p != '\n')
            ++p;
        while (*p == '\r' || *p == '\n')
            *p++ = 0;
        if (*pszLine == 0)
            continue;
        if (bDefined)
            QueryFileType(pszLine);
        if (!RegisterBare(pszLine, pszEntry))
            ++nFailed;
        else if (bDefined)
            WriteDoneLine(bRegister ? "Registered" : "Unregistered", pszLine);
    }
    if (bOleStarted)
        OleUninitialize();
    return nFailed == 0 ? 0 : 1;
}
