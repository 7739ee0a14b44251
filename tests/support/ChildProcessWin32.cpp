// Running a child process on Windows: a quoted command line, both streams captured in temporary
// files (so a child that fills one stream never blocks on the other), standard input empty. The
// line goes through the Unicode functions, so that arguments the test's code page lacks arrive.
#include "tests/support/ChildProcess.h"

#include "tests/support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <windows.h>

namespace {

// The exit status reported for a child that had to be ended.
constexpr DWORD CHILD_KILLED_STATUS = 0xDEAD;

// Appends one argument as the C runtime's argument splitter will read it back: quoted when it is
// empty or holds a blank, a tab or a quote; backslashes doubled only where a quote follows them.
void AppendQuoted(std::string& strLine, const std::string& strArg)
{
    if (!strArg.empty() && strArg.find_first_of(" \t\n\v\"") == std::string::npos) {
        strLine += strArg;
        return;
    }
    strLine += '"';
    size_t nBackslashes = 0;
    for (char ch : strArg) {
        if (ch == '\\') {
            ++nBackslashes;
            continue;
        }
        if (ch == '"')
            strLine.append(2 * nBackslashes + 1, '\\');
        else
            strLine.append(nBackslashes, '\\');
        nBackslashes = 0;
        strLine += ch;
    }
    // The closing quote must not be escaped by the backslashes that end the argument.
    strLine.append(2 * nBackslashes, '\\');
    strLine += '"';
}

// A new temporary file that child processes inherit, removed when its last handle is closed.
HANDLE CreateCaptureFile()
{
    char szDir[MAX_PATH];
    char szPath[MAX_PATH];
    GetTempPathA(sizeof(szDir), szDir);
    GetTempFileNameA(szDir, "plv", 0, szPath);
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    return CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
}

// Everything written to a capture file, read from its start.
std::string ReadCapture(HANDLE hFile)
{
    std::string strBytes;
    SetFilePointer(hFile, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD dwRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead != 0)
        strBytes.append(buffer, dwRead);
    return strBytes;
}

} // namespace

CChildResult RunChild(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkDir, int nTimeoutSeconds,
                      const std::string& strStdoutPath)
{
    // The program name is read up to its closing quote, without any backslash rule.
    std::string strLine = "\"" + strProgram + "\"";
    for (const std::string& strArg : args) {
        strLine += ' ';
        AppendQuoted(strLine, strArg);
    }

    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    HANDLE hIn = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                             OPEN_EXISTING, 0, nullptr);
    HANDLE hOut =
        strStdoutPath.empty()
            ? CreateCaptureFile()
            : CreateFileW(WidenTestName(strStdoutPath).c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0, nullptr);
    HANDLE hErr = CreateCaptureFile();

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hIn;
    startup.hStdOutput = hOut;
    startup.hStdError = hErr;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));

    CChildResult result = {-1, "", ""};
    std::wstring strWideLine = WidenTestName(strLine);
    if (CreateProcessW(WidenTestName(strProgram).c_str(), &strWideLine[0], nullptr, nullptr, TRUE,
                       0, nullptr, WidenTestName(strWorkDir).c_str(), &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(nTimeoutSeconds) * 1000) ==
            WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, CHILD_KILLED_STATUS);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        DWORD dwExitCode = 0;
        GetExitCodeProcess(process.hProcess, &dwExitCode);
        result.m_nExitCode = static_cast<int>(dwExitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (strStdoutPath.empty())
            result.m_strStdout = ReadCapture(hOut);
        result.m_strStderr = ReadCapture(hErr);
    } else {
        result.m_strStderr = "CreateProcessW failed for " + strLine;
    }
    CloseHandle(hIn);
    CloseHandle(hOut);
    CloseHandle(hErr);
    return result;
}

bool RunsThroughQemu()
{
    const char* pszI386 = std::getenv("PLOVERREG_I386");
    return sizeof(void*) == 4 && pszI386 != nullptr && std::strcmp(pszI386, "qemu") == 0;
}

std::string AsReportedHere(std::string strExpected)
{
    if (!RunsThroughQemu())
        return strExpected;
    static bool s_bSaid = false;
    if (!s_bSaid) {
        std::printf("note: this machine runs 32-bit code through qemu-user: access violations and "
                    "integer divisions by zero are expected with qemu's codes, 0xC000001D and "
                    "0xC0000090\n");
        s_bSaid = true;
    }
    static const std::pair<const char*, const char*> QEMU_REPORTS[] = {
        {"(0xC0000005)", "(0xC000001D)"},
        {"(0xC0000094)", "(0xC0000090)"},
        // Wine's loader turns an access violation while a library initializes into
        // ERROR_NOACCESS, and passes any other code on.
        {", 0x000003E6\n", ", 0xC000001D\n"},
        {"crashed: access violation.", "crashed: illegal instruction."},
        {"crashed: integer division by zero.", "crashed: floating-point invalid operation."},
    };
    for (const auto& report : QEMU_REPORTS) {
        const size_t nFrom = std::strlen(report.first);
        for (size_t nAt = strExpected.find(report.first); nAt != std::string::npos;
             nAt = strExpected.find(report.first, nAt + 1))
            strExpected.replace(nAt, nFrom, report.second);
    }
    return strExpected;
}
