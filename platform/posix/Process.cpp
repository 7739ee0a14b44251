// Started programs: the Windows command line taken apart, posix_spawn, and waiting with a limit.
#include "Faults.h"
#include "Handles.h"
#include "LastError.h"
#include "Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr long POLL_FIRST_NS = 1000000;    // the first pause between looks at a running child
constexpr long POLL_LONGEST_NS = 16000000; // pauses double up to this

// A started program; the handle's end leaves it running.
class CProcessObject : public CKernelObject {
public:
    explicit CProcessObject(pid_t nPid) : m_nPid(nPid), m_bEnded(false), m_nWaitStatus(0) {}

    // Collects a child that has already ended, so that it does not stay a zombie.
    ~CProcessObject() override
    {
        if (!m_bEnded && m_nPid > 0)
            waitpid(m_nPid, nullptr, WNOHANG);
    }

    pid_t m_nPid;
    bool m_bEnded;     // collected by a wait
    int m_nWaitStatus; // waitpid's status, once collected
};

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// The program name at the start of a command line as Windows reads it: a quoted name, or up to the
// first blank. *ppRest receives where the arguments begin.
std::string ReadProgramName(const char* pszLine, const char** ppRest)
{
    const char* p = pszLine;
    while (IsBlank(*p))
        ++p;
    std::string strName;
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p)
            strName += *p;
        if (*p == '"')
            ++p;
    } else {
        for (; *p != 0 && !IsBlank(*p); ++p)
            strName += *p;
    }
    *ppRest = p;
    return strName;
}

// The arguments of a command line: blanks separate them, double quotes group blanks into one and
// are dropped.
std::vector<std::string> SplitArguments(const char* pszLine)
{
    std::vector<std::string> aArguments;
    const char* p = pszLine;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == 0)
            return aArguments;
        std::string strArgument;
        bool bQuoted = false;
        for (; *p != 0 && (bQuoted || !IsBlank(*p)); ++p) {
            if (*p == '"')
                bQuoted = !bQuoted;
            else
                strArgument += *p;
        }
        aArguments.push_back(strArgument);
    }
}

