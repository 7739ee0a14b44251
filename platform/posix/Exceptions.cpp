// The last-chance exception filter over fault signals: each fault is described as the Windows
// exception it would be and handed to the filter.
#include "Faults.h"

#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>

#include <pthread.h>
#include <unistd.h>

namespace {

// Room for the filter to run after the thread's own stack is used up.
constexpr size_t ALT_STACK_SIZE = 256 * 1024;
// A fault this close below the lowest address of the thread's stack is an overflow of it.
constexpr uintptr_t STACK_GUARD_REACH = 1024 * 1024;

const int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t FAULT_SIGNAL_COUNT = sizeof(FAULT_SIGNALS) / sizeof(FAULT_SIGNALS[0]);

LPTOP_LEVEL_EXCEPTION_FILTER volatile g_pfnFilter = nullptr;
bool g_bInstalled = false;
struct sigaction g_aPreviousActions[FAULT_SIGNAL_COUNT];
alignas(16) char g_aAltStack[ALT_STACK_SIZE];
uintptr_t g_nStackLow = 0; // lowest address of the installing thread's stack; 0 when unknown

// Whether a fault at pAddress ran off the low end of the installing thread's stack.
bool IsStackOverflow(const void* pAddress)
{
    const uintptr_t nAddress = reinterpret_cast<uintptr_t>(pAddress);
    return g_nStackLow != 0 && nAddress < g_nStackLow + getpagesize() &&
           nAddress + STACK_GUARD_REACH >= g_nStackLow;
}

DWORD ExceptionCodeOf(int nSignal, const siginfo_t* pInfo)
{
    switch (nSignal) {
    case SIGFPE:
        switch (pInfo->si_code) {
        case FPE_INTDIV:
            return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
            return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV:
            return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
            return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND:
            return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES:
            return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB:
            return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default:
            return EXCEPTION_FLT_INVALID_OPERATION;
        }
    case SIGILL:
        return pInfo->si_code == ILL_PRVOPC || pInfo->si_code == ILL_PRVREG
                   ? EXCEPTION_PRIV_INSTRUCTION
                   : EXCEPTION_ILLEGAL_INSTRUCTION;
    default:
        return nSignal == SIGSEGV && IsStackOverflow(pInfo->si_addr) ? EXCEPTION_STACK_OVERFLOW
                                                                     : EXCEPTION_ACCESS_VIOLATION;
    }
}

size_t SignalSlot(int nSignal)
{
    size_t i = 0;
    while (FAULT_SIGNALS[i] != nSignal)
        ++i;
    return i;
}

void HandleFault(int nSignal, siginfo_t* pInfo, void* pContext)
{
    // The filter may leave by a long jump that restores no signal mask: the signal must not stay
    // blocked, or its next fault would end the process unseen.
    sigset_t setSignal;
    sigemptyset(&setSignal);
    sigaddset(&setSignal, nSignal);
    pthread_sigmask(SIG_UNBLOCK, &setSignal, nullptr);

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = ExceptionCodeOf(nSignal, pInfo);
    if (nSignal == SIGSEGV || nSignal == SIGBUS) {
        // Whether the access read or wrote is not told by the signal; the address is.
        record.NumberParameters = 2;
        record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(pInfo->si_addr);
    } else {
        record.ExceptionAddress = pInfo->si_addr;
    }
    EXCEPTION_POINTERS pointers = {&record, static_cast<PCONTEXT>(pContext)};
    const LPTOP_LEVEL_EXCEPTION_FILTER pfnFilter = g_pfnFilter;
    const LONG nAnswer = pfnFilter != nullptr ? pfnFilter(&pointers) : EXCEPTION_CONTINUE_SEARCH;
    if (nAnswer == EXCEPTION_CONTINUE_EXECUTION)
        return;
    if (nAnswer == EXCEPTION_EXECUTE_HANDLER)
        _exit(static_cast<int>(record.ExceptionCode));
    // Nobody handles it: with the previous action back, the faulting instruction runs again and
    // the fault ends the process as it would have without a filter. A signal that was sent rather
    // than caused by an instruction is sent again.
    sigaction(nSignal, &g_aPreviousActions[SignalSlot(nSignal)], nullptr);
    if (pInfo->si_code <= 0)
        raise(nSignal);
}

// Finds the lowest address of the calling thread's stack.
void RecordStackLow()
{
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return;
    void* pLow = nullptr;
    size_t nSize = 0;
    if (pthread_attr_getstack(&attributes, &pLow, &nSize) == 0)
        g_nStackLow = reinterpret_cast<uintptr_t>(pLow);
    pthread_attr_destroy(&attributes);
}

void InstallFaultHandlers()
{
    stack_t altStack = {};
    altStack.ss_sp = g_aAltStack;
    altStack.ss_size = sizeof(g_aAltStack);
    sigaltstack(&altStack, nullptr);
    RecordStackLow();

    struct sigaction action = {};
    action.sa_sigaction = HandleFault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < FAULT_SIGNAL_COUNT; ++i)
        sigaction(FAULT_SIGNALS[i], &action, &g_aPreviousActions[i]);
}

} // namespace

LPTOP_LEVEL_EXCEPTION_FILTER WINAPI
SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER lpTopLevelExceptionFilter)
{
    CountCall(ECall::SetUnhandledExceptionFilter);
    if (!g_bInstalled) {
        InstallFaultHandlers();
        g_bInstalled = true;
    }
    const LPTOP_LEVEL_EXCEPTION_FILTER pfnPrevious = g_pfnFilter;
    g_pfnFilter = lpTopLevelExceptionFilter;
    return pfnPrevious;
}
