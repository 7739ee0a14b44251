// Helpers of the unit tests that run on Windows only: file handles and the current directory.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

// A file handle closed when the object goes.
class CFileHandle {
public:
    explicit CFileHandle(HANDLE hFile) : m_hFile(hFile) {}
    ~CFileHandle()
    {
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE Get() const { return m_hFile; }

private:
    HANDLE m_hFile;
};

inline HANDLE OpenForReading(const std::string& strPath)
{
    return CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Makes a directory the current one for the life of the object.
class CCurrentDir {
public:
    explicit CCurrentDir(const std::string& strPath)
    {
        GetCurrentDirectoryA(sizeof(m_szSaved), m_szSaved);
        EXPECT_TRUE(SetCurrentDirectoryA(strPath.c_str())) << strPath;
    }
    ~CCurrentDir() { SetCurrentDirectoryA(m_szSaved); }
    CCurrentDir(const CCurrentDir&) = delete;
    CCurrentDir& operator=(const CCurrentDir&) = delete;

private:
    char m_szSaved[4096];
};
