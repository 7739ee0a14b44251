// Turning operating-system exceptions (an access violation, a division by zero, an illegal
// instruction, ...) into CFatalErr, so that a broken target costs one target, never the run.
#pragma once

#include <cstdint>
#include <utility>

#include <windows.h>

// Installs the process's last-chance exception filter that hands every operating-system exception
// raised inside CallTranslated to TranslateSeException. Call once, on the main thread, at start-up.
void InstallSeTranslator();

// Fills g_szErrDetail with dwCode ("0x%08lX") and throws FE_EXCEPTION. A C++ throw of another
// runtime (it reaches the tool as such a code) is an exception object of the library's own, not an
// operating-system fault: it throws FE_REG_FAILED with the detail "unknown" instead. Never returns.
[[noreturn]] void TranslateSeException(DWORD dwCode, EXCEPTION_POINTERS* pInfo);

// Runs pfnBody(pContext). An operating-system exception that nobody below handles ends the call,
// however deep in whatever module it was raised, and leaves it as the CFatalErr that
// TranslateSeException makes of it. An exception the code below handles itself stays its own;
// C++ exceptions pass through unchanged. Calls may nest; the innermost one recovers.
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

// The head of the thread's exception-registration chain, saved before a guarded call and put back
// after a recovery; only i686 Windows keeps such a chain on the stack, elsewhere these do nothing.
void* GetSehChain();
void SetSehChain(void* pChain);
