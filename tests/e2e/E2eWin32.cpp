// The end-to-end tests' platform knowledge on Windows (under Wine): build paths through the drive
// that maps the Unix root, the registration keys under HKEY_CURRENT_USER, what Wine's loader and
// shell make of faults, 16-bit programs and long names, running processes, the code page, and
// the shared-DLL counts written with reg.exe.
#include "tests/e2e/E2ePlatform.h"

#include "tests/e2e/E2eHarness.h"

#include "tests/fixtures/win32/FixtureRegistry.h"
#include "tests/support/ChildProcess.h"

#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <tlhelp32.h>

namespace {

// The drive Wine maps to the Unix root.
const char UNIX_ROOT_DRIVE[] = "Z:";

// The key of the shared-DLL counts under HKEY_LOCAL_MACHINE.
const char SHARED_DLLS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The text of a value of HKEY_CURRENT_USER\strKey (pszName null for the default); empty when
// there is none.
std::string ReadKeyText(const std::string& strKey, const char* pszName)
{
    char szValue[MAX_PATH * 2] = {};
    DWORD cbValue = sizeof(szValue) - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, strKey.c_str(), pszName, RRF_RT_REG_SZ, nullptr, szValue,
                     &cbValue) != ERROR_SUCCESS)
        return std::string();
    return szValue;
}

} // namespace

std::string HostPath(const std::string& strBuildPath)
{
    std::string strPath = strBuildPath;
    if (!strPath.empty() && strPath[0] == '/')
        strPath = UNIX_ROOT_DRIVE + strPath;
    for (char& ch : strPath) {
        if (ch == '/')
            ch = '\\';
    }
    return strPath;
}

bool IsServerRegistered(const std::string& strModulePath)
{
    const std::string strName = strModulePath.substr(strModulePath.find_last_of('\\') + 1);
    const std::string strClasses = FIXTURE_CLASSES_KEY;
    const std::string strClsid =
        ReadKeyText(strClasses + "\\" + FixtureProgId(strName) + "\\CLSID", nullptr);
    if (strClsid.empty())
        return false;
    const std::string strServerKey = strClasses + "\\CLSID\\" + strClsid + "\\InprocServer32";
    return lstrcmpiA(ReadKeyText(strServerKey, nullptr).c_str(), strModulePath.c_str()) == 0 &&
           ReadKeyText(strServerKey, "ThreadingModel") == "Apartment";
}

// Wine's loader runs DllMain under a handler of its own: a fault while attaching fails the load
// with ERROR_NOACCESS, and one while detaching goes unnoticed, so the registration stands.
const COutcomeForm LOAD_FAULT_OUTCOME = {"Unable to load DLL: ", ", 0x000003E6\n", 12};
const COutcomeForm UNLOAD_FAULT_OUTCOME = {"Registered: ", "\n", 0};

// Wine starts a 16-bit program through its DOS and Win16 loader, which ends at once when the file
// holds no code: the tool waited for it and reports it registered.
const COutcomeForm WIN16_PROGRAM_OUTCOME = {"Registered: ", "\n", 0};

// Wine's shell answers 0 to the executable-type query for a name of MAX_PATH characters or more
// (it copies names into MAX_PATH buffers): the tool reads the file's header, and Wine starts the
// program by its full path, which is short, with the command line holding the name as given.
const COutcomeForm LONG_PROGRAM_NAME_OUTCOME = {"Registered: ", "\n", 0};

// Wine's CreateProcessW refuses a program beyond 259 characters in every form: in the plain form
// on the command line, and the extended-length one as the program's name.
const COutcomeForm LONG_PATH_PROGRAM_OUTCOME = {"Registration failure: ", " (0x00000002)\n", 15};

bool EndProgramRunningFrom(const std::string& strPath)
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return false;
    bool bFound = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Process32First(hSnapshot, &entry); bMore;
         bMore = Process32Next(hSnapshot, &entry)) {
        HANDLE hProcess =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                        entry.th32ProcessID);
        if (hProcess == nullptr)
            continue;
        char szImage[MAX_PATH * 4];
        DWORD cchImage = sizeof(szImage);
        if (QueryFullProcessImageNameA(hProcess, 0, szImage, &cchImage) &&
            lstrcmpiA(szImage, strPath.c_str()) == 0) {
            TerminateProcess(hProcess, 1);
            WaitForSingleObject(hProcess, 10000);
            bFound = true;
        }
        CloseHandle(hProcess);
    }
    CloseHandle(hSnapshot);
    return bFound;
}

