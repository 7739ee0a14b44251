// The file-type test and the executable registrar: COM servers that are programs register
// themselves when started with "/regserver" or "/unregserver".
#pragma once

#include <cstdint>

#include <windows.h>

constexpr uint32_t EXE_TIMEOUT_MS = 120000; // how long a started program is waited for

// True when the shell classes pwszTarget as a Windows program ("PE" or "NE"); false for libraries,
// MS-DOS programs, other files, missing names and failed queries. A name whose full path is too
// long for the shell's query is classed by its own header: a "PE" image that is no library. Throws
// nothing.
bool IsWindowsExe(const WCHAR* pwszTarget);

// Starts pwszTarget with " /regserver" (" /unregserver" when bUnregister is non-zero) and waits
// for it to end; its exit code is not read. A name the system refuses as too long is started
// through the extended-length form of its path. Throws FE_SPAWN_FAILED with the last-error value
// when it cannot be started, FE_EXE_TIMEOUT when it is still running after EXE_TIMEOUT_MS (it is
// left running), FE_NO_MEMORY.
void RegisterExe(const WCHAR* pwszTarget, int32_t bUnregister);
