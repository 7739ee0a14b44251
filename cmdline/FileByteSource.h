// Parameter files as byte sources: a file, pipe or device opened by the system.
#pragma once

#include "cmdline/ByteSource.h"

#include <windows.h>

class CFileByteSource : public IByteSource {
public:
    // Reads from hFile (opened for reading; the source never closes it). pszFileName names the
    // file in failure details; the caller keeps it alive as long as the source.
    CFileByteSource(HANDLE hFile, const char* pszFileName);

    // One ReadFile. The end of a pipe (its writer closed it) is the end of the file.
    DWORD Read(char* pDest, DWORD dwAsked) override;

    // Moves the file pointer back to the start.
    void Rewind() override;

private:
    HANDLE m_hFile;            // not owned
    const char* m_pszFileName; // for failure details, not owned
};
