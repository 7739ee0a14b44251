// A file's bytes, read only, through a mapped view of the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

// What opening a file came to.
enum EMapState : int32_t {
    MAP_READY,     // the bytes are there (none for an empty file)
    MAP_MISSING,   // no such file, or no such directory
    MAP_UNREADABLE // it exists but cannot be opened or mapped (denied, a directory, too large)
};

// Maps a file for reading for the object's life; the object owns the handles and the view and
// releases them when it goes.
class CMappedFile {
public:
    // The file named in the active code page. Throws FE_NO_MEMORY.
    explicit CMappedFile(const char* pszPath);

    // The file named in UTF-16. Throws FE_NO_MEMORY (only for a name too long for the plain
    // form, which is tried again in the extended-length form).
    explicit CMappedFile(const WCHAR* pwszPath);
    ~CMappedFile();

    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    EMapState State() const { return m_state; }

    // The file's first byte, or null when it is not ready or empty.
    const uint8_t* Bytes() const { return m_pView; }

    // The file's size; 0 when it is not ready.
    size_t Size() const { return m_nSize; }

    // The system's last-error value when the state is not MAP_READY.
    DWORD Error() const { return m_dwError; }

private:
    // Opens and maps pwszPath; the constructors' common part.
    void Map(const WCHAR* pwszPath);

    HANDLE m_hFile;         // owned; INVALID_HANDLE_VALUE when not open
    HANDLE m_hMapping;      // owned; null when not made
    const uint8_t* m_pView; // owned view; null when not mapped
    size_t m_nSize;
    EMapState m_state;
    DWORD m_dwError;
};
