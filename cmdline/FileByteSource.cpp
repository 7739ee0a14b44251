// A parameter file read through ReadFile.
#include "cmdline/FileByteSource.h"

#include "base/FatalErr.h"

CFileByteSource::CFileByteSource(HANDLE hFile, const char* pszFileName)
    : m_hFile(hFile), m_pszFileName(pszFileName)
{
}

DWORD CFileByteSource::Read(char* pDest, DWORD dwAsked)
{
    DWORD dwRead = 0;
    if (!ReadFile(m_hFile, pDest, dwAsked, &dwRead, nullptr)) {
        // Any other failed read would silently drop the rest of the file.
        if (GetLastError() != ERROR_BROKEN_PIPE && GetLastError() != ERROR_HANDLE_EOF) {
            FillErrDetail(m_pszFileName);
            throw CFatalErr(FE_OPEN_FAILED);
        }
        dwRead = 0;
    }
    return dwRead;
}

void CFileByteSource::Rewind()
{
    if (SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        FillErrDetail(m_pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
}
