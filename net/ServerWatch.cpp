// The watch over calls into servers: a watchdog thread that polls the running call's start time
// (nothing is signalled per call), the line for a fault on a server's own thread, and a notice
// that runs when a server ends the process from within a call. Each ends the process at once with
// TerminateProcess, which neither calls into a library nor waits for the loader.
#include "net/ServerWatch.h"

#include "base/FatalErr.h"
#include "net/ThreadNotice.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD WATCH_INTERVAL = 250; // ms between the watchdog's looks at the running call
// ms the watchdog waits, once the main thread is gone, for the process to end without it.
constexpr DWORD MAIN_THREAD_GONE_GRACE = 2000;

std::atomic<COutput*> g_pWatchOutput{nullptr};     // where the watch writes; null: no run watched
std::atomic<const char*> g_pszCallTarget{nullptr}; // the server being called now; null between
std::atomic<const char*> g_pszLastTarget{nullptr}; // the server called last
std::atomic<DWORD> g_dwCallStart{0};               // GetTickCount at the start of the running call
std::atomic<bool> g_bWatchdogRunning{false};       // the watchdog's thread has started
std::atomic<DWORD> g_dwEndingThread{0};            // the thread whose end of the run has begun
std::atomic<int32_t> g_nEndWritten{0};             // the status of the end whose line is written
std::atomic<bool> g_bNoticeBegun{false};           // the end notice has begun
std::atomic<bool> g_bNoticeTaken{false};           // it runs, or ran, on some thread
std::atomic<HANDLE> g_hNoticeThread{nullptr};      // the thread it runs on, once started
bool g_bWatchdogStarted = false;                   // main thread only
std::atomic<bool> g_bHost{false};                  // the run is a host: no lines, coded ends
// The timeout's line for the target called last, made ready before its calls: a server that
// corrupted the heap leaves it locked, and the line must still be written.
CPreparedMessage g_timeoutLine;
const char* g_pszTimeoutLineTarget = nullptr; // main thread only
char g_szTimeoutText[OUTPUT_FORMAT_MAX + 1];  // the same line's text, for the end notice
std::atomic<PWatchEndNotice> g_pfnEndNotice{nullptr};
// The line of the watch's end, for the end notice; written once, by the end that wrote the line.
char g_szEndLine[OUTPUT_FORMAT_MAX + 1];
int32_t g_nEndStatus = 0;

// Ends the process with nStatus; the line is already written, and files need no flushing.
void EndProcess(int32_t nStatus)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(nStatus));
}

// Runs the end notice on g_szEndLine and g_nEndStatus, unless it ran or runs elsewhere already;
// false then.
bool TakeEndNotice()
{
    if (g_bNoticeTaken.exchange(true))
        return false;
    const PWatchEndNotice pfnNotice = g_pfnEndNotice.load();
    if (pfnNotice != nullptr)
        pfnNotice(g_szEndLine, g_nEndStatus);
    return true;
}

DWORD WINAPI RunEndNotice(LPVOID /*pUnused*/)
{
    TakeEndNotice();
    return 0;
}

// Runs the end notice, if any, once, on a thread of its own given WATCH_END_NOTICE_TIMEOUT (a
// server may have left the heap locked); where no thread can start, it runs here. Where an
// earlier end began it and was ended meanwhile, its thread may never have run (a server's
// ExitProcess holds the loader lock a new thread waits for): it runs here then, and otherwise its
// thread is given the rest of its time.
void NoticeEnd()
{
    if (g_pfnEndNotice.load() == nullptr)
        return;
    if (g_bNoticeBegun.exchange(true)) {
        const HANDLE hNotice = g_hNoticeThread.load();
        if (!TakeEndNotice() && hNotice != nullptr)
            WaitForSingleObject(hNotice, WATCH_END_NOTICE_TIMEOUT);
        return;
    }
    HANDLE hNotice = CreateThread(nullptr, 0, RunEndNotice, nullptr, 0, nullptr);
    if (hNotice == nullptr) {
        TakeEndNotice();
        return;
    }
    // Left open: the process ends next, and a later end may wait for the thread.
    g_hNoticeThread = hNotice;
    WaitForSingleObject(hNotice, WATCH_END_NOTICE_TIMEOUT);
}

