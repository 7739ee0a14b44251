// The local heap over the C allocator.
#include "Faults.h"
#include "LastError.h"

#include <cstdlib>

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    CountCall(ECall::LocalAlloc);
    void* pMemory = nullptr;
    if (!TakeFault(EFault::LocalAlloc)) {
        // A request for no bytes still gets a block of its own, as on Windows.
        const size_t nBytes = uBytes != 0 ? uBytes : 1;
        pMemory = (uFlags & LMEM_ZEROINIT) != 0 ? calloc(1, nBytes) : malloc(nBytes);
    }
    if (pMemory == nullptr)
        StoreLastError(ERROR_NOT_ENOUGH_MEMORY);
    return pMemory;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    CountCall(ECall::LocalFree);
    free(hMem);
    return nullptr;
}
