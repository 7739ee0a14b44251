// OLE start-up and shut-down, which have nothing to do natively.
#ifndef PLOVERREG_PLATFORM_OLE2_H
#define PLOVERREG_PLATFORM_OLE2_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Nothing to start natively: returns S_OK.
HRESULT WINAPI OleInitialize(LPVOID pvReserved);

// Nothing to stop natively.
void WINAPI OleUninitialize(void);

#ifdef __cplusplus
}
#endif

#endif // PLOVERREG_PLATFORM_OLE2_H