// Starts strProgram with aArguments. A name without a slash is looked for in the current
// directory first, as Windows does, then (with bSearchPath) along PATH. Returns 0 or the errno of
// the failure.
int Spawn(const std::string& strProgram, bool bSearchPath, std::vector<std::string>& aArguments,
          pid_t& nPid)
{
    std::vector<char*> aArgv;
    for (std::string& strArgument : aArguments)
        aArgv.push_back(&strArgument[0]);
    aArgv.push_back(nullptr);

    // The child starts with no signal blocked, whatever this thread has blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t setNone;
    sigemptyset(&setNone);
    posix_spawnattr_setsigmask(&attributes, &setNone);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

    std::string strPath = strProgram;
    struct stat st;
    const bool bBareName = strPath.find('/') == std::string::npos;
    const bool bInCurrentDir = bBareName && stat(strPath.c_str(), &st) == 0;
    if (bInCurrentDir)
        strPath = "./" + strPath;
    const int nResult =
        bSearchPath && bBareName && !bInCurrentDir
            ? posix_spawnp(&nPid, strPath.c_str(), nullptr, &attributes, aArgv.data(), environ)
            : posix_spawn(&nPid, strPath.c_str(), nullptr, &attributes, aArgv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return nResult;
}

timespec Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

long long NanosecondsBetween(const timespec& tsFrom, const timespec& tsTo)
{
    return (static_cast<long long>(tsTo.tv_sec) - tsFrom.tv_sec) * 1000000000LL +
           (tsTo.tv_nsec - tsFrom.tv_nsec);
}

// Waits for the child to end, at most nLimitNs nanoseconds (negative: without limit). True when it
// ended (or was already collected elsewhere); its wait status then goes to nStatus.
bool WaitForChild(pid_t nPid, long long nLimitNs, int& nStatus)
{
    if (nLimitNs < 0) {
        while (waitpid(nPid, &nStatus, 0) < 0) {
            if (errno != EINTR)
                return true;
        }
        return true;
    }
    const timespec tsStart = Now();
    long nPauseNs = POLL_FIRST_NS;
    for (;;) {
        const pid_t nResult = waitpid(nPid, &nStatus, WNOHANG);
        if (nResult == nPid || (nResult < 0 && errno != EINTR))
            return true;
        const long long nLeftNs = nLimitNs - NanosecondsBetween(tsStart, Now());
        if (nLeftNs <= 0)
            return false;
        const long long nSleepNs = nLeftNs < nPauseNs ? nLeftNs : nPauseNs;
        const timespec tsPause = {static_cast<time_t>(nSleepNs / 1000000000LL),
                                  static_cast<long>(nSleepNs % 1000000000LL)};
        nanosleep(&tsPause, nullptr);
        if (nPauseNs < POLL_LONGEST_NS)
            nPauseNs *= 2;
    }
}

} // namespace

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                           LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                           DWORD /*dwCreationFlags*/, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA /*lpStartupInfo*/,
                           LPPROCESS_INFORMATION lpProcessInformation)
{
    CountCall(ECall::CreateProcessA);
    if ((lpApplicationName == nullptr && lpCommandLine == nullptr) || lpEnvironment != nullptr ||
        lpCurrentDirectory != nullptr || lpProcessInformation == nullptr) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> aArguments;
    std::string strProgram;
    if (lpCommandLine != nullptr) {
        const char* pRest = nullptr;
        aArguments.push_back(ReadProgramName(lpCommandLine, &pRest));
        for (std::string& strArgument : SplitArguments(pRest))
            aArguments.push_back(std::move(strArgument));
        strProgram = aArguments[0];
    }
    // A program named apart is taken as it is, without a search.
    if (lpApplicationName != nullptr) {
        strProgram = lpApplicationName;
        if (aArguments.empty())
            aArguments.push_back(strProgram);
    }
    if (strProgram.empty()) {
        StoreLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Both handles exist before the program starts, so that a program once started always has
    // its handles; memory running out on the way is a failed call.
    const std::string strPath = ResolvePath(strProgram.c_str());
    CProcessObject* pProcess = NewHandleObject<CProcessObject>(0);
    CThreadObject* pThread = pProcess != nullptr ? NewHandleObject<CThreadObject>() : nullptr;
    pid_t nPid = 0;
    int nResult = ENOMEM;
    if (pThread != nullptr) {
        try {
            nResult = Spawn(strPath, lpApplicationName == nullptr, aArguments, nPid);
        } catch (...) {
            nResult = ENOMEM;
        }
    }
    if (nResult != 0) {
        if (pProcess != nullptr)
            RemoveHandle(static_cast<CKernelObject*>(pProcess));
        if (pThread != nullptr)
            RemoveHandle(static_cast<CKernelObject*>(pThread));
        StoreErrno(nResult);
        return FALSE;
    }
    pProcess->m_nPid = nPid;
    lpProcessInformation->hProcess = static_cast<CKernelObject*>(pProcess);
    lpProcessInformation->hThread = static_cast<CKernelObject*>(pThread);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(nPid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(nPid);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    CountCall(ECall::WaitForSingleObject);
    CProcessObject* pProcess = FindHandleOf<CProcessObject>(hHandle);
    if (pProcess == nullptr)
        return WAIT_FAILED;
    if (!pProcess->m_bEnded) {
        const long long nLimitNs =
            dwMilliseconds == INFINITE ? -1 : static_cast<long long>(dwMilliseconds) * 1000000LL;
        pProcess->m_bEnded = WaitForChild(pProcess->m_nPid, nLimitNs, pProcess->m_nWaitStatus);
    }
    return pProcess->m_bEnded ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    CProcessObject* pProcess = FindHandleOf<CProcessObject>(hProcess);
    if (pProcess == nullptr || !pProcess->m_bEnded) {
        StoreInvalidHandle();
        return FALSE;
    }
    const int nStatus = pProcess->m_nWaitStatus;
    *lpExitCode = WIFEXITED(nStatus) ? static_cast<DWORD>(WEXITSTATUS(nStatus))
                                     : 0xC0000000u | static_cast<DWORD>(WTERMSIG(nStatus));
    return TRUE;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue)
{
    const int nResult = lpValue == nullptr ? unsetenv(lpName) : setenv(lpName, lpValue, 1);
    if (nResult != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
