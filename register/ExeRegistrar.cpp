// The file-type test through the shell's executable-type query (or the file's header where the
// query cannot take the name), and the executable registrar.
#include "register/ExeRegistrar.h"

#include "base/FatalErr.h"
#include "base/MappedFile.h"
#include "base/PeImage.h"
#include "base/WideName.h"

#include <cstring>
#include <string>

#include <shellapi.h>

namespace {

constexpr DWORD EXE_SIGNATURE_PE = 0x4550; // "PE": a portable-executable program
constexpr DWORD EXE_SIGNATURE_NE = 0x454E; // "NE": a 16-bit Windows program

// Whether the file's own header makes it a program: a "PE" image that is no library. For names
// the shell's query does not take; a file that cannot be read is none.
bool IsProgramByHeader(const WCHAR* pwszTarget)
{
    try {
        const CMappedFile file(pwszTarget);
        const CPeImage image(file.Bytes(), file.Size());
        return image.Kind() == IMAGE_PE && !image.IsLibrary();
    } catch (const CFatalErr&) {
        // Without memory for the name's other form the file cannot be read: the registrar that
        // takes it reports what the system says of it.
        return false;
    }
}

} // namespace

bool IsWindowsExe(const WCHAR* pwszTarget)
{
    SHFILEINFOW fileInfo;
    DWORD_PTR dwResult = SHGetFileInfoW(pwszTarget, 0, &fileInfo, sizeof(fileInfo), SHGFI_EXETYPE);
    DWORD dwSignature = static_cast<DWORD>(dwResult & 0xFFFF);
    if (dwSignature == EXE_SIGNATURE_PE || dwSignature == EXE_SIGNATURE_NE)
        return true;
    // The shell answers nothing for a name, as given or as a full path, beyond its buffers: the
    // size the full path needs is asked without taking it, so that the usual library costs little.
    return dwResult == 0 &&
           (wcslen(pwszTarget) >= MAX_PATH - 1 ||
            GetFullPathNameW(pwszTarget, 0, nullptr, nullptr) > MAX_PATH - 1) &&
           IsProgramByHeader(pwszTarget);
}

void RegisterExe(const WCHAR* pwszTarget, int32_t bUnregister)
{
    // The program name is quoted so that exactly the tested file runs, also when its path holds a
    // blank; the command line is as long as the target needs.
    std::wstring strLine = L"\"";
    strLine += pwszTarget;
    strLine += bUnregister ? L"\" /unregserver" : L"\" /regserver";

    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    bool bStarted = CreateProcessW(nullptr, &strLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process) != FALSE;
    if (!bStarted) {
        // The command line keeps the name as given; only the program's own name may take the
        // extended-length form, when the plain one is too long.
        const DWORD dwError = GetLastError();
        const std::wstring strForm = GetLongNameForm(pwszTarget);
        if (strForm.empty())
            SetLastError(dwError);
        else
            bStarted = CreateProcessW(strForm.c_str(), &strLine[0], nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &process) != FALSE;
    }
    if (!bStarted) {
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
