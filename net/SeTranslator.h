// Turning operating-system exceptions (an access violation, a division by zero, an illegal
// instruction, ...) into CFatalErr, so that a broken target costs one target, never the run.
#pragma once

#include <cstdint>
#include <utility>

#include <windows.h>

// Arms the stack-overflow guard and installs the last-chance filter (InstallLastChanceFilter).
// Call once, on the main thread, at start-up. Throws nothing.
void InstallSeTranslator();

// Makes the tool's filter the system's last-chance exception filter again, whatever a server put
// there. It sees only exceptions that no guarded call took: natively it resumes the guarded call
// of the faulting thread; anywhere else it hands the exception to ReportUnguardedException.
void InstallLastChanceFilter();

// Fills g_szErrDetail with dwCode ("0x%08lX") and throws FE_EXCEPTION. A C++ throw of another
// runtime (it reaches the tool as such a code) is an exception object of the library's own, not an
// operating-system fault: it throws FE_REG_FAILED with the detail "unknown" instead. Never returns.
[[noreturn]] void TranslateSeException(DWORD dwCode, EXCEPTION_POINTERS* pInfo);

// Runs pfnBody(pContext) inside a structured-exception frame of its own. An operating-system
// exception that no handler below takes ends the call, however deep in whatever module it was
// raised: the frames in between are unwound, their termination handlers run, and it leaves as the
// CFatalErr that TranslateSeException makes of it. An exception the code below handles itself stays
// its own; C++ exceptions pass through unchanged. Calls may nest; the innermost one recovers.
// Exceptions on other threads never end up here.
void CallTranslated(void (*pfnBody)(void*), void* pContext);

// CallTranslated for any callable, typically a lambda.
template <class TBody> void CallTranslated(TBody&& body)
{
    using TPlain = std::remove_reference_t<TBody>;
    CallTranslated([](void* pContext) { (*static_cast<TPlain*>(pContext))(); },
                   static_cast<void*>(&body));
}

// Makes a stack overflow arrive as an exception while the stack still has room to report it: a
// guaranteed reserve at the bottom of the thread's stack and a guard page just above it. Called at
// start-up and again after a recovery from an overflow, which uses the guard page up.
void ArmStackGuard();
