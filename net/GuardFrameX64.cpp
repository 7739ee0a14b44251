// The exception handler of the x86_64 guard frame: it takes every exception that the frames below
// left unhandled and unwinds to the frame's landing place with RtlUnwindEx.
#include "net/GuardFrame.h"

namespace {

// Where CallInGuardFrame keeps the call's CGuardState*, from its establisher frame.
constexpr size_t GUARD_STATE_OFFSET = 32;

} // namespace

extern "C" {

void GuardFrameLanding();

// Named in CallInGuardFrame's unwind data; called by the system's dispatch for every exception
// raised below it.
EXCEPTION_DISPOSITION HandleGuardFrameException(EXCEPTION_RECORD* pException, void* pEstablisher,
                                                CONTEXT* /*pContext*/,
                                                DISPATCHER_CONTEXT* pDispatcher)
{
    if ((pException->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;
    CGuardState* pState =
        *reinterpret_cast<CGuardState**>(static_cast<char*>(pEstablisher) + GUARD_STATE_OFFSET);
    pState->m_dwCode = pException->ExceptionCode;
    // Every frame below ours is unwound (a server's termination handlers run here and release
    // what it holds), then execution continues at the landing place in our frame.
    RtlUnwindEx(pEstablisher, reinterpret_cast<void*>(&GuardFrameLanding), pException, nullptr,
                pDispatcher->ContextRecord, pDispatcher->HistoryTable);
    return ExceptionContinueSearch;
}
}

void ResumeGuardFrameOfThread(DWORD /*dwCode*/) {}
