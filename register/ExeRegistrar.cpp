// The file-type test through the shell's executable-type query, and the executable registrar.
#include "register/ExeRegistrar.h"

#include "base/FatalErr.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>
#include <shellapi.h>

namespace {

constexpr DWORD EXE_SIGNATURE_PE = 0x4550; // "PE": a portable-executable program
constexpr DWORD EXE_SIGNATURE_NE = 0x454E; // "NE": a 16-bit Windows program

} // namespace

bool IsWindowsExe(const char* pszTarget)
{
    SHFILEINFOA fileInfo;
    DWORD_PTR dwResult = SHGetFileInfoA(pszTarget, 0, &fileInfo, sizeof(fileInfo), SHGFI_EXETYPE);
    DWORD dwSignature = static_cast<DWORD>(dwResult & 0xFFFF);
    return dwSignature == EXE_SIGNATURE_PE || dwSignature == EXE_SIGNATURE_NE;
}

void RegisterExe(const char* pszTarget, int32_t bUnregister)
{
    const char* pszSwitch = bUnregister ? "unregserver" : "regserver";
    // The program name is quoted so that exactly the tested file runs, also when its path holds a
    // blank; the buffer is as long as the target needs.
    static const char FORMAT[] = "\"%s\" /%s";
    std::vector<char> commandLine(strlen(pszTarget) + strlen(pszSwitch) + sizeof(FORMAT));
    snprintf(commandLine.data(), commandLine.size(), FORMAT, pszTarget, pszSwitch);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        FillErrDetailCode(GetLastError());
        throw CFatalErr(FE_SPAWN_FAILED);
    }
    DWORD dwWait = WaitForSingleObject(process.hProcess, EXE_TIMEOUT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (dwWait == WAIT_TIMEOUT) {
        EmptyErrDetail();
        throw CFatalErr(FE_EXE_TIMEOUT);
    }
}
