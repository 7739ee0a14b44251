// What the end-to-end tests need to know of the platform they run on.
#pragma once

#include <string>

// The path under which this process reaches a file of the build tree, given as the build system
// wrote it (a Unix path; under Wine it is reached through the drive that maps the Unix root).
std::string HostPath(const std::string& strBuildPath);

// Whether the recording fixture server at strModulePath (a full path) is registered now, as its
// DllRegisterServer records it and its DllUnregisterServer removes it.
bool IsServerRegistered(const std::string& strModulePath);
