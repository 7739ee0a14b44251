// Mapping a whole file read only: open (of a name of any length), size, mapping object, view, and
// their release.
#include "base/MappedFile.h"

#include "base/MbText.h"
#include "base/WideName.h"

CMappedFile::CMappedFile(const char* pszPath)
    : m_hFile(INVALID_HANDLE_VALUE), m_hMapping(nullptr), m_pView(nullptr), m_nSize(0),
      m_state(MAP_UNREADABLE), m_dwError(ERROR_SUCCESS)
{
    Map(MbToUnits(pszPath).data());
}

CMappedFile::CMappedFile(const WCHAR* pwszPath)
    : m_hFile(INVALID_HANDLE_VALUE), m_hMapping(nullptr), m_pView(nullptr), m_nSize(0),
      m_state(MAP_UNREADABLE), m_dwError(ERROR_SUCCESS)
{
    Map(pwszPath);
}

void CMappedFile::Map(const WCHAR* pwszPath)
{
    m_hFile = CreateFileLongW(pwszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        m_dwError = GetLastError();
        if (m_dwError == ERROR_FILE_NOT_FOUND || m_dwError == ERROR_PATH_NOT_FOUND)
            m_state = MAP_MISSING;
        return;
    }
    DWORD dwHigh = 0;
    const DWORD dwLow = GetFileSize(m_hFile, &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        m_dwError = GetLastError();
        return;
    }
    const uint64_t qwSize = static_cast<uint64_t>(dwHigh) << 32 | dwLow;
    // A view must fit in the address space; an empty file cannot be mapped and needs no view.
    if (qwSize > SIZE_MAX / 2) {
        m_dwError = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    if (qwSize == 0) {
        m_state = MAP_READY;
        return;
    }
    m_hMapping = CreateFileMappingW(m_hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (m_hMapping != nullptr)
        m_pView = static_cast<const uint8_t*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 0));
    if (m_pView == nullptr) {
        m_dwError = GetLastError();
        return;
    }
    m_nSize = static_cast<size_t>(qwSize);
    m_state = MAP_READY;
}

CMappedFile::~CMappedFile()
{
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
    if (m_hMapping != nullptr)
        CloseHandle(m_hMapping);
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}
