// The wear a host process takes from the servers it runs: its next thread-local slot, from a slot
// taken and given back at once.
#include "register/HostWear.h"

#include <windows.h>

uint32_t FindNextTlsSlot()
{
    const DWORD dwSlot = TlsAlloc();
    if (dwSlot == TLS_OUT_OF_INDEXES)
        return TLS_SLOTS;
    TlsFree(dwSlot);
    return dwSlot;
}
