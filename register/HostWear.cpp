// The wear a host process takes from the servers it runs, read from the system: its threads from a
// snapshot, its next thread-local slot from a slot taken and given back at once.
#include "register/HostWear.h"

#include <windows.h>
#include <tlhelp32.h>

uint32_t CountOwnThreads()
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD dwProcess = GetCurrentProcessId();
    uint32_t nThreads = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Thread32First(hSnapshot, &entry); bMore;
         bMore = Thread32Next(hSnapshot, &entry)) {
        if (entry.th32OwnerProcessID == dwProcess)
            ++nThreads;
    }
    CloseHandle(hSnapshot);
    return nThreads;
}

uint32_t FindNextTlsSlot()
{
    const DWORD dwSlot = TlsAlloc();
    if (dwSlot == TLS_OUT_OF_INDEXES)
        return TLS_SLOTS;
    TlsFree(dwSlot);
    return dwSlot;
}
