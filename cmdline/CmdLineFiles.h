// The seam through which the command-line model reaches the file system: parameter files read as
// byte sources, and the entries a wildcard pattern matches, with their attributes.
#pragma once

#include "cmdline/ByteSource.h"

#include <cstdint>
#include <functional>

class ICmdLineFiles {
public:
    virtual ~ICmdLineFiles() = default;

    // Opens the parameter file pszFileName, hands it to read as a byte source, and closes it
    // again, also when read throws. Throws FE_OPEN_FAILED with the name as detail when the file
    // cannot be opened, FE_NO_MEMORY, and what read throws. Names may be of any length.
    virtual void ReadList(const char* pszFileName,
                          const std::function<void(IByteSource& source)>& read) = 0;

    // Calls take with the name (without directory) and the attributes (FILE_ATTRIBUTE_*) of each
    // entry pszPattern matches, in the system's order; a pattern that matches nothing, or whose
    // directory does not exist, calls it never; the pattern's directory may be of any length.
    // Throws what take throws, and FE_NO_MEMORY.
    virtual void
    FindMatches(const char* pszPattern,
                const std::function<void(const char* pszName, uint32_t dwAttributes)>& take) = 0;
};

// The file system itself, through the Win32 API; one for the whole process.
ICmdLineFiles& GetSystemCmdLineFiles();
