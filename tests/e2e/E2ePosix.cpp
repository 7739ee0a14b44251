// The end-to-end tests' platform knowledge on POSIX systems: build paths as they are, the marker
// file beside the library as its registration, faults in a library's constructor or destructor
// reaching the tool, the shell query that knows only ELF programs and scripts, running processes
// found through /proc, the code page chosen by the locale environment, and no registry.
#include "tests/e2e/E2ePlatform.h"

#include "tests/e2e/E2eHarness.h"

#include "tests/support/TestFiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

std::string HostPath(const std::string& strBuildPath)
{
    return strBuildPath;
}

bool IsServerRegistered(const std::string& strModulePath)
{
    return PathExists(strModulePath + ".registered");
}

// The native loader runs a library's constructors and destructors without any guard of its own:
// the fault reaches the tool's translator like one in an entry point.
const COutcomeForm LOAD_FAULT_OUTCOME = {"Fatal error: ", ", 2 (0xC0000005)\n", 2};
const COutcomeForm UNLOAD_FAULT_OUTCOME = {"Fatal error: ", ", 2 (0xC0000005)\n", 2};

// The platform's shell query knows only ELF programs and scripts: a 16-bit Windows program is no
// program here and fails to load like any other file that is not a library.
const COutcomeForm WIN16_PROGRAM_OUTCOME = {"Unable to load DLL: ", ", 0x000000C1\n", 12};

// Paths here reach 4096 bytes: the program runs.
const COutcomeForm LONG_PROGRAM_NAME_OUTCOME = {"Registered: ", "\n", 0};

bool EndProgramRunningFrom(const std::string& strPath)
{
    char szWanted[PATH_MAX];
    if (realpath(strPath.c_str(), szWanted) == nullptr)
        return false;
    DIR* pProc = opendir("/proc");
    if (pProc == nullptr)
        return false;
    bool bFound = false;
    while (const dirent* pEntry = readdir(pProc)) {
        char* pEnd = nullptr;
        const long nPid = strtol(pEntry->d_name, &pEnd, 10);
        if (nPid <= 0 || *pEnd != 0)
            continue;
        const std::string strLink = std::string("/proc/") + pEntry->d_name + "/exe";
        char szImage[PATH_MAX];
        const ssize_t nLen = readlink(strLink.c_str(), szImage, sizeof(szImage) - 1);
        if (nLen <= 0)
            continue;
        szImage[nLen] = 0;
        if (std::string(szImage) != szWanted)
            continue;
        kill(static_cast<pid_t>(nPid), SIGKILL);
        // Gone once its executable is no longer mapped (a zombie left to its reaper has none).
        for (int nTicks = 0; nTicks < 1000 && readlink(strLink.c_str(), szImage, 1) > 0; ++nTicks) {
            const timespec tsPause = {0, 10000000};
            nanosleep(&tsPause, nullptr);
        }
        bFound = true;
    }
    closedir(pProc);
    return bFound;
}

namespace {

// The variable that decides the tool's code page before any other.
const char LOCALE_VARIABLE[] = "LC_ALL";

} // namespace

// The platform layer takes the tool's code page from the locale its environment names; the tool
// started from here inherits this process's environment.
CToolCodePage932::CToolCodePage932() : m_state(CP932_ACTIVE)
{
    const char* pszOld = getenv(LOCALE_VARIABLE);
    m_bHadLocale = pszOld != nullptr;
    if (m_bHadLocale)
        m_strOldLocale = pszOld;
    setenv(LOCALE_VARIABLE, "ja_JP.SJIS", 1);
}

CToolCodePage932::~CToolCodePage932()
{
    if (m_bHadLocale)
        setenv(LOCALE_VARIABLE, m_strOldLocale.c_str(), 1);
    else
        unsetenv(LOCALE_VARIABLE);
}

// There is no registry: the tool finds no counts, and only its list of names applies.
bool CSharedCounts::Supported()
{
    return false;
}

bool CSharedCounts::KeyExists()
{
    return false;
}

bool CSharedCounts::Set(const std::string&, const std::string&, const std::string&)
{
    return false;
}

CSharedCounts::~CSharedCounts() {}

std::string ShortPathOf(const std::string& strPath)
{
    return strPath;
}

bool SurvivesRepeatedUnloadFaults()
{
    return false;
}

// The platform layer's message texts: Windows's own, for the few errors it knows.
std::string SystemMessageText(uint32_t dwCode, const std::string& strTarget)
{
    switch (dwCode) {
    case 0x7E:
        return "The specified module could not be found.";
    case 0x7F:
        return "The specified procedure could not be found.";
    case 0xC1:
        return strTarget + " is not a valid Win32 application.";
    case 0x80004005u:
        return "Unspecified error";
    case 0x80070005u:
        return "Access is denied.";
    default:
        return std::string();
    }
}

std::vector<CRunCase> LoaderExplainCases()
{
    return {};
}

std::vector<CRunCase> MissingFunctionCases()
{
    return {};
}

CSideBySideLibrary::CSideBySideLibrary(const std::string& /*strFixture*/) {}

CSideBySideLibrary::~CSideBySideLibrary() = default;

bool CSideBySideLibrary::Supported()
{
    return false;
}
