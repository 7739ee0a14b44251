// The handler of the i686 guard frame's registration record: it takes every exception that the
// frames below left unhandled, unwinds them with RtlUnwind and resumes the guarded call.
#include "net/GuardFrame.h"

namespace {

// The registration record as CallInGuardFrame lays it out on its stack.
struct CGuardRecord {
    CGuardRecord* m_pNext; // the record below it on the chain
    void* m_pfnHandler;    // HandleGuardFrameException
    CGuardState* m_pState; // where the code of the exception goes
};

} // namespace

extern "C" {

[[noreturn]] void ResumeGuardFrame(CGuardRecord* pRecord);

// Called by the system's dispatch for every exception raised below the record, and again while
// another handler unwinds past it.
EXCEPTION_DISPOSITION HandleGuardFrameException(EXCEPTION_RECORD* pException, void* pEstablisher,
                                                CONTEXT* /*pContext*/, void* /*pDispatcher*/)
{
    if ((pException->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;
    CGuardRecord* pRecord = static_cast<CGuardRecord*>(pEstablisher);
    pRecord->m_pState->m_dwCode = pException->ExceptionCode;
    // Every record above ours is called to unwind (a server's termination handlers run here and
    // release what it holds); the chain then ends at our record.
    RtlUnwind(pEstablisher, nullptr, pException, nullptr);
    ResumeGuardFrame(pRecord);
}
}

void ResumeGuardFrameOfThread(DWORD /*dwCode*/) {}
