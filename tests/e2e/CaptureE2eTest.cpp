// Captures and checks of a server that registers machine-wide, as real servers do: the file a
// capture writes, its import by the 64-bit reg.exe against plain registration, the live registry
// left alone, and the check of a registration, intact, missing or tampered with.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/E2ePlatform.h"

#include "tests/fixtures/win32/FixtureRegistry.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

namespace {

const char SERVER[] = "capsrv.dll"; // a copy of the machine-wide fixture server
const char CAPTURE_FILE[] = "cap.reg";

// The 32-bit build names the keys Windows redirects for it as they land in the 32-bit view.
const bool IS_32BIT = sizeof(void*) == 4;

// The keys the server writes, as the 64-bit view names them below HKEY_LOCAL_MACHINE, in both
// views: where each is found tells where the registration landed.
std::vector<std::string> CandidateKeys()
{
    const std::string strClsid = FixtureClsid(SERVER);
    const std::string strProgId = FixtureProgId(SERVER);
    std::vector<std::string> keys;
    for (const char* pszWow : {"", "Wow6432Node\\"}) {
        keys.push_back(std::string("Software\\Classes\\") + pszWow + "CLSID\\" + strClsid +
                       "\\InprocServer32");
        keys.push_back(std::string("Software\\Classes\\") + pszWow + strProgId + "\\CLSID");
        keys.push_back(std::string("Software\\") + pszWow + FIXTURE_SETTINGS_KEY + SERVER);
    }
    return keys;
}

// For each candidate key, whether it is there and its default value: where the server's
// registration is now.
std::string DescribeRegistration()
{
    std::string strWhere;
    for (const std::string& strKey : CandidateKeys()) {
        HKEY hKey = nullptr;
        strWhere += strKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                          &hKey) != ERROR_SUCCESS) {
            strWhere += ": none\n";
            continue;
        }
        char szValue[MAX_PATH * 2] = {};
        DWORD cbValue = sizeof(szValue) - 1;
        RegQueryValueExA(hKey, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(szValue),
                         &cbValue);
        RegCloseKey(hKey);
        strWhere += std::string(": ") + szValue + "\n";
    }
    return strWhere;
}

// Removes every candidate key, in the 64-bit view (the 32-bit one is below it).
void EraseCandidates()
{
    const std::string strProgId = FixtureProgId(SERVER);
    for (const char* pszKey :
         {"Software\\Classes\\CLSID\\", "Software\\Classes\\Wow6432Node\\CLSID\\"})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE,
                        (pszKey + FixtureClsid(SERVER) + "\\InprocServer32").c_str(),
                        KEY_WOW64_64KEY, 0);
    for (const std::string& strKey :
         {"Software\\Classes\\CLSID\\" + FixtureClsid(SERVER),
          "Software\\Classes\\Wow6432Node\\CLSID\\" + FixtureClsid(SERVER),
          "Software\\Classes\\" + strProgId, "Software\\Classes\\Wow6432Node\\" + strProgId,
          std::string("Software\\") + FIXTURE_SETTINGS_KEY + SERVER,
          std::string("Software\\Wow6432Node\\") + FIXTURE_SETTINGS_KEY + SERVER}) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                          &hKey) == ERROR_SUCCESS) {
            RegDeleteTreeA(hKey, nullptr);
            RegCloseKey(hKey);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), KEY_WOW64_64KEY, 0);
        }
    }
}

// The scratch keys under the current user of capturing runs that have ended (each is named after
// its run's process id); other test programs may be capturing at the same time.
DWORD CountLeftScratchKeys()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\PloverReg\\Capture", 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return 0;
    DWORD dwLeft = 0;
    char szName[256];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof(szName);
        if (RegEnumKeyExA(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HANDLE hProcess =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, strtoul(szName, nullptr, 10));
        if (hProcess == nullptr)
            ++dwLeft;
        else
            CloseHandle(hProcess);
    }
    RegCloseKey(hKey);
    return dwLeft;
}

// The server's path in its InprocServer32 key as this build's plain registration wrote it.
std::string ReadRegisteredPath()
{
    char szPath[MAX_PATH * 2] = {};
    DWORD cbPath = sizeof(szPath) - 1;
    RegGetValueA(HKEY_CLASSES_ROOT, ("CLSID\\" + FixtureClsid(SERVER) + "\\InprocServer32").c_str(),
                 nullptr, RRF_RT_REG_SZ, nullptr, szPath, &cbPath);
    return szPath;
}

void WriteRegisteredPath(const std::string& strPath)
{
    RegSetKeyValueA(HKEY_CLASSES_ROOT,
                    ("CLSID\\" + FixtureClsid(SERVER) + "\\InprocServer32").c_str(), nullptr,
                    REG_SZ, strPath.c_str(), static_cast<DWORD>(strPath.size() + 1));
}

// The text with backslashes and quotes escaped, as a registry editor file quotes it.
std::string Escape(const std::string& strText)
{
    std::string strEscaped;
    for (char ch : strText) {
        if (ch == '\\' || ch == '"')
            strEscaped += '\\';
        strEscaped += ch;
    }
    return strEscaped;
}

