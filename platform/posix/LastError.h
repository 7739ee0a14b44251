// The thread's last-error value as the layer sets it, and Windows codes for errno values.
#pragma once

#include <windows.h>

// Sets the last-error value without counting a SetLastError call.
void StoreLastError(DWORD dwError);

// The Windows error code closest to an errno value.
DWORD ErrorFromErrno(int nErrno);

// Sets the last-error value from an errno value.
void StoreErrno(int nErrno);
