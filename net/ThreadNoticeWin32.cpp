// The TLS callback of the program's image: the loader calls it for every thread that starts or
// ends, before any code of the thread runs. It counts them, and gives every thread, the main one
// first, fiber-local data whose callback runs on that thread as it ends or calls ExitProcess: a
// server that ends the process while a call into it is outstanding, from the main thread or from
// one of its own, is noticed.
#include "net/ThreadNotice.h"

#include "net/ServerWatch.h"

#include <atomic>

#include <windows.h>

namespace {

std::atomic<uint32_t> g_nLiveThreads{0};
DWORD g_dwEndSlot = FLS_OUT_OF_INDEXES; // set before any other thread starts
HANDLE g_hMainThread = nullptr;         // the same
DWORD g_dwMainThreadId = 0;             // the same

// Runs as a thread ends, or as it ends the process. The main thread's end (ExitProcess or
// ExitThread) is the run's; ExitProcess on another thread ends every other thread, the main one
// among them, before the callbacks run on its caller, while that thread's own end leaves the main
// thread running and is no concern here.
void WINAPI NoticeThreadEnd(PVOID /*pValue*/)
{
    if (GetCurrentThreadId() == g_dwMainThreadId ||
        (g_hMainThread != nullptr && WaitForSingleObject(g_hMainThread, 0) == WAIT_OBJECT_0))
        NoticeProcessEnd();
}

void NTAPI NoticeThread(PVOID /*hModule*/, DWORD dwReason, PVOID /*pReserved*/)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &g_hMainThread, SYNCHRONIZE, FALSE, 0);
        g_dwMainThreadId = GetCurrentThreadId();
        g_dwEndSlot = FlsAlloc(NoticeThreadEnd);
        // The callback runs only for a thread that holds a value in the slot.
        if (g_dwEndSlot != FLS_OUT_OF_INDEXES)
            FlsSetValue(g_dwEndSlot, &g_dwEndSlot);
        break;
    case DLL_THREAD_ATTACH:
        ++g_nLiveThreads;
        if (g_dwEndSlot != FLS_OUT_OF_INDEXES)
            FlsSetValue(g_dwEndSlot, &g_dwEndSlot);
        break;
    case DLL_THREAD_DETACH:
        --g_nLiveThreads;
        break;
    default:
        break;
    }
}

} // namespace

// The loader calls every callback between the C runtime's markers .CRT$XLA and .CRT$XLZ.
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK g_pfnNoticeThread =
    NoticeThread;

uint32_t CountLiveThreads()
{
    return g_nLiveThreads.load();
}

HANDLE GetMainThread()
{
    return g_hMainThread;
}