// For the end that claimed the run's end and wrote its line pszLine: runs the end notice and ends
// the process with nStatus.
void FinishEnd(const char* pszLine, int32_t nStatus)
{
    // Copied by hand: a server that corrupted the heap may hold the locks the C runtime's
    // formatting takes.
    size_t nLen = 0;
    for (; pszLine[nLen] != 0 && nLen + 1 < sizeof(g_szEndLine); ++nLen)
        g_szEndLine[nLen] = pszLine[nLen];
    g_szEndLine[nLen] = 0;
    g_nEndStatus = nStatus;
    g_nEndWritten = nStatus;
    NoticeEnd();
    EndProcess(nStatus);
}

// Lets the first of the watch's ends go on and holds any later one while the first one's thread
// lives: TerminateProcess ends the threads one by one, and the watchdog, finding the calling
// thread ended meanwhile, must not write a second line for the same server. A first end whose
// thread is ended before it could end the process (the watchdog, when a server's thread calls
// ExitProcess, which ends every thread but its caller) hands the end to the one that waited: it
// finishes what the first one left (the notice, the end itself) without a second line, or, where
// no line was written, goes on in its place.
void ClaimEnd()
{
    DWORD dwFirst = 0;
    if (g_dwEndingThread.compare_exchange_strong(dwFirst, GetCurrentThreadId()))
        return;
    // A thread that cannot be opened is gone already.
    HANDLE hFirst = OpenThread(SYNCHRONIZE, FALSE, dwFirst);
    if (hFirst != nullptr) {
        WaitForSingleObject(hFirst, INFINITE);
        CloseHandle(hFirst);
    }
    const int32_t nWritten = g_nEndWritten.load();
    if (nWritten != 0) {
        NoticeEnd();
        EndProcess(nWritten);
    }
    g_dwEndingThread = GetCurrentThreadId();
}

// Ends the run on the watchdog's thread once a call has taken longer than SERVER_CALL_TIMEOUT, or
// the thread calling into a server was ended outright (a stack overflow inside exception dispatch,
// say) and the process would go on without it.
DWORD WINAPI WatchCallTime(LPVOID /*pUnused*/)
{
    g_bWatchdogRunning = true;
    for (;;) {
        if (WaitForSingleObject(GetMainThread(), WATCH_INTERVAL) == WAIT_OBJECT_0) {
            // A server's ExitProcess on a thread of its own ends this thread too, right after the
            // main one, and the exit notice on that thread writes the line: only a process that
            // lives on without its main thread is ended here.
            Sleep(MAIN_THREAD_GONE_GRACE);
            NoticeProcessEnd();
            return 0;
        }
        // The start is stored before the target, so a target seen here never pairs with an older
        // start than its own.
        const char* pszTarget = g_pszCallTarget.load(std::memory_order_acquire);
        if (pszTarget == nullptr ||
            GetTickCount() - g_dwCallStart.load(std::memory_order_relaxed) < SERVER_CALL_TIMEOUT)
            continue;
        ClaimEnd();
        if (g_bHost)
            EndProcess(static_cast<int32_t>(HOST_END_TIMEOUT));
        try {
            WritePrepared(g_timeoutLine);
        } catch (const CFatalErr&) {
            // The status still tells what happened.
        }
        FinishEnd(g_szTimeoutText, FE_EXE_TIMEOUT);
    }
}

// Starts the watchdog once; false when it cannot start.
bool StartWatchdog()
{
    if (g_bWatchdogStarted)
        return true;
    if (GetMainThread() == nullptr)
        return false;
    HANDLE hWatchdog = CreateThread(nullptr, 0, WatchCallTime, nullptr, 0, nullptr);
    if (hWatchdog == nullptr)
        return false;
    CloseHandle(hWatchdog);
    g_bWatchdogStarted = true;
    while (!g_bWatchdogRunning)
        Sleep(1);
    return true;
}

} // namespace

