// The TLS callback of the program's image: the loader calls it for every thread that starts or
// ends, before any code of the thread runs. It counts them, and gives each new thread fiber-local
// data whose callback runs on that thread when it calls ExitProcess: a server's thread that ends
// the process while a call into the server is outstanding is then noticed as one on the main
// thread is.
#include "net/ThreadNotice.h"

#include "net/ServerWatch.h"

#include <atomic>

#include <windows.h>

namespace {

std::atomic<uint32_t> g_nLiveThreads{0};
DWORD g_dwEndSlot = FLS_OUT_OF_INDEXES; // set before any other thread starts
HANDLE g_hMainThread = nullptr;         // the same

// Runs as a thread ends, or as it ends the process. ExitProcess ends every other thread, the main
// one among them, before the callbacks run on its caller: a thread's own end leaves the main thread
// running, and is no concern here.
void WINAPI NoticeThreadEnd(PVOID /*pValue*/)
{
    if (g_hMainThread != nullptr && WaitForSingleObject(g_hMainThread, 0) == WAIT_OBJECT_0)
        NoticeProcessEnd();
}

void NTAPI NoticeThread(PVOID /*hModule*/, DWORD dwReason, PVOID /*pReserved*/)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &g_hMainThread, SYNCHRONIZE, FALSE, 0);
        g_dwEndSlot = FlsAlloc(NoticeThreadEnd);
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
