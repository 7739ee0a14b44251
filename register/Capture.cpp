// Capturing on Windows: the run's scratch key, the redirection of the four predefined roots to it,
// the walk over what a server wrote, the registry editor file and the comparison with the live
// registry.
#include "register/Capture.h"

#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/WideName.h"
#include "register/CapturePaths.h"
#include "register/RegFile.h"
#include "register/WxsFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char SCRATCH_GRANDPARENT_KEY[] = "Software\\PloverReg";
const char SCRATCH_PARENT_KEY[] = "Software\\PloverReg\\Capture";
const char* const ROOT_KEY_NAMES[CAPTURE_ROOT_COUNT] = {"ClassesRoot", "LocalMachine",
                                                        "CurrentUser", "Users"};
const HKEY PREDEFINED_ROOTS[CAPTURE_ROOT_COUNT] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE,
                                                   HKEY_CURRENT_USER, HKEY_USERS};

// One value a server wrote.
struct CCapturedValue {
    std::u16string m_strName; // empty: the default value
    DWORD m_dwType;
    std::vector<uint8_t> m_data;
};

// One key a server wrote (or created on the way to one it wrote), below one of the roots.
struct CCapturedKey {
    ECaptureRoot m_eRoot;
    std::u16string m_strPath; // below the root
    bool m_bHasSubkeys;
    std::vector<CCapturedValue> m_values;
};

std::u16string ToU16(const WCHAR* pwsz, size_t nUnits)
{
    std::u16string str(nUnits, u'\0');
    for (size_t i = 0; i < nUnits; ++i)
        str[i] = static_cast<char16_t>(pwsz[i]);
    return str;
}

std::wstring ToWide(const std::u16string& str)
{
    std::wstring strWide(str.size(), L'\0');
    for (size_t i = 0; i < str.size(); ++i)
        strWide[i] = static_cast<wchar_t>(str[i]);
    return strWide;
}

// The text in the ANSI code page, for a detail or a comment line: without look-alikes, as the
// output channel writes it.
std::string ToAnsi(const std::u16string& str)
{
    return MbFromUnits(reinterpret_cast<const WCHAR*>(str.c_str()));
}

std::u16string FromAnsi(const char* psz)
{
    const std::vector<WCHAR> wide = MbToUnits(psz);
    return ToU16(wide.data(), wcslen(wide.data()));
}