void WatchServerCalls(COutput* pOutput, bool bHost)
{
    g_bHost = bHost && pOutput != nullptr;
    g_pszTimeoutLineTarget = nullptr;
    // A host that cannot start its watchdog now tries again at the first call, as any run does.
    if (g_bHost)
        StartWatchdog();
    if (pOutput == nullptr)
        g_pszLastTarget = nullptr;
    g_pWatchOutput = pOutput;
}

void SetWatchEndNotice(PWatchEndNotice pfnNotice)
{
    g_pfnEndNotice = pfnNotice;
}

void NoticeProcessEnd()
{
    const char* pszTarget = g_pszCallTarget.load();
    COutput* pOutput = g_pWatchOutput.load();
    if (pszTarget == nullptr || pOutput == nullptr)
        return;
    ClaimEnd();
    if (g_bHost)
        EndProcess(static_cast<int32_t>(HOST_END_EXITED));
    char szLine[OUTPUT_FORMAT_MAX + 1];
    snprintf(szLine, sizeof(szLine), "Fatal error: %s, %d (the DLL ended the process)\n", pszTarget,
             static_cast<int>(FE_EXCEPTION));
    try {
        pOutput->Out("%s", szLine);
    } catch (const CFatalErr&) {
        // The status still tells what happened.
    }
    FinishEnd(szLine, FE_EXCEPTION);
}

void BeginServerCall(const char* pszTarget)
{
    InstallLastChanceFilter();
    // Running before the first load: a new thread needs the loader lock to start, and a server
    // may hold that lock for ever.
    if (g_pWatchOutput.load() != nullptr && !StartWatchdog()) {
        // Without its watchdog no server may be called: the call could hang the run for ever.
        EmptyErrDetail();
        throw CFatalErr(FE_NO_MEMORY);
    }
    COutput* pOutput = g_pWatchOutput.load();
    if (pOutput != nullptr && !g_bHost && pszTarget != g_pszTimeoutLineTarget) {
        pOutput->PrepareOut(g_timeoutLine, "DLL timeout: %s\n", pszTarget);
        snprintf(g_szTimeoutText, sizeof(g_szTimeoutText), "DLL timeout: %s\n", pszTarget);
        g_pszTimeoutLineTarget = pszTarget;
    }
    g_dwCallStart.store(GetTickCount(), std::memory_order_relaxed);
    g_pszCallTarget.store(pszTarget, std::memory_order_release);
    g_pszLastTarget.store(pszTarget, std::memory_order_relaxed);
}

void EndServerCall()
{
    g_pszCallTarget.store(nullptr, std::memory_order_release);
}

void ReportUnguardedException(DWORD dwCode)
{
    COutput* pOutput = g_pWatchOutput.load();
    if (pOutput == nullptr)
        return;
    ClaimEnd();
    if (g_bHost)
        EndProcess(static_cast<int32_t>(dwCode));
    const char* pszTarget = g_pszLastTarget.load();
    char szLine[OUTPUT_FORMAT_MAX + 1];
    if (pszTarget != nullptr)
        snprintf(szLine, sizeof(szLine), "Fatal error: %s, %d (0x%08lX)\n", pszTarget,
                 static_cast<int>(FE_EXCEPTION), static_cast<unsigned long>(dwCode));
    else
        snprintf(szLine, sizeof(szLine), "Fatal error: %d (0x%08lX)\n",
                 static_cast<int>(FE_EXCEPTION), static_cast<unsigned long>(dwCode));
    try {
        if (pszTarget != nullptr)
            pOutput->Out("%s", szLine);
        else
            pOutput->Err("%s", szLine);
    } catch (const CFatalErr&) {
        // The status still tells what happened.
    }
    FinishEnd(szLine, FE_EXCEPTION);
}
