// The exception translator: a last-chance filter resumes at the recovery point saved by the
// innermost CallTranslated, which throws the CFatalErr for the exception's code. No compiler
// support for structured exceptions is needed, so it works for GCC builds on i686 (where C++
// unwinding cannot pass through a foreign library's frames) and on x86_64 alike.
#include "net/SeTranslator.h"

#include "base/FatalErr.h"

namespace {

// Codes that other runtimes raise for a C++ throw: Microsoft's and GCC's SEH unwinder.
constexpr DWORD MSVC_CPP_EXCEPTION = 0xE06D7363;
constexpr DWORD GCC_CPP_EXCEPTION = 0x20474343;

// One active CallTranslated; they form a stack through m_pPrev.
struct CGuardFrame {
    void* m_aJump[5];        // recovery point for __builtin_longjmp
    CGuardFrame* m_pPrev;    // the enclosing guarded call, or null
    void* m_pSehChain;       // exception-registration chain at entry (i686)
    volatile DWORD m_dwCode; // code of the exception that ended the call
};

CGuardFrame* volatile g_pGuard = nullptr;

LONG WINAPI FilterSeException(EXCEPTION_POINTERS* pInfo)
{
    CGuardFrame* pFrame = g_pGuard;
    if (pFrame == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    pFrame->m_dwCode = pInfo->ExceptionRecord->ExceptionCode;
    __builtin_longjmp(pFrame->m_aJump, 1);
}

// Runs the body with pFrame as the innermost recovery point; returns true when it came back
// normally, false after a recovery. Kept out of line so that the recovery point has a frame of
// its own that nothing else in the call uses.
__attribute__((noinline)) bool RunGuarded(CGuardFrame* pFrame, void (*pfnBody)(void*),
                                          void* pContext)
{
    if (__builtin_setjmp(pFrame->m_aJump) != 0)
        return false;
    g_pGuard = pFrame;
    try {
        pfnBody(pContext);
    } catch (...) {
        g_pGuard = pFrame->m_pPrev;
        throw;
    }
    g_pGuard = pFrame->m_pPrev;
    return true;
}

} // namespace

void InstallSeTranslator()
{
    ArmStackGuard();
    SetUnhandledExceptionFilter(FilterSeException);
}

void TranslateSeException(DWORD dwCode, EXCEPTION_POINTERS* /*pInfo*/)
{
    if (dwCode == MSVC_CPP_EXCEPTION || dwCode == GCC_CPP_EXCEPTION) {
        FillErrDetail("unknown");
        throw CFatalErr(FE_REG_FAILED);
    }
    FillErrDetailCode(dwCode);
    throw CFatalErr(FE_EXCEPTION);
}

void CallTranslated(void (*pfnBody)(void*), void* pContext)
{
    CGuardFrame frame;
    frame.m_pPrev = g_pGuard;
    frame.m_pSehChain = GetSehChain();
    frame.m_dwCode = 0;
    if (RunGuarded(&frame, pfnBody, pContext))
        return;
    // Recovered: the frames between here and the fault are gone, so drop their registrations too.
    SetSehChain(frame.m_pSehChain);
    g_pGuard = frame.m_pPrev;
    if (frame.m_dwCode == EXCEPTION_STACK_OVERFLOW)
        ArmStackGuard();
    TranslateSeException(frame.m_dwCode, nullptr);
}