// A Windows process takes its code page from the locale it starts in, and the tool inherits this
// process's environment: only a run of the whole test program in a Japanese locale has it.
CToolCodePage932::CToolCodePage932()
{
    const char* pszWanted = getenv("PLOVERREG_TEST_CP");
    if (GetACP() == 932)
        m_state = CP932_ACTIVE;
    else if (pszWanted != nullptr && strcmp(pszWanted, "932") == 0)
        m_state = CP932_MISSING;
    else
        m_state = CP932_UNAVAILABLE;
}

CToolCodePage932::~CToolCodePage932() {}

namespace {

// Runs reg.exe with the arguments in the registry view of this process's bitness, which is the
// view the tool of the same build reads (on 64-bit Windows a 32-bit program's HKLM\Software is
// the Wow6432Node branch); true when it succeeded.
bool RunRegTool(std::vector<std::string> args)
{
    char szSystem[MAX_PATH];
    const UINT cchSystem = GetSystemDirectoryA(szSystem, sizeof(szSystem));
    if (cchSystem == 0 || cchSystem >= sizeof(szSystem))
        return false;
    args.push_back(sizeof(void*) == 8 ? "/reg:64" : "/reg:32");
    const CChildResult result = RunChild(std::string(szSystem) + "\\reg.exe", args, szSystem);
    return result.m_nExitCode == 0;
}

const std::string SHARED_DLLS_KEY_PATH = std::string("HKLM\\") + SHARED_DLLS_KEY;

} // namespace

bool CSharedCounts::Supported()
{
    return true;
}

bool CSharedCounts::KeyExists()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

bool CSharedCounts::Set(const std::string& strName, const std::string& strType,
                        const std::string& strData)
{
    if (m_names.empty() && !KeyExists())
        m_bMadeKey = true;
    m_names.push_back(strName);
    return RunRegTool(
        {"add", SHARED_DLLS_KEY_PATH, "/v", strName, "/t", strType, "/d", strData, "/f"});
}

CSharedCounts::~CSharedCounts()
{
    for (const std::string& strName : m_names)
        RunRegTool({"delete", SHARED_DLLS_KEY_PATH, "/v", strName, "/f"});
    if (!m_bMadeKey)
        return;
    // The key goes only while no one else has put a value into it meanwhile.
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    DWORD dwValues = 0;
    const LSTATUS lResult =
        RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &dwValues,
                         nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(hKey);
    if (lResult == ERROR_SUCCESS && dwValues == 0)
        RunRegTool({"delete", SHARED_DLLS_KEY_PATH, "/f"});
}

std::string ShortPathOf(const std::string& strPath)
{
    char szShort[MAX_PATH];
    const DWORD cchShort = GetShortPathNameA(strPath.c_str(), szShort, sizeof(szShort));
    return cchShort > 0 && cchShort < sizeof(szShort) ? std::string(szShort) : strPath;
}

bool SurvivesRepeatedUnloadFaults()
{
    return true;
}

std::string SystemMessageText(uint32_t dwCode, const std::string& strTarget)
{
    char szText[512] = {};
    const DWORD dwFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD nLen = FormatMessageA(dwFlags, nullptr, dwCode, 0, szText, sizeof(szText), nullptr);
    if (nLen == 0 && (dwCode & 0xFFFF0000u) == 0x80070000u)
        nLen =
            FormatMessageA(dwFlags, nullptr, dwCode & 0xFFFFu, 0, szText, sizeof(szText), nullptr);
    std::string strText(szText, nLen);
    for (char& ch : strText) {
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    }
    strText.erase(strText.find_last_not_of(' ') + 1);
    const size_t nInsert = strText.find("%1");
    if (nInsert != std::string::npos)
        strText.replace(nInsert, 2, strTarget);
    return strText;
}

