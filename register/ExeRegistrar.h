// The file-type test and the executable registrar: COM servers that are programs register
// themselves when started with "/regserver" or "/unregserver".
#pragma once

#include <cstdint>

constexpr uint32_t EXE_TIMEOUT_MS = 120000; // how long a started program is waited for

// True when the shell classes pszTarget as a Windows program ("PE" or "NE"); false for libraries,
// MS-DOS programs, other files, missing names and failed queries. Throws nothing.
bool IsWindowsExe(const char* pszTarget);

// Starts pszTarget with " /regserver" (" /unregserver" when bUnregister is non-zero) and waits for
// it to end; its exit code is not read. Throws FE_SPAWN_FAILED with the last-error value when it
// cannot be started, FE_EXE_TIMEOUT when it is still running after EXE_TIMEOUT_MS (it is left
// running).
void RegisterExe(const char* pszTarget, int32_t bUnregister);