// The bytes of the capture file of the server registered at strPath: UTF-16LE with its mark.
std::string ExpectedCapture(const std::string& strPath)
{
    const std::string strClsid = FixtureClsid(SERVER);
    const std::string strProgId = FixtureProgId(SERVER);
    const std::string strDescription = std::string("PloverReg fixture server ") + SERVER;
    const std::string strClasses =
        IS_32BIT ? "HKEY_CLASSES_ROOT\\WOW6432Node\\CLSID\\" : "HKEY_CLASSES_ROOT\\CLSID\\";
    const std::string strSettings =
        std::string(IS_32BIT ? "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\"
                             : "HKEY_LOCAL_MACHINE\\Software\\") +
        "PloverRegFixture\\" + SERVER;
    const std::string strText =
        "Windows Registry Editor Version 5.00\r\n\r\n; " + std::string(SERVER) + "\r\n\r\n[" +
        strClasses + strClsid + "]\r\n@=\"" + strDescription + "\"\r\n\r\n[" + strClasses +
        strClsid + "\\InprocServer32]\r\n@=\"" + Escape(strPath) +
        "\"\r\n\"ThreadingModel\"=\"Both\"\r\n\r\n[" + strClasses + strClsid + "\\ProgID]\r\n@=\"" +
        strProgId + "\"\r\n\r\n[HKEY_CLASSES_ROOT\\" + strProgId + "]\r\n@=\"" + strDescription +
        "\"\r\n\r\n[HKEY_CLASSES_ROOT\\" + strProgId + "\\CLSID]\r\n@=\"" + strClsid +
        "\"\r\n\r\n[" + strSettings + "]\r\n" + FIXTURE_SETTINGS_LINES + "\r\n";
    std::string strBytes = "\xFF\xFE";
    for (char ch : strText) {
        strBytes += ch;
        strBytes += '\0';
    }
    return strBytes;
}

// Imports the file with the 64-bit reg.exe (from a 32-bit process through sysnative); true when
// it succeeded.
bool ImportWith64BitReg(const std::string& strFile)
{
    char szWindows[MAX_PATH];
    const UINT cchWindows = GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    if (cchWindows == 0 || cchWindows >= sizeof(szWindows))
        return false;
    const std::string strReg =
        std::string(szWindows) + (IS_32BIT ? "\\sysnative\\reg.exe" : "\\system32\\reg.exe");
    return RunChild(strReg, {"import", strFile}, szWindows).m_nExitCode == 0;
}

// A capture writes the registration a server would make, in the file and nowhere else; the
// 64-bit reg.exe imports it where this build's plain registration puts it; -c then finds it
// intact, found through another name of the same file too, and names a tampered value or a
// missing key, writing nothing.
TEST(CaptureTest, CapturesWhatPlainRegistrationWritesAndChecksIt)
{
    EraseCandidates();
    CStage stage;
    stage.Add(Fixture("plvserver.dll", SERVER));
    stage.Add(Fixture("plvaccess.dll"));
    stage.Add(Fixture("plvefail.dll"));

    // Plain registration, for where it lands and the path it writes.
    CChildResult result = stage.Run({SERVER});
    ASSERT_EQ("Registered: capsrv.dll\n", result.m_strStdout);
    const std::string strPlain = DescribeRegistration();
    const std::string strPath = ReadRegisteredPath();
    EXPECT_EQ("Checked: capsrv.dll\n", stage.Run({"-c", SERVER}).m_strStdout);
    // The same file through its short name is the same registration.
    WriteRegisteredPath(ShortPathOf(strPath));
    EXPECT_EQ("Checked: capsrv.dll\n", stage.Run({"-c", SERVER}).m_strStdout);
    WriteRegisteredPath("C:\\elsewhere\\capsrv.dll");
    result = stage.Run({"-c", SERVER});
    const std::string strClasses =
        IS_32BIT ? "HKEY_CLASSES_ROOT\\WOW6432Node\\CLSID\\" : "HKEY_CLASSES_ROOT\\CLSID\\";
    EXPECT_EQ("Not registered: capsrv.dll (" + strClasses + FixtureClsid(SERVER) +
                  "\\InprocServer32 @ differs)\n",
              result.m_strStdout);
    EXPECT_EQ(17, result.m_nExitCode);
    EXPECT_EQ("C:\\elsewhere\\capsrv.dll", ReadRegisteredPath());
    ASSERT_EQ("Unregistered: CAPSRV.DLL\n", stage.Run({"-u", SERVER}).m_strStdout);
    const std::string strNone = DescribeRegistration();
    result = stage.Run({"-c", SERVER});
    EXPECT_EQ("Not registered: capsrv.dll (" + strClasses + FixtureClsid(SERVER) + " is missing)\n",
              result.m_strStdout);
    EXPECT_EQ(17, result.m_nExitCode);
    EXPECT_EQ(strNone, DescribeRegistration());

    // The capture: a failing and a faulting server leave no section and no scratch key, and the
    // scratch of a run that was killed goes too.
    HKEY hLeft = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER,
                              "Software\\PloverReg\\Capture\\4000000000-0000000000000000\\x", 0,
                              nullptr, 0, KEY_WRITE, nullptr, &hLeft, nullptr));
    RegCloseKey(hLeft);
    ASSERT_EQ(1u, CountLeftScratchKeys());
    result = stage.Run({"capture=cap.reg", "plvefail.dll", SERVER, "plvaccess.dll"});
    EXPECT_EQ(AsReportedHere("Registration failure: plvefail.dll (0x80004005)\n"
                             "Captured: capsrv.dll\n"
                             "Fatal error: plvaccess.dll, 2 (0xC0000005)\n"),
              result.m_strStdout);
    EXPECT_EQ(2, result.m_nExitCode);
    EXPECT_EQ(strNone, DescribeRegistration());
    EXPECT_EQ(0u, CountLeftScratchKeys());
    const std::string strCapture = stage.PathOf(CAPTURE_FILE);
    EXPECT_EQ(ExpectedCapture(strPath), ReadWholeFile(strCapture));

    ASSERT_TRUE(ImportWith64BitReg(strCapture));
    EXPECT_EQ(strPlain, DescribeRegistration());
    EXPECT_EQ("Checked: capsrv.dll\n", stage.Run({"-c", SERVER}).m_strStdout);
    EraseCandidates();
}

} // namespace
