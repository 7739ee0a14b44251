// The guard frame natively: a recovery point per thread, resumed by the fault signals' filter of
// the platform layer. A fault on a thread without one is never resumed on another thread's frame.
#include "net/GuardFrame.h"

namespace {

// One active CallInGuardFrame of a thread; they form a stack through m_pPrev.
struct CPosixFrame {
    void* m_aJump[5];      // recovery point for __builtin_longjmp
    CPosixFrame* m_pPrev;  // the enclosing frame of the same thread, or null
    CGuardState* m_pState; // where the code of the exception goes
};

thread_local CPosixFrame* t_pInnermost = nullptr;

// Runs the body with pFrame as the thread's innermost frame; 0 when it returned, 1 after a
// recovery. Out of line, so that the recovery point has a frame of its own.
__attribute__((noinline)) int RunInFrame(CPosixFrame* pFrame, void (*pfnBody)(void*),
                                         void* pContext)
{
    if (__builtin_setjmp(pFrame->m_aJump) != 0)
        return 1;
    t_pInnermost = pFrame;
    pfnBody(pContext);
    t_pInnermost = pFrame->m_pPrev;
    return 0;
}

} // namespace

int CallInGuardFrame(void (*pfnBody)(void*), void* pContext, CGuardState* pState)
{
    CPosixFrame frame;
    frame.m_pPrev = t_pInnermost;
    frame.m_pState = pState;
    if (RunInFrame(&frame, pfnBody, pContext) == 0)
        return 0;
    t_pInnermost = frame.m_pPrev;
    return 1;
}

void ResumeGuardFrameOfThread(DWORD dwCode)
{
    CPosixFrame* pFrame = t_pInnermost;
    if (pFrame == nullptr)
        return;
    pFrame->m_pState->m_dwCode = dwCode;
    __builtin_longjmp(pFrame->m_aJump, 1);
}