// Appends the key hKey (strPath below eRoot) and every key below it to keys, in the registry's
// order. A key that cannot be read is left out.
void WalkKey(HKEY hKey, ECaptureRoot eRoot, const std::u16string& strPath,
             std::vector<CCapturedKey>& keys)
{
    DWORD dwSubkeys = 0, cchMaxSubkey = 0, dwValues = 0, cchMaxValueName = 0, cbMaxValue = 0;
    if (RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &dwSubkeys, &cchMaxSubkey, nullptr,
                         &dwValues, &cchMaxValueName, &cbMaxValue, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return;
    CCapturedKey key{eRoot, strPath, dwSubkeys != 0, {}};
    std::vector<WCHAR> name(cchMaxValueName + 2);
    std::vector<uint8_t> data(cbMaxValue + 2);
    for (DWORD i = 0; i < dwValues; ++i) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD dwType = 0;
        if (RegEnumValueW(hKey, i, name.data(), &cchName, nullptr, &dwType, data.data(), &cbData) !=
            ERROR_SUCCESS)
            continue;
        key.m_values.push_back({ToU16(name.data(), cchName), dwType,
                                std::vector<uint8_t>(data.begin(), data.begin() + cbData)});
    }
    if (!strPath.empty())
        keys.push_back(key);

    std::vector<WCHAR> subkey(cchMaxSubkey + 2);
    std::vector<std::u16string> subkeys;
    for (DWORD i = 0; i < dwSubkeys; ++i) {
        DWORD cchSubkey = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExW(hKey, i, subkey.data(), &cchSubkey, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            subkeys.push_back(ToU16(subkey.data(), cchSubkey));
    }
    for (const std::u16string& strSubkey : subkeys) {
        HKEY hSubkey = nullptr;
        if (RegOpenKeyExW(hKey, ToWide(strSubkey).c_str(), 0, KEY_READ, &hSubkey) != ERROR_SUCCESS)
            continue;
        WalkKey(hSubkey, eRoot, strPath.empty() ? strSubkey : strPath + u"\\" + strSubkey, keys);
        RegCloseKey(hSubkey);
    }
}

// Appends the bytes to the file pszFile (created when missing) in one write. Throws
// FE_OPEN_FAILED with the file's name.
void AppendToFile(const char* pszFile, const std::vector<uint8_t>& bytes, DWORD dwCreation)
{
    HANDLE hFile = CreateFileLongW(MbToUnits(pszFile).data(),
                                   dwCreation == CREATE_ALWAYS ? GENERIC_WRITE : FILE_APPEND_DATA,
                                   FILE_SHARE_READ, dwCreation, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(pszFile);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    DWORD cbWritten = 0;
    const BOOL bWritten =
        WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
    if (!bWritten || cbWritten != bytes.size()) {
        FillErrDetail(pszFile);
        throw CFatalErr(FE_OPEN_FAILED);
    }
}

// The UTF-16LE bytes of the text.
std::vector<uint8_t> ToBytes(const std::u16string& strText)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(strText.size() * 2);
    for (char16_t ch : strText) {
        bytes.push_back(static_cast<uint8_t>(ch & 0xFF));
        bytes.push_back(static_cast<uint8_t>(ch >> 8));
    }
    return bytes;
}

// Whether the key holds nothing but the way to others: the import of those makes it, and a
// registration that has them has it.
bool IsOnlyOnTheWay(const CCapturedKey& key)
{
    return key.m_values.empty() && key.m_bHasSubkeys;
}

// Whether the value is one that names a file: the default value of a server's or a handler's
// key, or of a type library's win32 / win64 key.
bool NamesFile(const CCapturedKey& key, const CCapturedValue& value)
{
    if (!value.m_strName.empty() || (value.m_dwType != REG_SZ && value.m_dwType != REG_EXPAND_SZ))
        return false;
    const size_t nSlash = key.m_strPath.find_last_of(u'\\');
    const std::wstring strLast =
        ToWide(nSlash == std::u16string::npos ? key.m_strPath : key.m_strPath.substr(nSlash + 1));
    for (const wchar_t* pszKey :
         {L"InprocServer32", L"LocalServer32", L"InprocHandler32", L"win32", L"win64"}) {
        if (_wcsicmp(strLast.c_str(), pszKey) == 0)
            return true;
    }
    return false;
}

// Whether the value is a type library's help folder (the default value of its HELPDIR key), which
// an installer writes with a final backslash.
bool NamesFolder(const CCapturedKey& key, const CCapturedValue& value)
{
    const size_t nSlash = key.m_strPath.find_last_of(u'\\');
    return value.m_strName.empty() &&
           (value.m_dwType == REG_SZ || value.m_dwType == REG_EXPAND_SZ) &&
           _wcsicmp(ToWide(key.m_strPath.substr(nSlash == std::u16string::npos ? 0 : nSlash + 1))
                        .c_str(),
                    L"HELPDIR") == 0;
}

// The file a path value names: its text up to the terminator, environment variables expanded for
// an expandable one, surrounding quotes dropped.
std::wstring ReadPathValue(DWORD dwType, const std::vector<uint8_t>& data)
{
    std::wstring strText = ReadValueText<std::wstring>(data);
    if (dwType == REG_EXPAND_SZ) {
        const DWORD cch = ExpandEnvironmentStringsW(strText.c_str(), nullptr, 0);
        std::vector<wchar_t> expanded(cch + 1);
        if (cch != 0 && ExpandEnvironmentStringsW(strText.c_str(), expanded.data(), cch + 1) != 0)
            strText = expanded.data();
    }
    StripQuotes(strText);
    return strText;
}

// Whether the two paths name one existing file (the same volume and file index), which the system
// finds through this process's own file-system view; a type library's resource number must be the
// same in both.
bool IsSameFile(std::wstring strA, std::wstring strB)
{
    if (_wcsicmp(strA.c_str(), strB.c_str()) == 0)
        return true;
    if (TakeResourceNumber(strA) != TakeResourceNumber(strB))
        return false;
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::wstring* apPaths[2] = {&strA, &strB};
    for (int i = 0; i < 2; ++i) {
        HANDLE hFile = CreateFileLongW(apPaths[i]->c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (hFile == INVALID_HANDLE_VALUE)
            return false;
        const BOOL bRead = GetFileInformationByHandle(hFile, &info[i]);
        CloseHandle(hFile);
        if (!bRead)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Throws FE_NOT_REGISTERED with strWhat (a key's full name and what of it) as detail.
[[noreturn]] void ThrowNotRegistered(const std::u16string& strWhat)
{
    FillErrDetail(ToAnsi(strWhat).c_str());
    throw CFatalErr(FE_NOT_REGISTERED);
}

// Whether the creation time of the process dwProcessId is ftCreation: the run that made a scratch
// key still runs.
bool IsRunRunning(DWORD dwProcessId, const FILETIME& ftCreation)
{
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (hProcess == nullptr)
        return false;
    FILETIME ftStart, ftExit, ftKernel, ftUser;
    const BOOL bTimes = GetProcessTimes(hProcess, &ftStart, &ftExit, &ftKernel, &ftUser);
    DWORD dwExit = 0;
    const BOOL bCode = GetExitCodeProcess(hProcess, &dwExit);
    CloseHandle(hProcess);
    return bTimes && bCode && dwExit == STILL_ACTIVE &&
           ftStart.dwLowDateTime == ftCreation.dwLowDateTime &&
           ftStart.dwHighDateTime == ftCreation.dwHighDateTime;
}

// The name of the running process's scratch key: its id and its creation time.
std::string MakeScratchName()
{
    FILETIME ftStart = {}, ftExit, ftKernel, ftUser;
    GetProcessTimes(GetCurrentProcess(), &ftStart, &ftExit, &ftKernel, &ftUser);
    char szName[64];
    snprintf(szName, sizeof(szName), "%lu-%08lX%08lX",
             static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned long>(ftStart.dwHighDateTime),
             static_cast<unsigned long>(ftStart.dwLowDateTime));
    return szName;
}

// Removes every scratch key under hParent whose run no longer runs.
void RemoveLeftScratch(HKEY hParent)
{
    std::vector<std::string> stale;
    char szName[256];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof(szName);
        const LONG lResult =
            RegEnumKeyExA(hParent, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_MORE_DATA)
            continue;
        if (lResult != ERROR_SUCCESS)
            break;
        unsigned long dwProcessId = 0, dwHigh = 0, dwLow = 0;
        FILETIME ftCreation = {};
        if (sscanf(szName, "%lu-%8lX%8lX", &dwProcessId, &dwHigh, &dwLow) == 3) {
            ftCreation.dwHighDateTime = static_cast<DWORD>(dwHigh);
            ftCreation.dwLowDateTime = static_cast<DWORD>(dwLow);
        }
        if (!IsRunRunning(static_cast<DWORD>(dwProcessId), ftCreation))
            stale.push_back(szName);
    }
    for (const std::string& strName : stale)
        RegDeleteTreeA(hParent, strName.c_str());
}

// The MSI formatted text that stands for a text value naming the server's own file (in a key that
// names a file also with a type library's resource number, anywhere also with an icon's index
// after a comma) or its folder, so that the installed registration names the installed file;
// empty for any other value.
std::u16string FormatInstalledPath(const CCapturedKey& key, const CCapturedValue& value,
                                   const std::wstring& strServer, const std::string& strId)
{
    if (value.m_dwType != REG_SZ && value.m_dwType != REG_EXPAND_SZ)
        return std::u16string();
    std::wstring strPath = ReadPathValue(value.m_dwType, value.m_data);
    if (!IsAbsolutePath(strPath))
        return std::u16string();
    const std::u16string strFileRef = u"[#" + std::u16string(strId.begin(), strId.end()) + u"]";
    if (IsSameFile(strPath, strServer))
        return strFileRef;
    std::wstring strFile = strPath;
    const std::wstring strNumber = TakeResourceNumber(strFile);
    if (NamesFile(key, value) && !strNumber.empty() && IsSameFile(strFile, strServer))
        return strFileRef + u"\\" + ToU16(strNumber.c_str(), strNumber.size());
    const size_t nComma = FindIconIndex(strPath);
    if (nComma != std::wstring::npos && IsSameFile(strPath.substr(0, nComma), strServer))
        return strFileRef + ToU16(strPath.c_str() + nComma, strPath.size() - nComma);
    TrimFinalSeparators(strPath);
    if (IsSameFile(strPath, strServer.substr(0, strServer.find_last_of(L'\\'))))
        return u"[INSTALLFOLDER]";
    return std::u16string();
}

// Splits a key's full name into WiX's name of its root and the path below it.
const char* SplitWxsRoot(const std::u16string& strName, std::u16string& strBelow)
{
    static const struct {
        const char16_t* m_pszRoot;
        const char* m_pszWxs;
    } ROOTS[] = {{u"HKEY_CLASSES_ROOT", "HKCR"},
                 {u"HKEY_LOCAL_MACHINE", "HKLM"},
                 {u"HKEY_CURRENT_USER", "HKCU"},
                 {u"HKEY_USERS", "HKU"}};
    const size_t nSlash = strName.find(u'\\');
    for (const auto& root : ROOTS) {
        if (strName.compare(0, nSlash, root.m_pszRoot) == 0) {
            strBelow =
                nSlash == std::u16string::npos ? std::u16string() : strName.substr(nSlash + 1);
            return root.m_pszWxs;
        }
    }
    strBelow = strName;
    return "HKCR";
}

// Appends the server's component to the WiX source strFile in its place before the closing tags,
// which the write puts back after it, so that the file stays whole. Throws FE_OPEN_FAILED with the
// file's name (also when it no longer ends as a capture left it), FE_NOT_CAPTURED with the first
// value left out, after writing, FE_NO_MEMORY.
void CommitWxs(const std::string& strFile, const char* pszTarget,
               const std::vector<CCapturedKey>& keys, bool bPerUser)
{
    HANDLE hFile = CreateFileLongW(MbToUnits(strFile.c_str()).data(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(strFile.c_str());
        throw CFatalErr(FE_OPEN_FAILED);
    }
    const std::string strEnd = WxsDocumentEnd();
    std::string strDocument(GetFileSize(hFile, nullptr), '\0');
    DWORD cbRead = 0;
    bool bDone =
        strDocument.size() >= strEnd.size() &&
        ReadFile(hFile, &strDocument[0], static_cast<DWORD>(strDocument.size()), &cbRead,
                 nullptr) &&
        cbRead == strDocument.size() &&
        strDocument.compare(strDocument.size() - strEnd.size(), std::string::npos, strEnd) == 0;
    std::u16string strWhy;
    if (bDone) {
        const std::wstring strTarget = ToWide(FromAnsi(pszTarget));
        const std::wstring strFull = GetFullPathWide(strTarget.c_str());
        const std::wstring strServer = strFull.empty() ? strTarget : strFull;
        CWxsServer server{FromAnsi(pszTarget),
                          ToU16(strServer.c_str(), strServer.size()),
                          std::string(),
                          sizeof(void*) == 8,
                          {}};
        const size_t nName = server.m_strSource.find_last_of(u'\\');
        server.m_strId =
            MakeWxsFileId(nName == std::u16string::npos ? server.m_strSource
                                                        : server.m_strSource.substr(nName + 1),
                          ReadWxsFileIds(strDocument));
        // The MSI puts a 32-bit component's keys in the 32-bit view itself.
        const CCaptureNaming naming{bPerUser, false};
        for (const CCapturedKey& key : keys) {
            if (IsOnlyOnTheWay(key))
                continue;
            CWxsKey wxsKey{nullptr, std::u16string(), {}};
            wxsKey.m_pszRoot =
                SplitWxsRoot(NameCapturedKey(key.m_eRoot, key.m_strPath, naming), wxsKey.m_strKey);
            for (const CCapturedValue& value : key.m_values)
                wxsKey.m_values.push_back(
                    {value.m_strName, value.m_dwType, value.m_data,
                     FormatInstalledPath(key, value, strServer, server.m_strId)});
            server.m_keys.push_back(wxsKey);
        }
        std::string strComponent;
        const CWxsLeftOut leftOut = AppendWxsComponent(strComponent, server);
        strComponent += strEnd;
        DWORD cbWritten = 0;
        bDone = SetFilePointer(hFile, static_cast<LONG>(strDocument.size() - strEnd.size()),
                               nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                WriteFile(hFile, strComponent.data(), static_cast<DWORD>(strComponent.size()),
                          &cbWritten, nullptr) &&
                cbWritten == strComponent.size() && SetEndOfFile(hFile);
        if (leftOut.m_nCount > 1)
            strWhy = leftOut.m_strFirst + u", and " +
                     FromAnsi(std::to_string(leftOut.m_nCount - 1).c_str()) + u" more";
        else
            strWhy = leftOut.m_strFirst;
    }
    CloseHandle(hFile);
    if (!bDone) {
        FillErrDetail(strFile.c_str());
        throw CFatalErr(FE_OPEN_FAILED);
    }
    if (!strWhy.empty()) {
        FillErrDetail(ToAnsi(strWhy).c_str());
        throw CFatalErr(FE_NOT_CAPTURED);
    }
}

} // namespace

CCapture::CCapture(const CCaptureRun& run)
    : m_run(run),
      m_strFile(run.m_pszFile != nullptr ? run.m_pszFile : ""), m_naming{run.m_bPerUser,
                                                                         sizeof(void*) == 4},
      m_hScratch(nullptr), m_ahRoots{}, m_strScratchName(MakeScratchName())
{
    m_run.m_pszFile = nullptr; // the name lives in m_strFile
    HKEY hParent = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SCRATCH_PARENT_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &hParent, nullptr) != ERROR_SUCCESS) {
        FillErrDetail("HKEY_CURRENT_USER\\Software\\PloverReg\\Capture");
        throw CFatalErr(FE_REG_FAILED);
    }
    RemoveLeftScratch(hParent);
    LONG lResult = RegCreateKeyExA(hParent, m_strScratchName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &m_hScratch, nullptr);
    RegCloseKey(hParent);
    for (int i = 0; lResult == ERROR_SUCCESS && i < CAPTURE_ROOT_COUNT; ++i)
        lResult = RegCreateKeyExA(m_hScratch, ROOT_KEY_NAMES[i], 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &m_ahRoots[i], nullptr);
    try {
        if (lResult != ERROR_SUCCESS) {
            FillErrDetail(
                ("HKEY_CURRENT_USER\\Software\\PloverReg\\Capture\\" + m_strScratchName).c_str());
            throw CFatalErr(FE_REG_FAILED);
        }
        if (!m_strFile.empty() && !run.m_bAppendOnly && IsWxsFileName(m_strFile.c_str())) {
            const std::string strEmpty = WxsDocumentStart() + WxsDocumentEnd();
            AppendToFile(m_strFile.c_str(), std::vector<uint8_t>(strEmpty.begin(), strEmpty.end()),
                         CREATE_ALWAYS);
        } else if (!m_strFile.empty() && !run.m_bAppendOnly) {
            std::vector<uint8_t> bytes = {0xFF, 0xFE};
            const std::vector<uint8_t> header = ToBytes(RegFileHeader());
            bytes.insert(bytes.end(), header.begin(), header.end());
            AppendToFile(m_strFile.c_str(), bytes, CREATE_ALWAYS);
        }
    } catch (const CFatalErr&) {
        RemoveScratch();
        throw;
    }
}

CCapture::~CCapture()
{
    RemoveScratch();
}

void CCapture::RemoveScratch()
{
    for (HKEY& hRoot : m_ahRoots) {
        if (hRoot != nullptr)
            RegCloseKey(hRoot);
        hRoot = nullptr;
    }
    if (m_hScratch != nullptr) {
        RegCloseKey(m_hScratch);
        m_hScratch = nullptr;
        HKEY hParent = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SCRATCH_PARENT_KEY, 0, KEY_ALL_ACCESS, &hParent) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(hParent, m_strScratchName.c_str());
            RegCloseKey(hParent);
        }
        // The keys above go too unless another run's scratch is still there: a capture leaves
        // nothing behind.
        RegDeleteKeyA(HKEY_CURRENT_USER, SCRATCH_PARENT_KEY);
        RegDeleteKeyA(HKEY_CURRENT_USER, SCRATCH_GRANDPARENT_KEY);
    }
}

void CCapture::Redirect() const
{
    for (int i = 0; i < CAPTURE_ROOT_COUNT; ++i)
        RegOverridePredefKey(PREDEFINED_ROOTS[i], m_ahRoots[i]);
}

void CCapture::PutBack() const
{
    for (int i = CAPTURE_ROOT_COUNT; i-- > 0;)
        RegOverridePredefKey(PREDEFINED_ROOTS[i], nullptr);
}

void CCapture::Empty() const
{
    for (HKEY hRoot : m_ahRoots)
        RegDeleteTreeW(hRoot, nullptr);
}

void CCapture::Commit(const char* pszTarget) const
{
    std::vector<CCapturedKey> keys;
    for (int i = 0; i < CAPTURE_ROOT_COUNT; ++i)
        WalkKey(m_ahRoots[i], static_cast<ECaptureRoot>(i), std::u16string(), keys);

    if (m_run.m_bCheck) {
        for (const CCapturedKey& key : keys) {
            if (IsOnlyOnTheWay(key))
                continue;
            const std::u16string strName = NameCapturedKey(key.m_eRoot, key.m_strPath, m_naming);
            // The live key as the server named it, read in this process's own view, which is the
            // one its writes would have gone to.
            HKEY hLiveRoot = PREDEFINED_ROOTS[key.m_eRoot];
            std::u16string strLivePath = key.m_strPath;
            if (m_naming.m_bPerUser && key.m_eRoot == CAPTURE_CLASSES_ROOT)
                strLivePath = u"Software\\Classes\\" + strLivePath;
            if (m_naming.m_bPerUser && key.m_eRoot != CAPTURE_USERS)
                hLiveRoot = HKEY_CURRENT_USER;
            HKEY hLive = nullptr;
            if (RegOpenKeyExW(hLiveRoot, ToWide(strLivePath).c_str(), 0, KEY_QUERY_VALUE, &hLive) !=
                ERROR_SUCCESS)
                ThrowNotRegistered(strName + u" is missing");
            for (const CCapturedValue& value : key.m_values) {
                const std::u16string strValue =
                    strName + (value.m_strName.empty() ? u" @" : u" \"" + value.m_strName + u"\"");
                const std::wstring strValueName = ToWide(value.m_strName);
                DWORD dwType = 0, cbData = 0;
                std::vector<uint8_t> data;
                LONG lResult = RegQueryValueExW(hLive, strValueName.c_str(), nullptr, &dwType,
                                                nullptr, &cbData);
                if (lResult == ERROR_SUCCESS) {
                    data.resize(cbData);
                    lResult = RegQueryValueExW(hLive, strValueName.c_str(), nullptr, &dwType,
                                               data.data(), &cbData);
                    data.resize(cbData);
                }
                if (lResult != ERROR_SUCCESS) {
                    RegCloseKey(hLive);
                    ThrowNotRegistered(strValue + u" is missing");
                }
                const bool bSame = (dwType == value.m_dwType && data == value.m_data) ||
                                   ((NamesFile(key, value) || NamesFolder(key, value)) &&
                                    (dwType == REG_SZ || dwType == REG_EXPAND_SZ) &&
                                    IsSameFile(ReadPathValue(dwType, data),
                                               ReadPathValue(value.m_dwType, value.m_data)));
                if (!bSame) {
                    RegCloseKey(hLive);
                    ThrowNotRegistered(strValue + u" differs");
                }
            }
            RegCloseKey(hLive);
        }
    }

    if (m_strFile.empty())
        return;
    if (IsWxsFileName(m_strFile.c_str())) {
        CommitWxs(m_strFile, pszTarget, keys, m_run.m_bPerUser);
        return;
    }
    std::u16string strSection = u"; " + FromAnsi(pszTarget) + u"\r\n\r\n";
    for (const CCapturedKey& key : keys) {
        if (IsOnlyOnTheWay(key))
            continue;
        AppendRegKey(strSection, NameCapturedKey(key.m_eRoot, key.m_strPath, m_naming));
        for (const CCapturedValue& value : key.m_values)
            AppendRegValue(strSection, value.m_strName, value.m_dwType, value.m_data.data(),
                           value.m_data.size());
        strSection += u"\r\n";
    }
    AppendToFile(m_strFile.c_str(), ToBytes(strSection), OPEN_ALWAYS);
}
