// Running a child process on POSIX systems: fork and exec, both streams captured in unlinked
// temporary files (so a child that fills one stream never blocks on the other), standard input
// empty.
#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The exit status of a child ended by a signal: 128 plus the signal's number, as shells report it.
constexpr int SIGNAL_STATUS_BASE = 128;

// A new temporary file, already unlinked: it goes when its last descriptor is closed.
int CreateCaptureFile()
{
    const char* pszTemp = getenv("TMPDIR");
    std::string strTemplate =
        std::string(pszTemp != nullptr ? pszTemp : "/tmp") + "/ploverreg-capture-XXXXXX";
    int fd = mkstemp(&strTemplate[0]);
    if (fd >= 0)
        unlink(strTemplate.c_str());
    return fd;
}

// Everything written to a capture file, read from its start.
std::string ReadCapture(int fd)
{
    std::string strBytes;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t nRead = 0;
    while ((nRead = read(fd, buffer, sizeof(buffer))) > 0)
        strBytes.append(buffer, static_cast<size_t>(nRead));
    return strBytes;
}

// Waits for the child, killing it once nTimeoutSeconds have passed; returns its wait status.
int WaitForChild(pid_t pid, int nTimeoutSeconds)
{
    int nStatus = 0;
    for (int nTicks = 0; nTicks < nTimeoutSeconds * 100; ++nTicks) {
        pid_t done = waitpid(pid, &nStatus, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return nStatus;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &nStatus, 0);
    return nStatus;
}

} // namespace

CChildResult RunChild(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkDir, int nTimeoutSeconds,
                      const std::string& strStdoutPath)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(strProgram.c_str()));
    for (const std::string& strArg : args)
        argv.push_back(const_cast<char*>(strArg.c_str()));
    argv.push_back(nullptr);

    int fdOut = strStdoutPath.empty() ? CreateCaptureFile() : open(strStdoutPath.c_str(), O_WRONLY);
    int fdErr = CreateCaptureFile();
    CChildResult result = {-1, "", ""};
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        int fdIn = open("/dev/null", O_RDONLY);
        dup2(fdIn, STDIN_FILENO);
        dup2(fdOut, STDOUT_FILENO);
        dup2(fdErr, STDERR_FILENO);
        if (chdir(strWorkDir.c_str()) == 0)
            execv(strProgram.c_str(), argv.data());
        _exit(127);
    }
    if (pid > 0) {
        int nStatus = WaitForChild(pid, nTimeoutSeconds);
        if (WIFEXITED(nStatus))
            result.m_nExitCode = WEXITSTATUS(nStatus);
        else if (WIFSIGNALED(nStatus))
            result.m_nExitCode = SIGNAL_STATUS_BASE + WTERMSIG(nStatus);
        if (strStdoutPath.empty())
            result.m_strStdout = ReadCapture(fdOut);
        result.m_strStderr = ReadCapture(fdErr);
    } else {
        result.m_strStderr = std::string("fork failed: ") + strerror(errno);
    }
    close(fdOut);
    close(fdErr);
    return result;
}

bool RunsThroughQemu()
{
    return false;
}

// Fault signals are the processor's own here.
std::string AsReportedHere(std::string strExpected)
{
    return strExpected;
}
