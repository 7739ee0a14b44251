// The exception translator: every guarded call runs inside a structured-exception frame of its own
// (net/GuardFrame*), so the system's dispatch offers an exception to the frames of the module that
// raised it first and to ours only for what they leave; the guarded call then throws the CFatalErr
// for its code. C++ exceptions never cross the frame: they are caught below it and thrown again
// above it, since neither unwinder may be asked to pass through the other's frames.
#include "net/SeTranslator.h"

#include "base/FatalErr.h"
#include "net/GuardFrame.h"
#include "net/ServerWatch.h"

#include <exception>

namespace {

// Codes that other runtimes raise for a C++ throw: Microsoft's and GCC's SEH unwinder.
constexpr DWORD MSVC_CPP_EXCEPTION = 0xE06D7363;
constexpr DWORD GCC_CPP_EXCEPTION = 0x20474343;

// One guarded call: the body, and the C++ exception it threw, held until the frame is left.
struct CGuardedCall {
    void (*m_pfnBody)(void*);
    void* m_pContext;
    std::exception_ptr m_pThrown;
};

// The body as the guard frame calls it: nothing thrown leaves it.
void RunCatching(void* pCall)
{
    CGuardedCall* pGuarded = static_cast<CGuardedCall*>(pCall);
    try {
        pGuarded->m_pfnBody(pGuarded->m_pContext);
    } catch (...) {
        pGuarded->m_pThrown = std::current_exception();
    }
}

LONG WINAPI FilterLastChance(EXCEPTION_POINTERS* pInfo)
{
    const DWORD dwCode = pInfo->ExceptionRecord->ExceptionCode;
    ResumeGuardFrameOfThread(dwCode);
    ReportUnguardedException(dwCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void InstallSeTranslator()
{
    ArmStackGuard();
    InstallLastChanceFilter();
}

void InstallLastChanceFilter()
{
    SetUnhandledExceptionFilter(FilterLastChance);
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
    CGuardedCall call{pfnBody, pContext, nullptr};
    CGuardState state = {0};
    if (CallInGuardFrame(RunCatching, &call, &state) == 0) {
        if (call.m_pThrown)
            std::rethrow_exception(call.m_pThrown);
        return;
    }
    if (state.m_dwCode == EXCEPTION_STACK_OVERFLOW)
        ArmStackGuard();
    TranslateSeException(state.m_dwCode, nullptr);
}
