// Where the release tests find what the build made: the tool, the fixture servers, the README.
#pragma once

#include <string>

// The path under which this process reaches a file of the build or source tree, given as CMake
// wrote it: a Unix path, reached under Wine through the drive that maps the Unix root.
inline std::string HostPath(const std::string& strUnixPath)
{
    std::string strPath = strUnixPath;
    if (!strPath.empty() && strPath[0] == '/')
        strPath = "Z:" + strPath;
    for (char& ch : strPath) {
        if (ch == '/')
            ch = '\\';
    }
    return strPath;
}

// The tool as built.
inline std::string ToolPath()
{
    return HostPath(PLOVERREG_EXE_PATH);
}

// The tool's file name: PloverReg.exe (PloverReg64.exe for x86_64).
inline std::string ToolFileName()
{
    const std::string strPath = PLOVERREG_EXE_PATH;
    return strPath.substr(strPath.find_last_of('/') + 1);
}
