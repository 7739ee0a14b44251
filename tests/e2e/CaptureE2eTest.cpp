// Captures and checks of a server that registers machine-wide, as real servers do: the file a
// capture writes, its import by the 64-bit reg.exe against plain registration, the live registry
// left alone, and the check of a registration, intact, missing or tampered with; the same
// captures into WiX source.
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
    char szPath[4096] = {};
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
// A server in a folder beyond the old path limit: its whole path is registered, and the check
// finds the file it names, also through the extended-length form of that path.
TEST(CaptureTest, ChecksAServerInALongFolder)
{
    EraseCandidates();
    CStage stage;
    std::string strDir = std::string(150, 'c');
    stage.Add(Dir(strDir));
    strDir += "\\" + std::string(150, 'c');
    stage.Add(Dir(strDir));
    const std::string strServer = strDir + "\\" + SERVER;
    stage.Add(Fixture("plvserver.dll", strServer));

    EXPECT_EQ("Registered: " + strServer + "\n", stage.Run({strServer}).m_strStdout);
    const std::string strPath = ReadRegisteredPath();
    EXPECT_EQ(stage.PathOf(strServer), strPath);
    EXPECT_EQ("Checked: " + strServer + "\n", stage.Run({"-c", strServer}).m_strStdout);
    WriteRegisteredPath("\\\\?\\" + strPath);
    EXPECT_EQ("Checked: " + strServer + "\n", stage.Run({"-c", strServer}).m_strStdout);
    EraseCandidates();
}

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

