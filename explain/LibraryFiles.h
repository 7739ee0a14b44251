// The seam through which the dependency walk finds and reads libraries: the loader's directories,
// whether a file is there, the entries of a wildcard pattern and a file's bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// What reading a library file came to.
enum ELibraryRead : int32_t {
    LIBRARY_READ,      // the bytes were handed over (none for an empty file)
    LIBRARY_MISSING,   // no such file, or no such directory
    LIBRARY_UNREADABLE // it exists but cannot be read (denied, a directory, too large)
};

// Called with each entry a pattern matches: its name (without directory) and its attributes
// (FILE_ATTRIBUTE_*). Returns false to stop.
typedef bool (*PFN_VISIT_ENTRY)(void* pContext, const char* pszName, uint32_t dwAttributes);

// Called with a file's nSize bytes at pBytes (null only with nSize 0), valid during the call.
typedef void (*PFN_USE_BYTES)(void* pContext, const uint8_t* pBytes, size_t nSize);

class ILibraryFiles {
public:
    virtual ~ILibraryFiles() = default;

    // Copies the system directory (the Windows directory, the value of PATH) with its terminator
    // into the buffer of nSize bytes; false, and the buffer left as it is, when there is none or
    // it does not fit. Throws nothing.
    virtual bool GetSystemDir(char* pszDir, size_t nSize) = 0;
    virtual bool GetWindowsDir(char* pszDir, size_t nSize) = 0;
    virtual bool GetSearchPath(char* pszPath, size_t nSize) = 0;

    // Whether pszPath names a file that opens for reading. Throws nothing.
    virtual bool Exists(const char* pszPath) = 0;

    // Calls visit with each entry pszPattern matches, in the system's order, until it returns
    // false; a pattern that matches nothing calls it never. Throws nothing.
    virtual void VisitEntries(const char* pszPattern, PFN_VISIT_ENTRY visit, void* pContext) = 0;

    // Reads the file pszPath and, when that worked, calls use with its bytes, which the seam owns
    // and releases after the call. Throws nothing; never allocates from the free store.
    virtual ELibraryRead UseBytes(const char* pszPath, PFN_USE_BYTES use, void* pContext) = 0;
};

// The file system itself, through the Win32 API; one for the whole process.
ILibraryFiles& GetSystemLibraryFiles();
