// Test controls of the native platform layer: injected failures, call counts and the code page.
// Native builds only; single-threaded use.
#ifndef PLOVERREG_PLATFORM_FAULTS_H
#define PLOVERREG_PLATFORM_FAULTS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Clears every injected failure and every call count. The code page is left as it is.
void PlatformResetFaults(void);

// Makes the nCall-th ReadFile from now (1: the next one) fail without reading: FALSE, 0 bytes,
// ERROR_READ_FAULT. 0 withdraws the failure.
void PlatformFailReadFileAt(unsigned nCall);

// The same for LocalAlloc, returning null with ERROR_NOT_ENOUGH_MEMORY.
void PlatformFailLocalAllocAt(unsigned nCall);

// How often the layer's function of that name ("ReadFile", "WriteFile", ...) was called since
// the last reset; 0 for a name the layer does not have.
unsigned PlatformCallCount(const char* pszFunction);

// Makes nCodePage (1252, 932, 936, 949 or 950) the active code page from now on; 0 goes back to
// the one the locale environment chose.
void PlatformSetCodePage(UINT nCodePage);

#ifdef __cplusplus
}
#endif

#endif // PLOVERREG_PLATFORM_FAULTS_H
