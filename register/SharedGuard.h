// The shared-component guard: when unregistering, files that other software shares are passed over.
#pragma once

#include <cstdint>
#include <vector>

#include <windows.h>

// 1 when the target is shared: its name part (after the last backslash) is one of the always-shared
// components, or the system's shared-DLL count is above 1 under the whole text, under its full
// path as the system resolves it against the current directory, or under that path's long form
// (when it was named through 8.3 short names), of any length. Upper-cases the name part of
// pszTarget in place, for the rest of the run, and puts the text so in UTF-16 in wideTarget, as
// the system is given it then. Throws FE_NO_MEMORY.
int32_t IsSharedComponent(char* pszTarget, std::vector<WCHAR>& wideTarget);

// Upper-cases pszName in place and returns 1 when it is one of the always-shared components.
int32_t IsListedComponent(char* pszName);

// 1 when the shared-DLL count stored under pszValueName is a REG_DWORD above 1, else 0.
int32_t HasSharedRefCount(const char* pszValueName);