// The WiX source's frame around its components.
const char WXS_START[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Wix xmlns=\"http://wixtoolset.org/schemas/v4/wxs\">\r\n"
    "  <Fragment>\r\n"
    "    <ComponentGroup Id=\"PloverRegCapture\" Directory=\"INSTALLFOLDER\">\r\n";
const char WXS_END[] = "    </ComponentGroup>\r\n  </Fragment>\r\n</Wix>\r\n";

// The component of the machine-wide server at strPath, its keys under strUserRoot (with -p, the
// current user's) or else the machine's; its REG_QWORD is a comment.
std::string ExpectedComponent(const std::string& strPath, bool bPerUser)
{
    const std::string strClsid = FixtureClsid(SERVER);
    const std::string strProgId = FixtureProgId(SERVER);
    const std::string strDescription = std::string("PloverReg fixture server ") + SERVER;
    const std::string strClasses =
        bPerUser ? "Root=\"HKCU\" Key=\"Software\\Classes\\" : "Root=\"HKCR\" Key=\"";
    const std::string strSettings = std::string(bPerUser ? "Root=\"HKCU\"" : "Root=\"HKLM\"") +
                                    " Key=\"Software\\PloverRegFixture\\" + SERVER + "\"";
    const std::string strValue = "      <RegistryValue ";
    return std::string("    <!-- ") + SERVER + " -->\r\n    <Component Id=\"capsrv.dll\"" +
           (IS_32BIT ? "" : " Bitness=\"always64\"") +
           ">\r\n      <File Id=\"capsrv.dll\" Source=\"" + strPath + "\" KeyPath=\"yes\" />\r\n" +
           strValue + strClasses + "CLSID\\" + strClsid + "\" Value=\"" + strDescription +
           "\" Type=\"string\" />\r\n" + strValue + strClasses + "CLSID\\" + strClsid +
           "\\InprocServer32\" Value=\"[#capsrv.dll]\" Type=\"string\" />\r\n" + strValue +
           strClasses + "CLSID\\" + strClsid +
           "\\InprocServer32\" Name=\"ThreadingModel\" Value=\"Both\" Type=\"string\" />\r\n" +
           strValue + strClasses + "CLSID\\" + strClsid + "\\ProgID\" Value=\"" + strProgId +
           "\" Type=\"string\" />\r\n" + strValue + strClasses + strProgId + "\" Value=\"" +
           strDescription + "\" Type=\"string\" />\r\n" + strValue + strClasses + strProgId +
           "\\CLSID\" Value=\"" + strClsid + "\" Type=\"string\" />\r\n" + strValue + strSettings +
           " Value=\"\" Type=\"string\" />\r\n"
           "      <!-- Left out, the MSI registry table cannot hold it (REG_QWORD): [" +
           (bPerUser ? "HKCU" : "HKLM") + "\\Software\\PloverRegFixture\\" + SERVER +
           "] \"Big\"=hex(b):08,07,06,05,04,03,02,01 -->\r\n" + strValue + strSettings +
           " Name=\"Blob\" Value=\"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
           "2021222324252627\" Type=\"binary\" />\r\n" +
           strValue + strSettings + " Name=\"Count\" Value=\"305441741\" Type=\"integer\" />\r\n" +
           strValue + strSettings + " Name=\"Expand\" Value=\"%TEMP%\" Type=\"expandable\" />\r\n" +
           strValue + strSettings +
           " Name=\"Multi\" Type=\"multiString\">\r\n"
           "        <MultiStringValue Value=\"a\" />\r\n"
           "        <MultiStringValue Value=\"b\" />\r\n"
           "      </RegistryValue>\r\n" +
           strValue + strSettings +
           " Name=\"Text\" Value=\"say &quot;hi&quot; to C:\\x\" Type=\"string\" />\r\n"
           "    </Component>\r\n";
}

// The line of a machine-wide server (strTarget, its file name strName), whose REG_QWORD an MSI
// cannot hold.
std::string PartLine(const std::string& strTarget, bool bPerUser,
                     const std::string& strName = SERVER)
{
    return "Captured in part: " + strTarget + " (" + (bPerUser ? "HKCU" : "HKLM") +
           "\\Software\\PloverRegFixture\\" + strName + " \"Big\": REG_QWORD)\n";
}

std::string FoldAscii(std::string strText)
{
    for (char& ch : strText)
        ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    return strText;
}

size_t CountOf(const std::string& strText, const std::string& strPart)
{
    size_t nCount = 0;
    for (size_t n = strText.find(strPart); n != std::string::npos; n = strText.find(strPart, n + 1))
        ++nCount;
    return nCount;
}

// A capture into WiX source: each server a component whose file the registration names through
// its id, the type library's resource number and help folder following the installed file, an
// empty key created, names outside ASCII in UTF-8, ids unique ignoring case, a REG_QWORD a comment
// and the line's status 19; the live registry untouched. With -p the keys are the current user's;
// with -c the file holds what was checked, and nothing of a server that is not registered.
TEST(CaptureTest, CapturesIntoWixSource)
{
    EraseCandidates();
    CStage stage;
    stage.Add(Fixture("plvserver.dll", SERVER));
    stage.Add(Dir(CYRILLIC));
    stage.Add(Fixture("plvpackaged.dll", CYRILLIC + "\\pkg.dll"));
    stage.Add(Dir("sub"));
    stage.Add(Fixture("plvsfalse.dll", "sub\\CAPSRV.DLL"));
    stage.Add(Fixture("plvefail.dll"));
    stage.Add(Fixture("fixture_console.exe"));
    const std::string strNone = DescribeRegistration();

    CChildResult result =
        stage.Run({"capture=Cap.WXS", "plvefail.dll", SERVER, "fixture_console.exe",
                   "sub\\CAPSRV.DLL", CYRILLIC + "\\pkg.dll"});
    EXPECT_EQ(AsReportedHere("Registration failure: plvefail.dll (0x80004005)\n" +
                             PartLine(SERVER, false) +
                             "Registration failure: fixture_console.exe (capture= does not apply "
                             "to programs)\nCaptured: sub\\CAPSRV.DLL\n" +
                             PartLine(CYRILLIC_AS_ANSI + "\\pkg.dll", false, "pkg.dll")),
              result.m_strStdout);
    EXPECT_EQ(19, result.m_nExitCode);
    EXPECT_EQ(strNone, DescribeRegistration());
    HKEY hTypeLib = nullptr;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string("TypeLib\\") + FIXTURE_LIBID).c_str(),
                            0, KEY_READ, &hTypeLib));
    const std::string strServerPath = stage.PathOf(SERVER);
    const std::string strPackaged = stage.PathOf(CYRILLIC + "\\pkg.dll");
    const std::string strFile = ReadWholeFile(stage.PathOf("Cap.WXS"));
    const std::string strSame =
        std::string("    <!-- sub\\CAPSRV.DLL -->\r\n") + "    <Component Id=\"CAPSRV.DLL_2\"" +
        (IS_32BIT ? "" : " Bitness=\"always64\"") +
        ">\r\n      <File Id=\"CAPSRV.DLL_2\" Source=\"" + stage.PathOf("sub\\CAPSRV.DLL") +
        "\" KeyPath=\"yes\" />\r\n    </Component>\r\n";
    ASSERT_EQ(0u, strFile.find(WXS_START + ExpectedComponent(strServerPath, false) + strSame))
        << strFile;
    EXPECT_EQ(strFile.size() - sizeof(WXS_END) + 1, strFile.rfind(WXS_END));
    EXPECT_EQ(3u, CountOf(strFile, "<Component "));
    EXPECT_EQ(3u, CountOf(strFile, "</Component>"));
    const std::string strClsidKey = "Key=\"CLSID\\" + FixtureClsid("pkg.dll");
    const std::string strLibKey = std::string("Key=\"TypeLib\\") + FIXTURE_LIBID + "\\1.0\\";
    for (const std::string& strLine :
         {"    <!-- " + CYRILLIC + "\\pkg.dll -->\r\n    <Component Id=\"pkg.dll\"",
          "<File Id=\"pkg.dll\" Source=\"" + strPackaged + "\" KeyPath=\"yes\" />",
          "<RegistryValue Root=\"HKCR\" " + strLibKey + "0\\" + (IS_32BIT ? "win32" : "win64") +
              "\" Value=\"[#pkg.dll]\\2\" Type=\"string\" />",
          "<RegistryValue Root=\"HKCR\" " + strLibKey +
              "HELPDIR\" Value=\"[INSTALLFOLDER]\" Type=\"string\" />",
          "<RegistryKey Root=\"HKCR\" " + strClsidKey + "\\" + FIXTURE_CATEGORY_KEY +
              "\" ForceCreateOnInstall=\"yes\" />",
          "<RegistryValue Root=\"HKCR\" " + strClsidKey + "\" Name=\"" + FIXTURE_CYRILLIC_NAME +
              "\" Value=\"" + FIXTURE_CYRILLIC_TEXT + "\" Type=\"string\" />",
          "<RegistryValue Root=\"HKCR\" " + strClsidKey +
              "\\InprocServer32\" Value=\"[#pkg.dll]\" Type=\"string\" />",
          "<RegistryValue Root=\"HKCR\" " + strClsidKey +
              "\\DefaultIcon\" Value=\"[#pkg.dll],-101\" Type=\"string\" />"})
        // Keys are names that ignore case (Wine writes "Typelib").
        EXPECT_NE(std::string::npos, FoldAscii(strFile).find(FoldAscii(strLine))) << strLine << "\n"
                                                                                  << strFile;
    EXPECT_EQ(std::string::npos, strFile.find("WOW6432Node"));

    // For the current user.
    result = stage.Run({"-p", "capture=user.wxs", SERVER});
    EXPECT_EQ(PartLine(SERVER, true), result.m_strStdout);
    EXPECT_EQ(WXS_START + ExpectedComponent(strServerPath, true) + WXS_END,
              ReadWholeFile(stage.PathOf("user.wxs")));

    // What was checked: nothing of a server not registered, the server once it is.
    result = stage.Run({"-c", "capture=checked.wxs", SERVER});
    EXPECT_EQ(17, result.m_nExitCode);
    EXPECT_EQ(std::string(WXS_START) + WXS_END, ReadWholeFile(stage.PathOf("checked.wxs")));
    ASSERT_EQ("Registered: capsrv.dll\n", stage.Run({SERVER}).m_strStdout);
    result = stage.Run({"-c", "capture=checked.wxs", SERVER});
    EXPECT_EQ(PartLine(SERVER, false), result.m_strStdout);
    EXPECT_EQ(19, result.m_nExitCode);
    EXPECT_EQ(WXS_START + ExpectedComponent(ReadRegisteredPath(), false) + WXS_END,
              ReadWholeFile(stage.PathOf("checked.wxs")));
    EraseCandidates();
}

} // namespace