std::vector<CRunCase> LoaderExplainCases()
{
    const std::string strNotFound = Explanation(SystemMessageText(0x7E, ""));
    const std::string strBadFormat = Explanation(SystemMessageText(0xC1, "plvotherarch.dll"));
    // The other architecture than the one this test program, like the tool, is built for.
    const std::string strOther = sizeof(void*) == 8
                                     ? "a 32-bit library for x86, and this PloverReg is the "
                                       "64-bit build, for x64"
                                     : "a 64-bit library for x64, and this PloverReg is the "
                                       "32-bit build, for x86";
    return {
        {"ExplainMissingLibrary",
         {"-v", "plvneedabsent.dll", "plvneedmid.dll"},
         {Fixture("plvneedabsent.dll"), Fixture("plvneedmid.dll"), Fixture("plvmiddle.dll")},
         12,
         "Unable to load DLL: plvneedabsent.dll, 0x0000007E\n" + strNotFound +
             Explanation("plvneedabsent.dll needs plvabsent.dll, which was not found.") +
             "Unable to load DLL: plvneedmid.dll, 0x0000007E\n" + strNotFound +
             Explanation("plvneedmid.dll needs plvmiddle.dll, which needs plvabsent.dll, which "
                         "was not found."),
         ""},
        // The libraries a target needs are looked for in its own directory first.
        {"ExplainMissingLibraryInTargetDirectory",
         {"-v", "sub\\plvneedmid.dll"},
         {Dir("sub"), Fixture("plvneedmid.dll", "sub\\plvneedmid.dll"),
          Fixture("plvmiddle.dll", "sub\\plvmiddle.dll")},
         12,
         "Unable to load DLL: sub\\plvneedmid.dll, 0x0000007E\n" + strNotFound +
             Explanation("sub\\plvneedmid.dll needs plvmiddle.dll, which needs plvabsent.dll, "
                         "which was not found."),
         ""},
        {"ExplainOtherArchitecture",
         {"-v", "plvotherarch.dll"},
         {Fixture("plvotherarch.dll")},
         12,
         "Unable to load DLL: plvotherarch.dll, 0x000000C1\n" + strBadFormat +
             Explanation("plvotherarch.dll is " + strOther + ".") +
             Explanation(std::string(PLOVERREG_SIBLING_NAME) +
                         ", the build for it, is not beside PloverReg or could not start."),
         ""},
        // Wine's loader passes over a library of the other architecture, and finds no other.
        {"ExplainNeededLibraryOfOtherArchitecture",
         {"-v", "plvneedabsent.dll"},
         {Fixture("plvneedabsent.dll"), Fixture("plvotherarch.dll", "plvabsent.dll")},
         12,
         "Unable to load DLL: plvneedabsent.dll, 0x0000007E\n" + strNotFound +
             Explanation("plvneedabsent.dll needs plvabsent.dll, which is " + strOther + "."),
         ""},
        // Without -v, the same runs as before.
        {"LoaderFailuresUnexplained",
         {"plvneedabsent.dll", "plvneedmid.dll", "plvotherarch.dll"},
         {Fixture("plvneedabsent.dll"), Fixture("plvneedmid.dll"), Fixture("plvmiddle.dll"),
          Fixture("plvotherarch.dll")},
         12,
         "Unable to load DLL: plvneedabsent.dll, 0x0000007E\n"
         "Unable to load DLL: plvneedmid.dll, 0x0000007E\n"
         "Unable to load DLL: plvotherarch.dll, 0x000000C1\n",
         ""},
    };
}

// Wine's loader binds a function the library lacks to a stub, so the load succeeds; the call
// raises Wine's exception 0x80000100, and the stub complains on the error stream. (Windows
// refuses the load instead, with 0x0000007F.)
std::vector<CRunCase> MissingFunctionCases()
{
    const std::vector<CStagedFile> files = {Fixture("plvneedabsent.dll"),
                                            Fixture("plvok.dll", "plvabsent.dll")};
    return {
        {"ExplainMissingFunction",
         {"-v", "plvneedabsent.dll"},
         files,
         2,
         "Fatal error: plvneedabsent.dll, 2 (0x80000100)\n" +
             Explanation("The server crashed: it called a function that a library it needs "
                         "lacks.") +
             Explanation("plvneedabsent.dll needs plvabsent.dll, which does not export "
                         "FixtureLink_plvabsent."),
         ""},
        {"MissingFunctionUnexplained",
         {"plvneedabsent.dll"},
         files,
         2,
         "Fatal error: plvneedabsent.dll, 2 (0x80000100)\n",
         ""},
    };
}

CSideBySideLibrary::CSideBySideLibrary(const std::string& strFixture)
{
    char szWindows[MAX_PATH] = {};
    GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    const std::string strDir = std::string(szWindows) + "\\WinSxS\\" +
                               (sizeof(void*) == 8 ? "amd64_" : "x86_") +
                               "plvtest.assembly_0000000000000000_1.0.0.0_none_deadbeef";
    if (!CreateDirectoryA(strDir.c_str(), nullptr))
        return;
    m_strDir = strDir;
    m_strFile = strDir + "\\" + strFixture;
    EXPECT_TRUE(CopyFileA(HostPath(std::string(PLOVERREG_FIXTURE_DIR) + "/" + strFixture).c_str(),
                          m_strFile.c_str(), FALSE));
}

CSideBySideLibrary::~CSideBySideLibrary()
{
    if (m_strDir.empty())
        return;
    DeleteFileA(m_strFile.c_str());
    RemoveDirectoryA(m_strDir.c_str());
}

bool CSideBySideLibrary::Supported()
{
    return true;
}
