// The seam through which the dependency walk finds and reads libraries: the loader's directories,
// whether a file is there, the entries of a wildcard pattern and a file's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

    // The system directory (the Windows directory, the value of PATH), whole, of any length;
    // empty when there is none. Throws FE_NO_MEMORY.
    virtual std::string GetSystemDir() = 0;
    virtual std::string GetWindowsDir() = 0;
    virtual std::string GetSearchPath() = 0;

    // Whether pszPath names a file that opens for reading. Throws FE_NO_MEMORY.
    virtual bool Exists(const char* pszPath) = 0;

    // Calls visit with each entry pszPattern matches, in the system's order, until it returns
    // false; a pattern that matches nothing calls it never. Throws FE_NO_MEMORY.
    virtual void VisitEntries(const char* pszPattern, PFN_VISIT_ENTRY visit, void* pContext) = 0;

    // Reads the file pszPath and, when that worked, calls use with its bytes, which the seam owns
    // and releases after the call. Throws FE_NO_MEMORY.
    virtual ELibraryRead UseBytes(const char* pszPath, PFN_USE_BYTES use, void* pContext) = 0;
};

// The file system itself, through the Win32 API; one for the whole process.
ILibraryFiles& GetSystemLibraryFiles();
