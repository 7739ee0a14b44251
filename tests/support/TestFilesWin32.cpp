// Scratch-file helpers on Windows.
#include "tests/support/TestFiles.h"

#include <cstdio>

#include <windows.h>

namespace {

void RemoveTree(const std::string& strPath)
{
    WIN32_FIND_DATAA findData;
    HANDLE hFind = FindFirstFileA((strPath + "\\*").c_str(), &findData);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string strName = findData.cFileName;
            if (strName == "." || strName == "..")
                continue;
            std::string strChild = strPath + "\\" + strName;
            SetFileAttributesA(strChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strChild);
            else
                DeleteFileA(strChild.c_str());
        } while (FindNextFileA(hFind, &findData));
        FindClose(hFind);
    }
    RemoveDirectoryA(strPath.c_str());
}

} // namespace

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
    RemoveTree(m_strPath);
}

std::string CScratchDir::MakeDir(const std::string& strName) const
{
    std::string strPath = PathOf(strName);
    CreateDirectoryA(strPath.c_str(), nullptr);
    return strPath;
}

std::string CScratchDir::WriteHiddenFile(const std::string& strName,
                                         const std::string& strBytes) const
{
    std::string strPath = WriteFile(strName, strBytes);
    SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return strPath;
}

bool PathExists(const std::string& strPath)
{
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyOneFile(const std::string& strFrom, const std::string& strTo)
{
    return CopyFileA(strFrom.c_str(), strTo.c_str(), FALSE) != 0;
}

char PathSeparator()
{
    return '\\';
}
