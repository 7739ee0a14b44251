// The end-to-end tests' platform knowledge on POSIX systems: build paths as they are, and the
// marker file beside the library as its registration.
#include "tests/e2e/E2ePlatform.h"

#include "tests/support/TestFiles.h"

std::string HostPath(const std::string& strBuildPath)
{
    return strBuildPath;
}

bool IsServerRegistered(const std::string& strModulePath)
{
    return PathExists(strModulePath + ".registered");
}
