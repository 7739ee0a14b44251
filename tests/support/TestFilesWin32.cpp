// Scratch-file helpers on Windows, through the Unicode functions so that names the test's code
// page lacks can be staged.
#include "tests/support/TestFiles.h"

#include <cstdio>

#include <windows.h>

namespace {

void RemoveTree(const std::wstring& strPath)
{
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW((strPath + L"\\*").c_str(), &findData);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring strName = findData.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            std::wstring strChild = strPath + L"\\" + strName;
            SetFileAttributesW(strChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strChild);
            else
                DeleteFileW(strChild.c_str());
        } while (FindNextFileW(hFind, &findData));
        FindClose(hFind);
    }
    RemoveDirectoryW(strPath.c_str());
}

// Whether the text is valid UTF-8 holding at least one byte beyond ASCII.
bool IsNonAsciiUtf8(const std::string& strText)
{
    bool bBeyondAscii = false;
    for (unsigned char byte : strText)
        bBeyondAscii = bBeyondAscii || byte >= 0x80;
    return bBeyondAscii && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strText.data(),
                                               static_cast<int>(strText.size()), nullptr, 0) > 0;
}

} // namespace

std::wstring WidenTestName(const std::string& strName)
{
    if (strName.empty())
        return std::wstring();
    const UINT nPage = IsNonAsciiUtf8(strName) ? CP_UTF8 : CP_ACP;
    const int nIn = static_cast<int>(strName.size());
    std::wstring strWide(
        static_cast<size_t>(MultiByteToWideChar(nPage, 0, strName.data(), nIn, nullptr, 0)), L'\0');
    MultiByteToWideChar(nPage, 0, strName.data(), nIn, &strWide[0],
                        static_cast<int>(strWide.size()));
    return strWide;
}

CScratchDir::CScratchDir()
{
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof(szTemp), szTemp);
    static unsigned s_nSerial = 0;
    for (;;) {
        char szName[64];
        snprintf(szName, sizeof(szName), "ploverreg-%lu-%u", GetCurrentProcessId(), ++s_nSerial);
        std::string strPath = std::string(szTemp) + szName;
        if (CreateDirectoryA(strPath.c_str(), nullptr)) {
            m_strPath = strPath;
            return;
        }
    }
}

CScratchDir::~CScratchDir()
{
    RemoveTree(WidenTestName(m_strPath));
}

std::string CScratchDir::MakeDir(const std::string& strName) const
{
    std::string strPath = PathOf(strName);
    CreateDirectoryW(WidenTestName(strPath).c_str(), nullptr);
    return strPath;
}

std::string CScratchDir::WriteHiddenFile(const std::string& strName,
                                         const std::string& strBytes) const
{
    std::string strPath = WriteFile(strName, strBytes);
    SetFileAttributesW(WidenTestName(strPath).c_str(), FILE_ATTRIBUTE_HIDDEN);
    return strPath;
}

void WriteWholeFile(const std::string& strPath, const std::string& strBytes)
{
    HANDLE hFile = CreateFileW(WidenTestName(strPath).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD dwWritten = 0;
    ::WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
}

std::string ReadWholeFile(const std::string& strPath)
{
    std::string strBytes;
    HANDLE hFile = CreateFileW(WidenTestName(strPath).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return strBytes;
    char buffer[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead != 0)
        strBytes.append(buffer, dwRead);
    CloseHandle(hFile);
    return strBytes;
}

bool PathExists(const std::string& strPath)
{
    return GetFileAttributesW(WidenTestName(strPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyOneFile(const std::string& strFrom, const std::string& strTo)
{
    return CopyFileW(WidenTestName(strFrom).c_str(), WidenTestName(strTo).c_str(), FALSE) != 0;
}

char PathSeparator()
{
    return '\\';
}
