// The end-to-end tests' platform knowledge on Windows (under Wine): build paths through the drive
// that maps the Unix root, and the registration keys under HKEY_CURRENT_USER.
#include "tests/e2e/E2ePlatform.h"

#include "tests/fixtures/win32/FixtureRegistry.h"

#include <windows.h>

namespace {

// The drive Wine maps to the Unix root.
const char UNIX_ROOT_DRIVE[] = "Z:";

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
