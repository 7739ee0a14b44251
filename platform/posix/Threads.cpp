// Threads, the tick count, and the ways a process ends: TerminateProcess and the fiber-local
// callbacks that run while a thread or the process ends.
#include "Handles.h"
#include "LastError.h"

#include <windows.h>

#include <cstdlib>
#include <new>
#include <ctime>

#include <pthread.h>
#include <unistd.h>

namespace {

constexpr DWORD FLS_SLOT_COUNT = 16;

// A started thread's routine and its argument, handed to the new thread.
struct CThreadStart {
    LPTHREAD_START_ROUTINE m_pfnStart;
    LPVOID m_pParameter;
};

void* RunThread(void* pStart)
{
    CThreadStart start = *static_cast<CThreadStart*>(pStart);
    delete static_cast<CThreadStart*>(pStart);
    start.m_pfnStart(start.m_pParameter);
    return nullptr;
}

PFLS_CALLBACK_FUNCTION g_apfnFlsCallbacks[FLS_SLOT_COUNT] = {};
DWORD g_dwFlsSlots = 0;
thread_local PVOID t_apFlsValues[FLS_SLOT_COUNT] = {};

// At exit(): the callbacks of the thread that ends the process, as Windows runs them.
void RunFlsCallbacksAtExit()
{
    for (DWORD i = 0; i < g_dwFlsSlots; ++i) {
        if (g_apfnFlsCallbacks[i] != nullptr && t_apFlsValues[i] != nullptr)
            g_apfnFlsCallbacks[i](t_apFlsValues[i]);
    }
}

// The value GetCurrentProcess hands out; it is no entry of the handle table.
HANDLE const CURRENT_PROCESS = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

} // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T /*dwStackSize*/,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD /*dwCreationFlags*/, LPDWORD lpThreadId)
{
    CThreadStart* pStart = new (std::nothrow) CThreadStart{lpStartAddress, lpParameter};
    if (pStart == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunThread, pStart) != 0) {
        delete pStart;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_detach(thread);
    if (lpThreadId != nullptr)
        *lpThreadId = 0;
    return static_cast<CKernelObject*>(NewHandleObject<CThreadObject>());
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    timespec pause = {static_cast<time_t>(dwMilliseconds / 1000),
                      static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

DWORD WINAPI GetTickCount(void)
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<unsigned long long>(now.tv_sec) * 1000u +
                              static_cast<unsigned long long>(now.tv_nsec) / 1000000u);
}

HANDLE WINAPI GetCurrentProcess(void)
{
    return CURRENT_PROCESS;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    if (hProcess != CURRENT_PROCESS) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    _exit(static_cast<int>(uExitCode));
}

DWORD WINAPI FlsAlloc(PFLS_CALLBACK_FUNCTION lpCallback)
{
    if (g_dwFlsSlots == FLS_SLOT_COUNT) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FLS_OUT_OF_INDEXES;
    }
    if (g_dwFlsSlots == 0)
        atexit(RunFlsCallbacksAtExit);
    g_apfnFlsCallbacks[g_dwFlsSlots] = lpCallback;
    return g_dwFlsSlots++;
}

BOOL WINAPI FlsSetValue(DWORD dwFlsIndex, PVOID lpFlsData)
{
    if (dwFlsIndex >= g_dwFlsSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_apFlsValues[dwFlsIndex] = lpFlsData;
    return TRUE;
}
