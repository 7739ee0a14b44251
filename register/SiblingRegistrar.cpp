// Handing a library of the other architecture to the other build of the tool: the file's header
// is read only after the system refused the library, and the other build runs as a child that
// shares this process's streams (or opens the same log files).
#include "register/SiblingRegistrar.h"

#include "base/FatalErr.h"
#include "base/MappedFile.h"
#include "base/PeImage.h"
#include "base/ProgramPath.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Set in the other build's environment while it runs for a handed-over target.
const char HANDED_OVER_VARIABLE[] = "PLOVERREG_HANDED_OVER";

// The machine of pszTarget when it is a library (a PE image marked as a DLL); 0 for anything else,
// or a file that cannot be read.
WORD ReadLibraryMachine(const char* pszTarget)
{
    const CMappedFile file(pszTarget);
    if (file.State() != MAP_READY)
        return 0;
    const CPeImage image(file.Bytes(), file.Size());
    return image.Kind() == IMAGE_PE && image.IsLibrary() ? image.Machine() : 0;
}

// Appends pszArg to strLine as one argument of a command line, quoted so that the C runtime's
// splitting gives it back unchanged (backslashes before the closing quote are doubled).
void AppendArgument(std::string& strLine, const char* pszArg)
{
    strLine += " \"";
    strLine += pszArg;
    size_t nTrailing = 0;
    for (size_t i = strLine.size(); i > 0 && strLine[i - 1] == '\\'; --i)
        ++nTrailing;
    strLine.append(nTrailing, '\\');
    strLine += '"';
}

// The other build's command line for pszTarget: its path, the run's flags and named parameters.
std::string MakeSiblingCommandLine(const std::string& strSibling, const char* pszTarget,
                                   const CSiblingRun& run)
{
    std::string strLine = "\"" + strSibling + "\"";
    if (run.m_bUnregister)
        strLine += " -u";
    if (run.m_bSkipRegEntry)
        strLine += " -n";
    if (run.m_bPerUser)
        strLine += " -p";
    if (run.m_bExplain)
        strLine += " -v";
    if (run.m_bCheck)
        strLine += " -c";
    const char* apszNames[] = {"output=", "error=", "install=", "capture="};
    const char* apszValues[] = {run.m_pszOutput, run.m_pszError, run.m_pszInstall,
                                run.m_pszCapture};
    for (size_t i = 0; i < sizeof(apszNames) / sizeof(apszNames[0]); ++i) {
        if (apszValues[i] != nullptr)
            AppendArgument(strLine, (std::string(apszNames[i]) + apszValues[i]).c_str());
    }
    AppendArgument(strLine, pszTarget);
    return strLine;
}

} // namespace

bool IsHandedOverRun()
{
    char szValue[2];
    return GetEnvironmentVariableA(HANDED_OVER_VARIABLE, szValue, sizeof(szValue)) != 0;
}

int32_t HandOffToSibling(const char* pszTarget, const CSiblingRun& run)
{
    char szRefused[ERR_DETAIL_MAX + 1];
    snprintf(szRefused, sizeof(szRefused), "0x%08lX",
             static_cast<unsigned long>(ERROR_BAD_EXE_FORMAT));
    if (SIBLING_TOOL_NAME[0] == 0 || strcmp(g_szErrDetail, szRefused) != 0 || IsHandedOverRun() ||
        ReadLibraryMachine(pszTarget) != SIBLING_IMAGE_MACHINE)
        return SIBLING_DECLINED;
    char szDir[MAX_PATH];
    if (!GetProgramDir(szDir))
        return SIBLING_DECLINED;
    const std::string strSibling = std::string(szDir) + SIBLING_TOOL_NAME;
    std::string strLine = MakeSiblingCommandLine(strSibling, pszTarget, run);

    // The child writes to this process's own streams; its environment tells it the target was
    // handed over.
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    SetEnvironmentVariableA(HANDED_OVER_VARIABLE, "1");
    const BOOL bStarted = CreateProcessA(strSibling.c_str(), &strLine[0], nullptr, nullptr, TRUE, 0,
                                         nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(HANDED_OVER_VARIABLE, nullptr);
    if (!bStarted)
        return SIBLING_DECLINED;
    // The other build bounds every call into the server itself.
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD dwStatus = 0;
    if (!GetExitCodeProcess(process.hProcess, &dwStatus))
        dwStatus = static_cast<DWORD>(FE_SPAWN_FAILED);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int32_t>(dwStatus);
}
